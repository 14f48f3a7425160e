#include "servertls.h"

#include <QFile>
#include <QSslCertificate>
#include <QSslKey>

#include <stdexcept>

namespace server {

QSslConfiguration loadServerTls(const QString &certificateFile, const QString &keyFile)
{
    const QList<QSslCertificate> chain = QSslCertificate::fromPath(certificateFile, QSsl::Pem);
    if (chain.isEmpty())
        throw std::runtime_error(QStringLiteral("--tls-cert %1 não tem um certificado PEM legível").arg(certificateFile).toStdString());
    QFile file(keyFile);
    if (!file.open(QIODevice::ReadOnly))
        throw std::runtime_error(QStringLiteral("--tls-key %1 não pôde ser lido: %2").arg(keyFile, file.errorString()).toStdString());
    const QByteArray pem = file.readAll();
    QSslKey key;
    for (const QSsl::KeyAlgorithm algorithm : {QSsl::Ec, QSsl::Rsa}) {
        key = QSslKey(pem, algorithm, QSsl::Pem);
        if (!key.isNull())
            break;
    }
    if (key.isNull())
        throw std::runtime_error(QStringLiteral("--tls-key %1 não tem uma chave privada PEM (RSA ou EC, sem senha)").arg(keyFile).toStdString());
    QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
    tls.setLocalCertificateChain(chain);
    tls.setPrivateKey(key);
    return tls;
}

} // namespace server
