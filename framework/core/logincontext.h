#pragma once

#include <framework/core/configsource.h>

#include <QString>

namespace fw {

// Who is logged in, where, and which application server and shared database they use.
struct LoginContext
{
    QString filial = QStringLiteral("0001");
    QString operador;
    QString nomeOperador;
    QString webUrl = QStringLiteral("127.0.0.1");
    quint16 webPort = 4420;
    // The shared database: a SQLite file path or a postgresql:// URL.
    QString database;

    // Reads the names filial, operador, nome-operador, server-host, server-port and database.
    static LoginContext fromConfig(const ConfigSource &config);
};

const LoginContext &loginContext();
void setLoginContext(const LoginContext &context);

// Reads short-date, long-time and decimal-separator, keeping the defaults for what is absent.
void applyFormatSettings(const ConfigSource &config);

QString FiliProc();
QString Operador();
QString NomeOperador();
QString WebURL();
quint16 WebPort();

} // namespace fw
