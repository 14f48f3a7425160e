#pragma once

#include "statement.h"

#include <QSqlDatabase>
#include <QString>

#include <optional>

namespace server {

// The client (and consumer) a statement is of; nothing when the client, or that consumer of
// it, is not registered. Throws fw::DatabaseError.
std::optional<acc00420::StatementHolder> readStatementHolder(const QSqlDatabase &db, const QString &client, const QString &consumer);

// The branches that serve the client, by name, for a statement printed away from any one of them.
QString servingBranches(const QSqlDatabase &db, const QString &client);

// Every movement of the account, or of one consumer of it, in the balance order, read
// forward without building a record set: what a statement is made of.
QList<acc00420::StatementMovement> readAccountMovements(const QSqlDatabase &db, const QString &client,
                                                        const QString &consumer);

// One movement of the client's, by its number; nothing when the client has none of that number.
std::optional<acc00420::StatementMovement> readMovement(const QSqlDatabase &db, const QString &client, const QString &number);

} // namespace server
