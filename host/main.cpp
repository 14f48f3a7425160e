// backoffice: the back-office host. Reads the logged-in context, hands the framework's services
// to the modules and opens their screens from its menu.
//
//   backoffice [--filial=0001] [--operador=0007] [--senha=...] [--server-host=127.0.0.1]
//              [--server-port=4420] [--server-timeout=30] [--database=FILE|postgresql://...]
//              [--modules=DIR]
//              [--open=PKG_Acc00420] [--config=backoffice.ini]   (--help lists them all)
//
// Each also from the environment (BACKOFFICE_FILIAL, ...) or the ini file's [login] section:
// backoffice.ini beside the program in the build tree, the installed one in /etc/acc00420.
// It opens with the sign-in dialog, the operator and branch filled in; BACKOFFICE_SENHA (or
// --senha) signs in without it, for the demo script and the tests only.

#include <framework/core/commandline.h>
#include <framework/core/configsource.h>
#include <framework/core/dialogs.h>
#include <framework/core/largebuffers.h>
#include <framework/ui/hostservices.h>
#include <framework/core/logincontext.h>
#include "mainwindow.h"
#include <framework/ui/messageboxdialogs.h>
#include <framework/ui/operatorsignin.h>

#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTimer>
#include <QTranslator>

#include <algorithm>
#include <optional>

namespace {

const QString Synopsis = QStringLiteral("[opções]");
const QString Description = QStringLiteral(
    "A retaguarda: entra com o operador e abre as telas dos módulos. Cada opção pode vir também do ambiente "
    "(BACKOFFICE_FILIAL, ...) ou do arquivo de configuração, seção [login].");

QList<fw::CommandOption> hostOptions()
{
    return {{"filial", "Filial em que o operador entra (padrão 0001).", "FILIAL"},
            {"operador", "Código do operador, já preenchido na entrada.", "CÓDIGO"},
            {"senha", "Senha do operador, para a demonstração e os testes: entra sem perguntar.", "SENHA"},
            {"server-host", "Máquina do servidor de aplicação (padrão 127.0.0.1).", "MÁQUINA"},
            {"server-port", "Porta do servidor de aplicação (padrão 4420).", "PORTA"},
            {"server-timeout", "Segundos de espera por uma resposta do servidor (padrão 30).", "SEGUNDOS"},
            {"server-tls", "on ou off (padrão on).", "on|off"},
            {"server-ca", "Autoridade certificadora em que confiar (PEM).", "ARQUIVO"},
            {"server-name", "Nome do certificado do servidor, quando outro que a máquina.", "NOME"},
            {"database", "Banco compartilhado das consultas locais.", "URL"},
            {"modules", "Pasta dos módulos.", "PASTA"},
            {"open", "Módulo a abrir ao entrar, como PKG_Acc00420.", "MÓDULO"},
            {"config", "Arquivo de configuração (padrão /etc/acc00420/backoffice.ini).", "ARQUIVO"},
            {"short-date", "Formato das datas, como dd/MM/yyyy.", "FORMATO"},
            {"long-time", "Formato das horas, como HH:mm:ss.", "FORMATO"},
            {"decimal-separator", "Separador decimal.", "CARACTERE"}};
}

// --help and --version, answered without a display; and, with no display to open a window on,
// a command line it can't take said as such before Qt gives up on the window.
std::optional<int> answerWithoutWindow(int argc, char **argv)
{
    const QStringList asked{"--help", "-help", "--version", "-version"};
    const bool noDisplay = qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")
        && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM");
    if (!noDisplay
        && std::none_of(argv + 1, argv + argc, [&](const char *a) { return asked.contains(QString::fromLocal8Bit(a)); }))
        return std::nullopt;
    QCoreApplication app(argc, argv);
    app.setApplicationVersion(QStringLiteral(ACC00420_VERSION));
    fw::CommandLine commandLine(Synopsis, Description, hostOptions());
    if (const auto exit = commandLine.parse(app.arguments()))
        return exit;
    return noDisplay ? std::nullopt : std::optional<int>(0);
}

} // namespace

int main(int argc, char **argv)
{
    fw::keepLargeBuffersForReuse();
    if (const auto exit = answerWithoutWindow(argc, argv))
        return *exit;
    QApplication app(argc, argv);
    app.setApplicationDisplayName(QStringLiteral("Retaguarda"));
    // Qt's own dialogs (details, print preview, printer) in Portuguese, when the translations are
    // installed.
    QTranslator qtTexts;
    if (qtTexts.load(QLocale(QLocale::Portuguese, QLocale::Brazil), QStringLiteral("qtbase"), QStringLiteral("_"),
                     QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        app.installTranslator(&qtTexts);
    app.setApplicationVersion(QStringLiteral(ACC00420_VERSION));
    fw::CommandLine commandLine(Synopsis, Description, hostOptions());
    if (const auto exit = commandLine.parse(app.arguments()))
        return *exit;
    fw::MessageBoxDialogs dialogs;
    fw::setDialogs(&dialogs);
    std::optional<fw::ConfigSource> settings;
    fw::LoginContext context;
    try {
        settings.emplace(commandLine.settings(), QProcessEnvironment::systemEnvironment(), QStringLiteral("BACKOFFICE"),
                         QStringLiteral("login"),
                         fw::firstPresent({QStringLiteral("backoffice.ini"), QStringLiteral("../etc/acc00420/backoffice.ini"),
                                           QStringLiteral(ACC00420_CONFIG_DIR "/backoffice.ini")}));
        context = fw::LoginContext::fromConfig(*settings);
        fw::applyFormatSettings(*settings);
    } catch (const std::exception &e) {
        fw::showError(QStringLiteral("Configuração inválida: %1").arg(QString::fromUtf8(e.what())));
        return 1;
    }
    const fw::ConfigSource &config = *settings;
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
                                      fw::firstPresent({QStringLiteral(ACC00420_MODULES_FROM_BIN), QStringLiteral("../lib")})));
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
