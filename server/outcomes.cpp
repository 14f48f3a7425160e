#include "outcomes.h"

#include "requestlog.h"

#include <framework/data/protocol.h>

#include <QCborValue>

namespace server {

Outcome refused(const QString &message)
{
    Outcome outcome = Outcome::ok(fw::encodeEnvelope(false, message, QCborValue()));
    outcome.refusal = true;
    return outcome;
}

QString databaseFailure(const fw::DatabaseError &e)
{
    logFailure(QStringLiteral("falha no banco de dados: %1").arg(QString::fromUtf8(e.what())));
    return QStringLiteral("o banco de dados do servidor não atendeu o pedido; tente de novo em instantes e, se "
                          "persistir, avise o suporte");
}

} // namespace server
