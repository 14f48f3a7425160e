#include "outcomes.h"

#include <framework/data/protocol.h>

#include <QCborValue>

namespace server {

Outcome refused(const QString &message)
{
    return Outcome::ok(fw::encodeEnvelope(false, message, QCborValue()));
}

QString databaseFailure(const fw::DatabaseError &e)
{
    qWarning("acc00420-server: falha no banco de dados: %s", e.what());
    return QStringLiteral("o banco de dados do servidor não atendeu o pedido; tente de novo em instantes e, se "
                          "persistir, avise o suporte");
}

} // namespace server
