#pragma once

#include <QJsonObject>
#include <QSqlDatabase>
#include <QString>

#include <optional>

namespace server {

// What verifying found: how much it checked and, when something does not hold, the first
// difference in words ("cliente …, lançamento …, campo …: …").
struct ChainReport
{
    qint64 accounts = 0;
    qint64 entries = 0;
    std::optional<QString> difference;
};

// Recomputes each account's chain (one client's, or every one), compares each movement's stored
// fields with the last entry that covers it and the running balances with a recalculation after
// the last one the chain records; with a digest, also that each chain still extends the head it
// recorded. Reads only. Throws fw::DatabaseError.
ChainReport verifyChains(const QSqlDatabase &db, const QString &client = {},
                         const std::optional<QJsonObject> &digest = std::nullopt);

// Every account's head (sequence and hash), one root over them all and the moment, for keeping
// away from the database's machine.
QJsonObject chainDigest(const QSqlDatabase &db);

} // namespace server
