#pragma once

#include <QString>

#include <cstdio>

namespace server {

// "backup --to=FILE": a copy of a SQLite ledger taken while servers keep writing to it, one
// read snapshot of the file copied page by page with SQLite's backup API, checked whole
// (integrity_check) before it takes its final name, which must not exist yet. Nothing is
// ever left under that name by a copy that failed. PostgreSQL is refused: pg_dump does it.
// Returns the exit status: 0 and one line on `out` when the copy is there, 1 and the reason on
// `err` when nothing was written.
int runBackupCommand(const QString &database, const QString &target, std::FILE *out, std::FILE *err);

} // namespace server
