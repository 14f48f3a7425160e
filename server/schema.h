#pragma once

#include <framework/data/database.h>

#include <QSqlDatabase>

namespace server {

// The ledger's tables, created and brought up to date by the server itself. Each version is
// applied once, in its own transaction, and recorded in SCHEMAVERSAO.
int schemaVersion(const QSqlDatabase &db);
// Applies every version the database lacks; returns the version it ends on.
int migrate(const QSqlDatabase &db, fw::DatabaseUrl::Kind kind);

} // namespace server
