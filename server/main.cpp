// acc00420-server: publishes "Acc00420.rdmPagClie" and keeps the account ledger.
//
//   acc00420-server --database=PATH|postgresql://... [--listen=127.0.0.1] [--port=4420]
//                   [--idle-timeout=600] [--max-frame=67108864] [--workers=4]
//                   [--max-connections=1024] [--max-connections-per-peer=256] [--max-held-mb=128]
//                   [--sign-in-timeout=30] [--tls-cert=FILE --tls-key=FILE] [--insecure-plaintext]
//                   [--create-demo]
//   acc00420-server --database=... operator add|passwd|disable|list ...   (see operatorcommand.h)
//   acc00420-server --database=... verify [--client=CODE] [--digest=FILE]     (exit 3: a difference)
//   acc00420-server --database=... digest
//
// Each setting may also come from the environment (ACC00420_SERVER_DATABASE, ...) or an ini
// file (section [server], named by --config= or ACC00420_SERVER_CONFIG).

#include "accountevents.h"
#include "appserver.h"
#include <framework/core/configsource.h>
#include <framework/data/database.h>
#include "demodata.h"
#include "ledger.h"
#include "chaincommand.h"
#include "operatorcommand.h"
#include "servertls.h"
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

// The words of the command line that are not options: a command and its operands.
QStringList commandWords(const QStringList &arguments)
{
    QStringList words;
    for (const QString &a : arguments.mid(1)) {
        if (!a.startsWith(QLatin1String("--")))
            words << a;
    }
    return words;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const fw::ConfigSource config(app.arguments(), QProcessEnvironment::systemEnvironment(),
                                  QStringLiteral("ACC00420_SERVER"), QStringLiteral("server"));
    try {
        const QString database = config.value(QStringLiteral("database"));
        if (database.isEmpty())
            return fail(QStringLiteral("informe o banco: --database=ARQUIVO.db ou --database=postgresql://..."));
        server::Storage storage(database);
        const int version = server::migrate(storage.connection(), storage.kind());
        const server::Passwords passwords;

        const QStringList words = commandWords(app.arguments());
        if (words.value(0) == QLatin1String("operator"))
            return server::runOperatorCommand(server::Operators(storage, passwords), words.mid(1), config, stdin, stdout,
                                              stderr);
        if (words.value(0) == QLatin1String("verify") || words.value(0) == QLatin1String("digest"))
            return server::runChainCommand(storage.connection(), words.first(), config);
        if (!words.isEmpty())
            return fail(QStringLiteral("comando \"%1\" desconhecido; o servidor conhece operator, verify e digest").arg(words.first()));

        if (app.arguments().contains(QStringLiteral("--create-demo"))) {
            server::createDemoData(storage, QDate::currentDate());
            std::printf("dados de demonstração criados em %s (esquema versão %d)\n",
                        qUtf8Printable(fw::DatabaseUrl::shown(database)), version);
            return 0;
        }

        server::AppServer::Options options;
        options.address = QHostAddress(config.value(QStringLiteral("listen"), QStringLiteral("127.0.0.1")));
        if (options.address.isNull())
            return fail(QStringLiteral("endereço inválido em --listen"));
        options.port = config.port(QStringLiteral("port"), 4420);
        options.idleTimeoutMs = config.positiveNumber(QStringLiteral("idle-timeout"), 600) * 1000;
        options.maxFrameBytes = config.positiveNumber(QStringLiteral("max-frame"), int(fw::DefaultMaxFrameBytes));
        options.workers = config.positiveNumber(QStringLiteral("workers"), 4);
        options.maxConnections = config.positiveNumber(QStringLiteral("max-connections"), options.maxConnections);
        options.maxConnectionsPerPeer =
            config.positiveNumber(QStringLiteral("max-connections-per-peer"), options.maxConnectionsPerPeer);
        // In megabytes: an int of bytes would not reach past 2 GiB.
        options.maxHeldBytes = qsizetype(config.positiveNumber(QStringLiteral("max-held-mb"),
                                                               int(options.maxHeldBytes / (1024 * 1024)))) * 1024 * 1024;

        options.signInTimeoutMs = config.positiveNumber(QStringLiteral("sign-in-timeout"), 30) * 1000;
        const QString certificate = config.value(QStringLiteral("tls-cert")), key = config.value(QStringLiteral("tls-key"));
        if (certificate.isEmpty() != key.isEmpty())
            return fail(QStringLiteral("informe --tls-cert e --tls-key juntos"));
        if (!certificate.isEmpty()) {
            options.tls = server::loadServerTls(certificate, key);
        } else if (!options.address.isLoopback()) {
            // Passwords and movements would cross the network in clear.
            if (!app.arguments().contains(QStringLiteral("--insecure-plaintext")))
                return fail(QStringLiteral("TLS obrigatório fora de 127.0.0.1: use --tls-cert e --tls-key, ou --insecure-plaintext"));
            std::fprintf(stderr, "acc00420-server: AVISO: sem TLS em %s; senhas e lançamentos trafegam sem criptografia\n",
                         options.address.toString().toLocal8Bit().constData());
        }

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
                    certificate.isEmpty() ? "" : " com TLS",
                    qUtf8Printable(fw::DatabaseUrl::shown(database)), version);
        std::fflush(stdout);
        return app.exec();
    } catch (const std::exception &e) {
        return fail(QString::fromUtf8(e.what()));
    }
}
