#include "tlsfailure.h"

#include <QSslCertificate>
#include <QStringList>

namespace fw {

QString tlsFailureMessage(const QString &where, const QList<QSslError> &errors)
{
    for (const QSslError &e : errors) {
        switch (e.error()) {
        case QSslError::CertificateExpired:
            return QStringLiteral("O certificado do servidor de aplicação em %1 expirou em %2. Peça ao suporte para "
                                  "renová-lo; até lá não é seguro conectar.")
                .arg(where, e.certificate().expiryDate().toLocalTime().toString(QStringLiteral("dd/MM/yyyy")));
        case QSslError::CertificateNotYetValid:
            return QStringLiteral("O certificado do servidor de aplicação em %1 só vale a partir de %2. Confira o "
                                  "relógio deste terminal e o do servidor.")
                .arg(where, e.certificate().effectiveDate().toLocalTime().toString(QStringLiteral("dd/MM/yyyy")));
        case QSslError::HostNameMismatch:
            return QStringLiteral("O certificado do servidor de aplicação em %1 é de outro nome (%2). Confira "
                                  "server-host e server-name na configuração, ou peça ao suporte um certificado para "
                                  "este nome.")
                .arg(where, e.certificate().subjectAlternativeNames().values().join(QStringLiteral(", ")));
        default:
            break;
        }
    }
    if (!errors.isEmpty())
        return QStringLiteral("O certificado do servidor de aplicação em %1 não é de uma autoridade em que este "
                              "terminal confia. Confira se server-ca aponta para a autoridade (ou o certificado) do "
                              "servidor; se apontar, avise o suporte: a conexão pode estar sendo interceptada.")
            .arg(where);
    return QStringLiteral("O servidor de aplicação em %1 não atendeu em TLS. Confira se ele foi iniciado com "
                          "--tls-cert e --tls-key, ou, num servidor só de testes em 127.0.0.1, desligue server-tls.")
        .arg(where);
}

QString tlsFailureDetails(const QList<QSslError> &errors, const QString &socketError)
{
    QStringList lines;
    for (const QSslError &e : errors)
        lines << e.errorString();
    if (!socketError.isEmpty())
        lines << socketError;
    return lines.join(QStringLiteral("; "));
}

} // namespace fw
