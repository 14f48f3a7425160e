#pragma once

#include <QHash>
#include <QLibrary>
#include <QString>

#include <memory>

// Loads screen modules (shared libraries named lib<module>.so in the modules folder) and calls
// their IniProc. A module stays loaded while the host runs: its screens live in its code.
class ModuleLoader
{
public:
    explicit ModuleLoader(QString folder);

    // Loads the module when needed and calls IniProc. Throws std::runtime_error with a message
    // for the operator when the module or its entry is missing.
    void open(const QString &module);
    QString pathOf(const QString &module) const;

private:
    QString m_folder;
    QHash<QString, std::shared_ptr<QLibrary>> m_loaded;
};
