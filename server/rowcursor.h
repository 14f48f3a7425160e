#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>
#include <QVariant>

#include <optional>
#include <vector>

struct sqlite3_stmt;
struct sqlite3_value;

namespace server {

// The rows of a SELECT read forward, value by value, for a statement of many rows: on SQLite
// the statement is stepped through SQLite's own interface, so a value is never a QVariant nor
// a QString on its way to the packet; elsewhere it is read through a forward-only query.
class RowCursor
{
public:
    // Throws fw::DatabaseError naming the purpose and the database's message.
    RowCursor(const QSqlDatabase &db, const QString &sql, const QVariantList &values,
              const char *purpose);
    ~RowCursor();
    RowCursor(const RowCursor &) = delete;
    RowCursor &operator=(const RowCursor &) = delete;

    bool next();
    bool isNull(int column) const;
    qint64 integer(int column) const;
    // Whether the value is stored as an integer (Qt would read it as one).
    bool isInteger(int column) const;
    // The value as UTF-8 text, valid until the next call.
    QByteArrayView text(int column);

private:
    [[noreturn]] void fail(const QString &message) const;

    const char *m_purpose;
    // Reset as soon as the cursor goes (a statement left mid-way would hold on to its read
    // snapshot) and kept for the next cursor of the same query.
    struct Statement
    {
        QSqlDatabase db;
        QByteArray sql;
        sqlite3_stmt *prepared = nullptr;
        ~Statement();
    };
    Statement m_statement;
    std::vector<sqlite3_value *> m_values; // the current row's
    std::optional<QSqlQuery> m_query;
    QByteArray m_text;
};

} // namespace server
