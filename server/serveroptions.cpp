#include "serveroptions.h"

#include "requestlog.h"
#include "servertls.h"

#include <QHostInfo>
#include <QUrl>

#include <stdexcept>

namespace server {

namespace {

// A day: past it a timeout is a mistake, and its milliseconds still fit an int.
constexpr int MaxSeconds = 24 * 60 * 60;

QHostAddress listenAddress(const QString &text)
{
    if (QHostAddress address(text); !address.isNull())
        return address;
    if (text == QLatin1String("*"))
        return QHostAddress(QHostAddress::Any);
    // A host name, "localhost" first among them: the first address it resolves to, IPv4 first.
    const QList<QHostAddress> found = QHostInfo::fromName(text).addresses();
    for (const QHostAddress &a : found) {
        if (a.protocol() == QAbstractSocket::IPv4Protocol)
            return a;
    }
    if (!found.isEmpty())
        return found.first();
    throw std::invalid_argument(
        QStringLiteral("endereço inválido em listen: \"%1\" (um IP, um nome da máquina ou *)").arg(text).toStdString());
}

} // namespace

QList<fw::CommandOption> serverCommandOptions()
{
    return {
        {"database", "O razão: um arquivo SQLite ou postgresql://usuário@máquina/banco.", "URL"},
        {"config", QStringLiteral("Arquivo de configuração (padrão %1).").arg(DefaultConfigFile), "ARQUIVO"},
        {"listen", "Endereço em que atende (padrão 127.0.0.1; * para todos).", "ENDEREÇO"},
        {"port", "Porta TCP (padrão 4420).", "PORTA"},
        {"idle-timeout", "Segundos sem pedido até fechar a conexão (padrão 600).", "SEGUNDOS"},
        {"max-frame", "Maior pedido aceito, em bytes.", "BYTES"},
        {"workers", "Pedidos atendidos ao mesmo tempo (padrão 4).", "N"},
        {"max-connections", "Conexões ao mesmo tempo (padrão 1024).", "N"},
        {"max-connections-per-peer", "Conexões de um mesmo endereço (padrão 256).", "N"},
        {"max-held-mb", "Memória para pedidos em espera, em MB (padrão 128).", "MB"},
        {"sign-in-timeout", "Segundos para a conexão entrar com operador e senha (padrão 30).", "SEGUNDOS"},
        {"tls-cert", "Certificado do servidor (PEM).", "ARQUIVO"},
        {"tls-key", "Chave privada do certificado (PEM).", "ARQUIVO"},
        {"insecure-plaintext", "Aceita atender fora de 127.0.0.1 sem TLS.", {}},
        {"log-level", "error, warning, info ou debug (padrão info).", "NÍVEL"},
        {"create-demo", "Grava os dados de demonstração e sai.", {}},
        {"name", "operator add: o nome do operador.", "NOME"},
        {"branches", "operator add: as filiais, separadas por vírgula.", "FILIAIS"},
        {"rights", "operator add: os direitos, separados por vírgula.", "DIREITOS"},
        {"client", "verify: só este cliente.", "CÓDIGO"},
        {"digest", "verify: o resumo gravado por digest a conferir.", "ARQUIVO"},
        {"to", "backup: o arquivo da cópia.", "ARQUIVO"},
    };
}

void checkOptionsBelongTo(const fw::CommandLine &commandLine, const QString &command)
{
    // Each command's own options; serving is the command "".
    static const QList<std::pair<QString, QString>> owners{
        {"create-demo", ""}, {"name", "operator"}, {"branches", "operator"}, {"rights", "operator"},
        {"client", "verify"}, {"digest", "verify"}, {"to", "backup"}};
    for (const auto &[option, owner] : owners) {
        if (commandLine.isSet(option) && owner != command)
            throw std::invalid_argument(
                (owner.isEmpty() ? QStringLiteral("--%1 não vale com o comando %2").arg(option, command)
                                 : QStringLiteral("--%1 vale só para o comando %2").arg(option, owner))
                    .toStdString());
    }
}

fw::ConfigSource serverConfig(const fw::CommandLine &commandLine, const QProcessEnvironment &environment)
{
    return fw::ConfigSource(commandLine.settings(), environment, QStringLiteral("ACC00420_SERVER"), QStringLiteral("server"),
                            fw::firstPresent({QStringLiteral("../etc/acc00420/server.conf"), QString::fromLatin1(DefaultConfigFile)}));
}

QString databaseUrl(const fw::ConfigSource &config)
{
    const QString database = config.value(QStringLiteral("database"));
    const QString password = config.value(QStringLiteral("database-password"));
    if (password.isEmpty() || !database.startsWith(QLatin1String("postgresql://")))
        return database;
    QUrl url(database);
    if (!url.password().isEmpty())
        return database;
    url.setPassword(password);
    return url.toString();
}

AppServer::Options listenOptions(const fw::ConfigSource &config)
{
    AppServer::Options options;
    options.address = listenAddress(config.value(QStringLiteral("listen"), QStringLiteral("127.0.0.1")));
    options.port = config.port(QStringLiteral("port"), 4420);
    options.idleTimeoutMs = config.positiveNumber(QStringLiteral("idle-timeout"), 600, MaxSeconds) * 1000;
    options.maxFrameBytes = config.positiveNumber(QStringLiteral("max-frame"), int(fw::DefaultMaxFrameBytes), 1024 * 1024 * 1024);
    options.workers = config.positiveNumber(QStringLiteral("workers"), 4, 256);
    options.maxConnections = config.positiveNumber(QStringLiteral("max-connections"), options.maxConnections, 1000000);
    options.maxConnectionsPerPeer =
        config.positiveNumber(QStringLiteral("max-connections-per-peer"), options.maxConnectionsPerPeer, 1000000);
    // In megabytes: an int of bytes would not reach past 2 GiB.
    options.maxHeldBytes = qsizetype(config.positiveNumber(QStringLiteral("max-held-mb"),
                                                           int(options.maxHeldBytes / (1024 * 1024)), 1024 * 1024))
                           * 1024 * 1024;
    options.signInTimeoutMs = config.positiveNumber(QStringLiteral("sign-in-timeout"), 30, MaxSeconds) * 1000;
    options.logLevel = parseLogLevel(config.value(QStringLiteral("log-level"), QStringLiteral("info")));

    const QString certificate = config.value(QStringLiteral("tls-cert")), key = config.value(QStringLiteral("tls-key"));
    if (certificate.isEmpty() != key.isEmpty())
        throw std::invalid_argument("informe --tls-cert e --tls-key juntos");
    if (!certificate.isEmpty())
        options.tls = loadServerTls(certificate, key);
    else if (!options.address.isLoopback() && !config.flag(QStringLiteral("insecure-plaintext")))
        // Passwords and movements would cross the network in clear.
        throw std::invalid_argument("TLS obrigatório fora de 127.0.0.1: use --tls-cert e --tls-key, ou --insecure-plaintext");
    return options;
}

} // namespace server
