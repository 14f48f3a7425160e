#include "moduleloader.h"

#include <framework/ui/hostservices.h>

#include <QDir>

#include <stdexcept>

ModuleLoader::ModuleLoader(QString folder)
    : m_folder(std::move(folder))
{
}

QString ModuleLoader::pathOf(const QString &module) const
{
    return QDir(m_folder).filePath(QStringLiteral("lib%1.so").arg(module));
}

void ModuleLoader::open(const QString &module)
{
    auto library = m_loaded.value(module);
    if (!library) {
        library = std::make_shared<QLibrary>(pathOf(module));
        if (!library->load())
            throw std::runtime_error(QStringLiteral("Não foi possível carregar o módulo %1 (%2): %3. "
                                                    "Verifique a instalação da retaguarda.")
                                         .arg(module, pathOf(module), library->errorString()).toStdString());
        m_loaded.insert(module, library);
    }
    const auto entry = reinterpret_cast<fw::ModuleEntry>(library->resolve(fw::ModuleEntryName));
    if (!entry)
        throw std::runtime_error(QStringLiteral("O módulo %1 não tem a entrada IniProc; ele não é um módulo "
                                                "de tela desta retaguarda.").arg(module).toStdString());
    entry();
}
