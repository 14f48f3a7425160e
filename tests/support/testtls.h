#pragma once

#include <QSslCertificate>
#include <QSslConfiguration>
#include <QString>

// The tests' certificates (tests/support/tls, made by its regenerate.sh): "server" for 127.0.0.1
// and localhost, "expired" and "othername" signed by the tests' authority "ca.pem", and
// "other-ca.pem", an authority nobody trusts.
QString testTlsFile(const QString &name);
// What a test server serves: that certificate with its key.
QSslConfiguration testServerTls(const QString &certificate = QStringLiteral("server"));
// What a test client trusts.
QList<QSslCertificate> testAuthority(const QString &file = QStringLiteral("ca.pem"));
