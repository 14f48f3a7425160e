#include "logincontext.h"

#include <framework/core/formatsettings.h>

#include <stdexcept>

namespace fw {
namespace {

LoginContext current;

std::function<void(const QString &)> &sharedDatabaseOpener()
{
    static std::function<void(const QString &)> opener;
    return opener;
}

} // namespace

LoginContext LoginContext::fromConfig(const ConfigSource &config)
{
    LoginContext context;
    context.filial = config.value(QStringLiteral("filial"), context.filial);
    context.operador = config.value(QStringLiteral("operador"));
    context.webUrl = config.value(QStringLiteral("server-host"), context.webUrl);
    context.webPort = config.port(QStringLiteral("server-port"), context.webPort);
    // Up to a day: past it a wait is a mistake, and its milliseconds still fit an int.
    context.serverTimeoutMs = config.positiveNumber(QStringLiteral("server-timeout"), context.serverTimeoutMs / 1000, 86400) * 1000;
    context.database = config.value(QStringLiteral("database"));
    const QString tls = config.value(QStringLiteral("server-tls"), QStringLiteral("on")).toLower();
    if (tls != QLatin1String("on") && tls != QLatin1String("off"))
        throw std::invalid_argument("server-tls deve ser on ou off");
    context.serverTls = tls == QLatin1String("on");
    context.serverCa = config.value(QStringLiteral("server-ca"));
    context.serverName = config.value(QStringLiteral("server-name"));
    return context;
}

const LoginContext &loginContext()
{
    return current;
}

void setLoginContext(const LoginContext &context)
{
    current = context;
    if (sharedDatabaseOpener() && !current.database.isEmpty())
        sharedDatabaseOpener()(current.database);
}

void setSharedDatabaseOpener(std::function<void(const QString &)> opener)
{
    sharedDatabaseOpener() = std::move(opener);
}

void applyFormatSettings(const ConfigSource &config)
{
    FormatSettings settings = formatSettings();
    settings.shortDateFormat = config.value(QStringLiteral("short-date"), settings.shortDateFormat);
    settings.longTimeFormat = config.value(QStringLiteral("long-time"), settings.longTimeFormat);
    const QString separator = config.value(QStringLiteral("decimal-separator"));
    if (separator.size() == 1)
        settings.decimalSeparator = separator.front();
    setFormatSettings(settings);
}

QString FiliProc() { return current.filial; }
QString Operador() { return current.operador; }
QString NomeOperador() { return current.nomeOperador; }
QString WebURL() { return current.webUrl; }
quint16 WebPort() { return current.webPort; }

} // namespace fw
