#pragma once

#include <framework/core/configsource.h>
#include <framework/core/coreexport.h>

#include <QString>

#include <functional>

namespace fw {

// Who is logged in, where, and which application server and shared database they use.
struct FW_CORE_EXPORT LoginContext
{
    QString filial = QStringLiteral("0001");
    QString operador;
    QString nomeOperador;
    QString webUrl = QStringLiteral("127.0.0.1");
    quint16 webPort = 4420;
    // How long a call waits for the application server's reply.
    int serverTimeoutMs = 30000;
    // TLS to the application server, its certificate verified against the authority in serverCa
    // (the system's when empty) for serverName (the server host when empty).
    bool serverTls = true;
    QString serverCa;
    QString serverName;
    // The shared database: a SQLite file path or a postgresql:// URL. Setting the context opens
    // it, so a host never opens it itself.
    QString database;

    // Reads the names filial, operador, server-host, server-port, server-timeout (seconds),
    // server-tls (on or off), server-ca, server-name and database.
    static LoginContext fromConfig(const ConfigSource &config);
};

FW_CORE_EXPORT const LoginContext &loginContext();
// Sets the context, then opens its shared database when it names one other than the one open
// (an empty name leaves the shared database as it is). The context is set even when the
// database does not open; that failure is thrown.
FW_CORE_EXPORT void setLoginContext(const LoginContext &context);
// Who keeps the shared database open follows the context through this; the data layer's shared
// database module installs itself.
FW_CORE_EXPORT void setSharedDatabaseOpener(std::function<void(const QString &database)> opener);

// Reads short-date, long-time and decimal-separator, keeping the defaults for what is absent.
FW_CORE_EXPORT void applyFormatSettings(const ConfigSource &config);

FW_CORE_EXPORT QString FiliProc();
FW_CORE_EXPORT QString Operador();
FW_CORE_EXPORT QString NomeOperador();
FW_CORE_EXPORT QString WebURL();
FW_CORE_EXPORT quint16 WebPort();

} // namespace fw
