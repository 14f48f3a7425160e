#pragma once

#include <QString>

#include <sqlite3.h>

namespace bench {

// The statement's query as the SQLite C API runs it: prepared, stepped, every column of every
// row read; returns a sum of what was read, so none of it is left out.
qint64 bareSqliteStatement(sqlite3 *db, const QString &client);

} // namespace bench
