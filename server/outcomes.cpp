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
    // PostgreSQL's DETAIL may quote the row that failed, a movement's observation with it.
    QString text = QString::fromUtf8(e.what());
    if (const qsizetype detail = text.indexOf(QLatin1String("DETAIL:")); detail >= 0)
        text.truncate(detail);
    logFailure(QStringLiteral("falha no banco de dados: %1").arg(text.trimmed()));
    return QStringLiteral("o banco de dados do servidor não atendeu o pedido; tente de novo em instantes e, se "
                          "persistir, avise o suporte");
}

} // namespace server
