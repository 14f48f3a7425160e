#pragma once

#include <QSslConfiguration>
#include <QString>

namespace server {

// The server's certificate (with the chain after it, PEM) and its private key (PEM, RSA or EC,
// unencrypted) as a TLS configuration; throws std::runtime_error saying which file is wrong.
QSslConfiguration loadServerTls(const QString &certificateFile, const QString &keyFile);

} // namespace server
