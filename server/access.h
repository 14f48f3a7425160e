#pragma once

#include "caller.h"
#include "sessions.h"

#include <QCborArray>
#include <QSqlDatabase>
#include <QString>

#include <optional>

namespace server {

// What a ledger request asks of its caller's session: the right its method (or, for a delta,
// each change) needs, the session's own operator and branch where the request names one, and a
// client served at the session's branch.
class AccessCheck
{
public:
    // What the request asks, read without the database.
    AccessCheck(const QString &method, const QCborArray &args);

    // Whether the one client the request names is served at the caller's branch, for the
    // session check to read along: 1 served, 0 not, null unregistered. None when the request
    // names no client or several.
    std::optional<Sessions::AskedAlong> clientServed(const Caller &caller) const;

    // The refusal's words when the request asks too much; nothing when the session may.
    // `served` is what clientServed() read along, when it was. Throws fw::DatabaseError.
    std::optional<QString> refusal(const Caller &caller, const QSqlDatabase &db,
                                   const std::optional<QVariant> &served = std::nullopt) const;

    // One thing the request asks: of its method, or of one change of a movement delta.
    struct Asked
    {
        QString right;
        QString operatorCode;
        QString branch;
        QString client;
    };

private:
    QString m_method;
    bool m_ruled = false;
    QList<Asked> m_asks;
};

} // namespace server
