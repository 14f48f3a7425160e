// backoffice: the back-office host. Reads the logged-in context, hands the framework's services
// to the modules and opens their screens from its menu.
//
//   backoffice [--filial=0001] [--operador=0007] [--senha=...] [--server-host=127.0.0.1]
//              [--server-port=4420] [--server-timeout=30] [--database=FILE|postgresql://...]
//              [--modules=DIR]
//              [--open=PKG_Acc00420] [--config=backoffice.ini]
//
// Each also from the environment (BACKOFFICE_FILIAL, ...) or the ini file's [login] section.
// It opens with the sign-in dialog, the operator and branch filled in; BACKOFFICE_SENHA (or
// --senha) signs in without it, for the demo script and the tests only.

#include <framework/core/configsource.h>
#include <framework/core/dialogs.h>
#include <framework/ui/hostservices.h>
#include <framework/core/logincontext.h>
#include "mainwindow.h"
#include <framework/ui/messageboxdialogs.h>
#include <framework/ui/operatorsignin.h>

#include <QApplication>
#include <QDir>
#include <QLibraryInfo>
#include <QLocale>
#include <QTimer>
#include <QTranslator>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    app.setApplicationDisplayName(QStringLiteral("Retaguarda"));
    // Qt's own dialogs (details, print preview, printer) in Portuguese, when the translations are
    // installed.
    QTranslator qtTexts;
    if (qtTexts.load(QLocale(QLocale::Portuguese, QLocale::Brazil), QStringLiteral("qtbase"), QStringLiteral("_"),
                     QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        app.installTranslator(&qtTexts);
    const fw::ConfigSource config(app.arguments(), QProcessEnvironment::systemEnvironment(),
                                  QStringLiteral("BACKOFFICE"), QStringLiteral("login"),
                                  QDir(app.applicationDirPath()).filePath(QStringLiteral("backoffice.ini")));
    fw::MessageBoxDialogs dialogs;
    fw::setDialogs(&dialogs);
    fw::LoginContext context;
    try {
        context = fw::LoginContext::fromConfig(config);
        fw::applyFormatSettings(config);
    } catch (const std::exception &e) {
        fw::showError(QStringLiteral("Configuração inválida: %1").arg(QString::fromUtf8(e.what())));
        return 1;
    }
    try {
        fw::setLoginContext(context); // opens the shared database it names
    } catch (const std::exception &e) {
        fw::showError(QStringLiteral("O banco de dados compartilhado não abriu: %1. As consultas locais "
                                     "não vão funcionar até que ele seja corrigido na configuração.")
                          .arg(QString::fromUtf8(e.what())));
    }

    fw::OperatorSignIn signIn(context, config.value(QStringLiteral("senha")));
    if (!signIn.first())
        return 0; // the operator left at the sign-in

    ModuleLoader modules(config.value(QStringLiteral("modules"),
                                      QDir(app.applicationDirPath()).filePath(QStringLiteral("../lib"))));
    MainWindow window(modules);
    fw::hostServices().mainWindow = &window;
    fw::hostServices().mdiArea = window.mdiArea();
    window.resize(1100, 720);
    window.show();

    const QString open = config.value(QStringLiteral("open"));
    if (!open.isEmpty())
        QTimer::singleShot(0, &window, [&] { window.openModule(open); });
    const int result = app.exec();
    signIn.signOut();
    fw::setDialogs(nullptr);
    return result;
}
