#include "baresqlite.h"
#include "ledger.h"
#include "ledgerdata.h"

namespace bench {

qint64 bareSqliteStatement(sqlite3 *db, const QString &client)
{
    const QByteArray sql = server::Ledger::statementSql().toUtf8();
    const QByteArray code = client.toUtf8();
    sqlite3_stmt *statement = nullptr;
    sqlite3_prepare_v2(db, sql.constData(), int(sql.size()), &statement, nullptr);
    sqlite3_bind_text(statement, 1, code.constData(), int(code.size()), SQLITE_STATIC);
    sqlite3_bind_int64(statement, 2, bench::FirstDay);
    sqlite3_bind_text(statement, 3, "T", 1, SQLITE_STATIC);
    sqlite3_bind_null(statement, 4);
    qint64 touched = 0;
    const int columns = sqlite3_column_count(statement);
    while (sqlite3_step(statement) == SQLITE_ROW) {
        // Each value taken once and read without the connection's lock, the fastest the API
        // reads a row.
        for (int i = 0; i < columns; ++i) {
            sqlite3_value *value = sqlite3_column_value(statement, i);
            if (sqlite3_value_type(value) == SQLITE_INTEGER)
                touched += sqlite3_value_int64(value);
            else if (sqlite3_value_text(value))
                touched += sqlite3_value_bytes(value);
        }
    }
    sqlite3_finalize(statement);
    return touched;
}

} // namespace bench
