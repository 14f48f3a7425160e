#pragma once

#include "caller.h"

#include <QCborArray>
#include <QSqlDatabase>
#include <QString>

#include <optional>

namespace server {

// What a ledger request asks of its caller's session: the right its method (or, for a delta,
// each change) needs, the session's own operator and branch where the request names one, and a
// client served at the session's branch. The refusal's words when it asks too much; nothing
// when the session may. Throws fw::DatabaseError.
std::optional<QString> refusalFor(const QString &method, const QCborArray &args, const Caller &caller,
                                  const QSqlDatabase &db);

} // namespace server
