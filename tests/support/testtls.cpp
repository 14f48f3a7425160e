#include "testtls.h"

#include "servertls.h"

QString testTlsFile(const QString &name)
{
    return QStringLiteral(TEST_TLS_DIR "/") + name;
}

QSslConfiguration testServerTls(const QString &certificate)
{
    return server::loadServerTls(testTlsFile(certificate + ".pem"), testTlsFile(certificate + ".key"));
}

QList<QSslCertificate> testAuthority(const QString &file)
{
    return QSslCertificate::fromPath(testTlsFile(file), QSsl::Pem);
}
