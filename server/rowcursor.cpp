#include "rowcursor.h"
#include "storage.h"

#include <QSqlDriver>
#include <QSqlQuery>

#include <sqlite3.h>

namespace server {
namespace {

// Qt's driver may carry a SQLite of its own; its connection is stepped here only when it is
// the very SQLite this program links, asked once.
bool driverSharesOurSqlite(const QSqlDatabase &db)
{
    static const bool shared = [&] {
        QSqlQuery q(db);
        return q.exec(QStringLiteral("SELECT sqlite_source_id()")) && q.next()
            && q.value(0).toString() == QLatin1String(sqlite3_sourceid());
    }();
    return shared;
}

sqlite3 *sqliteHandle(const QSqlDatabase &db)
{
    const QVariant handle = db.driver()->handle();
    if (!handle.isValid() || qstrcmp(handle.typeName(), "sqlite3*") != 0 || !driverSharesOurSqlite(db))
        return nullptr;
    return *static_cast<sqlite3 *const *>(handle.constData());
}

// A value bound as Qt's driver binds it.
int bind(sqlite3_stmt *statement, int index, const QVariant &v)
{
    // A null text is SQL null, as Qt's own binding has it.
    if (v.isNull() || (v.typeId() == QMetaType::QString && v.toString().isNull()))
        return sqlite3_bind_null(statement, index);
    switch (v.typeId()) {
    case QMetaType::Bool:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
        return sqlite3_bind_int64(statement, index, v.toLongLong());
    case QMetaType::Double:
        return sqlite3_bind_double(statement, index, v.toDouble());
    case QMetaType::QByteArray: {
        const QByteArray bytes = v.toByteArray();
        return sqlite3_bind_blob(statement, index, bytes.constData(), int(bytes.size()), SQLITE_TRANSIENT);
    }
    default: {
        const QByteArray text = v.toString().toUtf8();
        return sqlite3_bind_text(statement, index, text.constData(), int(text.size()), SQLITE_TRANSIENT);
    }
    }
}

} // namespace

RowCursor::RowCursor(const QSqlDatabase &db, const QString &sql, const QVariantList &values,
                     const char *purpose)
    : m_purpose(purpose)
{
    sqlite3 *handle = sqliteHandle(db);
    if (!handle) {
        m_query = run(db, sql, values, purpose);
        return;
    }
    m_statement.db = db;
    m_statement.sql = sql.toUtf8();
    // Given back however the constructor ends.
    m_statement.prepared = takeKeptStatement(db, m_statement.sql);
    if (!m_statement.prepared
        && sqlite3_prepare_v2(handle, m_statement.sql.constData(), int(m_statement.sql.size()), &m_statement.prepared,
                              nullptr) != SQLITE_OK)
        fail(QString::fromUtf8(sqlite3_errmsg(handle)));
    sqlite3_stmt *statement = m_statement.prepared;
    m_values.resize(size_t(sqlite3_column_count(statement)));
    if (sqlite3_bind_parameter_count(statement) != int(values.size()))
        fail(QStringLiteral("%1 valores para %2 parâmetros").arg(values.size()).arg(sqlite3_bind_parameter_count(statement)));
    int i = 0;
    for (const QVariant &v : values) {
        if (bind(statement, ++i, v) != SQLITE_OK)
            fail(QString::fromUtf8(sqlite3_errmsg(handle)));
    }
}

RowCursor::~RowCursor() = default;

RowCursor::Statement::~Statement()
{
    if (prepared)
        keepStatement(db, sql, prepared);
}

void RowCursor::fail(const QString &message) const
{
    failDatabase(m_purpose, message);
}

bool RowCursor::next()
{
    if (m_query)
        return m_query->next();
    const int rc = sqlite3_step(m_statement.prepared);
    if (rc == SQLITE_ROW) {
        // The row's values are taken once: the sqlite3_value_* readers take no lock, where
        // each sqlite3_column_* call takes the connection's. They are unprotected values,
        // sound while only this thread uses the connection, as each of the storage's
        // connections is.
        for (size_t i = 0; i < m_values.size(); ++i)
            m_values[i] = sqlite3_column_value(m_statement.prepared, int(i));
        return true;
    }
    if (rc != SQLITE_DONE)
        fail(QString::fromUtf8(sqlite3_errmsg(sqlite3_db_handle(m_statement.prepared))));
    return false;
}

bool RowCursor::isNull(int column) const
{
    if (m_query)
        return m_query->isNull(column);
    return sqlite3_value_type(m_values[size_t(column)]) == SQLITE_NULL;
}

qint64 RowCursor::integer(int column) const
{
    if (m_query)
        return m_query->value(column).toLongLong();
    sqlite3_value *value = m_values[size_t(column)];
    // A real number stored where the ledger keeps integers is rounded, as Qt reads it.
    if (sqlite3_value_type(value) == SQLITE_FLOAT)
        return qRound64(sqlite3_value_double(value));
    return sqlite3_value_int64(value);
}

bool RowCursor::isInteger(int column) const
{
    if (m_query) {
        const int type = m_query->value(column).typeId();
        return type == QMetaType::LongLong || type == QMetaType::Int || type == QMetaType::ULongLong || type == QMetaType::UInt;
    }
    return sqlite3_value_type(m_values[size_t(column)]) == SQLITE_INTEGER;
}

QByteArrayView RowCursor::text(int column)
{
    if (m_query) {
        m_text = m_query->value(column).toString().toUtf8();
        return m_text;
    }
    sqlite3_value *value = m_values[size_t(column)];
    const auto *utf8 = reinterpret_cast<const char *>(sqlite3_value_text(value));
    const QByteArrayView text(utf8, sqlite3_value_bytes(value));
    if (text.isValidUtf8())
        return text;
    // Bytes another program stored that are not UTF-8 travel as Qt reads them, each bad
    // sequence replaced: a packet's text is always valid.
    m_text = QString::fromUtf8(text).toUtf8();
    return m_text;
}

} // namespace server
