// acc00420-server: publishes "Acc00420.rdmPagClie" and keeps the account ledger.
//
//   acc00420-server --database=PATH|postgresql://... [options]       (serves; --help lists them)
//   acc00420-server --database=... --create-demo
//   acc00420-server --database=... operator add|passwd|disable|list ...   (see operatorcommand.h)
//   acc00420-server --database=... verify [--client=CODE] [--digest=FILE]     (exit 3: a difference)
//   acc00420-server --database=... digest
//   acc00420-server --database=FILE backup --to=COPY                          (SQLite; see backupcommand.h)
//
// Each setting may also come from the environment (ACC00420_SERVER_DATABASE, ...) or the ini
// file (section [server]; see serveroptions.h). Exit 2: a command line it can't take.

#include "accountevents.h"
#include "appserver.h"
#include "backupcommand.h"
#include <framework/core/configsource.h>
#include <framework/core/largebuffers.h>
#include <framework/data/database.h>
#include "demodata.h"
#include "ledger.h"
#include "chaincommand.h"
#include "operatorcommand.h"
#include "serveroptions.h"
#include "sessions.h"
#include "schema.h"

#include <QCoreApplication>
#include <QDate>

#include <cstdio>

namespace {

int fail(const QString &message)
{
    std::fprintf(stderr, "acc00420-server: %s\n", message.toLocal8Bit().constData());
    return 1;
}

} // namespace

int main(int argc, char **argv)
{
    fw::keepLargeBuffersForReuse();
    QCoreApplication app(argc, argv);
    app.setApplicationVersion(QStringLiteral(ACC00420_VERSION));
    fw::CommandLine commandLine(QStringLiteral("--database=URL [opções] [operator ...|verify|digest|backup]"),
                                QStringLiteral("O servidor de aplicação da conta cliente/consumidor: guarda o razão e "
                                               "atende as telas. Cada opção pode vir também do ambiente "
                                               "(ACC00420_SERVER_PORT, ...) ou do arquivo de configuração, seção [server]; "
                                               "a senha do PostgreSQL, de database-password no arquivo ou de ~/.pgpass."),
                                server::serverCommandOptions());
    if (const auto exit = commandLine.parse(app.arguments()))
        return *exit;
    try {
        const fw::ConfigSource config = server::serverConfig(commandLine, QProcessEnvironment::systemEnvironment());
        const QString database = server::databaseUrl(config);
        if (database.isEmpty())
            return fail(QStringLiteral("informe o banco: --database=ARQUIVO.db ou --database=postgresql://..."));
        if (const QString typed = commandLine.value(QStringLiteral("database"));
            !typed.isEmpty() && !fw::DatabaseUrl::parse(typed).password.isEmpty())
            std::fprintf(stderr, "acc00420-server: AVISO: a senha em --database fica visível para outros usuários "
                                 "(ps); use database-password no arquivo de configuração ou ~/.pgpass\n");
        const QStringList words = commandLine.words();
        const QString command = words.value(0);
        server::checkOptionsBelongTo(commandLine, command);
        if (command == QLatin1String("backup")) // the ledger as it is, neither migrated nor created
            return server::runBackupCommand(database, config.value(QStringLiteral("to")), stdout, stderr);
        if (!command.isEmpty() && command != QLatin1String("operator") && command != QLatin1String("verify")
            && command != QLatin1String("digest"))
            return fail(QStringLiteral("comando \"%1\" desconhecido; o servidor conhece operator, verify, digest e backup")
                            .arg(command));
        // Checked before the database is opened: a mistyped setting changes nothing.
        const server::AppServer::Options options = command.isEmpty() ? server::listenOptions(config) : server::AppServer::Options{};

        server::Storage storage(database);
        const int version = server::migrate(storage.connection(), storage.kind());
        const server::Passwords passwords;
        if (command == QLatin1String("operator"))
            return server::runOperatorCommand(server::Operators(storage, passwords), words.mid(1), config, stdin, stdout,
                                              stderr);
        if (!command.isEmpty())
            return server::runChainCommand(storage.connection(), command, config);

        // An action, never a setting: a service must not write the demonstration data at each start.
        if (commandLine.isSet(QStringLiteral("create-demo"))) {
            server::createDemoData(storage, QDate::currentDate());
            std::printf("dados de demonstração criados em %s (esquema versão %d)\n",
                        qUtf8Printable(fw::DatabaseUrl::shown(database)), version);
            return 0;
        }
        if (options.tls.isNull() && !options.address.isLoopback())
            std::fprintf(stderr, "acc00420-server: AVISO: sem TLS em %s; senhas e lançamentos trafegam sem criptografia\n",
                         options.address.toString().toLocal8Bit().constData());

        server::Dispatcher dispatcher;
        const server::Sessions sessions(storage, passwords);
        sessions.publish(dispatcher);
        server::Ledger ledger(storage);
        server::AccountEvents events(storage);
        ledger.publish(dispatcher, sessions, events.handlers());
        server::AppServer appServer(dispatcher, options);
        events.startOn(appServer);
        QString error;
        if (!appServer.listen(&error))
            return fail(error);
        std::printf("%s ouvindo em %s:%u%s (banco %s, esquema versão %d)\n", server::Ledger::ObjectName,
                    options.address.toString().toLocal8Bit().constData(), unsigned(appServer.port()),
                    options.tls.isNull() ? "" : " com TLS", qUtf8Printable(fw::DatabaseUrl::shown(database)), version);
        std::fflush(stdout);
        return app.exec();
    } catch (const std::invalid_argument &e) {
        std::fprintf(stderr, "acc00420-server: %s\n", e.what());
        return 2;
    } catch (const std::exception &e) {
        return fail(QString::fromUtf8(e.what()));
    }
}
