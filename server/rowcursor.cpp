#include "rowcursor.h"
#include "storage.h"

#include <framework/data/database.h>

#include <QSqlDriver>
#include <QSqlError>

#include <sqlite3.h>

namespace server {
namespace {

sqlite3 *sqliteHandle(const QSqlDatabase &db)
{
    const QVariant handle = db.driver()->handle();
    if (!handle.isValid() || qstrcmp(handle.typeName(), "sqlite3*") != 0)
        return nullptr;
    return *static_cast<sqlite3 *const *>(handle.constData());
}

} // namespace

RowCursor::RowCursor(const QSqlDatabase &db, const QString &sql, std::initializer_list<QVariant> values,
                     const char *purpose)
    : m_purpose(purpose)
{
    sqlite3 *handle = sqliteHandle(db);
    if (!handle) {
        m_query = run(db, sql, values, purpose);
        return;
    }
    const QByteArray utf8 = sql.toUtf8();
    sqlite3_stmt *prepared = nullptr;
    const int prepareResult = sqlite3_prepare_v2(handle, utf8.constData(), int(utf8.size()), &prepared, nullptr);
    m_statement.reset(prepared); // finalised however the constructor ends
    if (prepareResult != SQLITE_OK)
        fail(QString::fromUtf8(sqlite3_errmsg(handle)));
    m_values.resize(size_t(sqlite3_column_count(m_statement.get())));
    int i = 0;
    for (const QVariant &v : values) {
        ++i;
        int rc;
        // A null text is SQL null, as Qt's own binding has it.
        if (v.isNull() || (v.typeId() == QMetaType::QString && v.toString().isNull())) {
            rc = sqlite3_bind_null(m_statement.get(), i);
        } else if (v.typeId() == QMetaType::LongLong || v.typeId() == QMetaType::Int) {
            rc = sqlite3_bind_int64(m_statement.get(), i, v.toLongLong());
        } else if (v.typeId() == QMetaType::Double) {
            rc = sqlite3_bind_double(m_statement.get(), i, v.toDouble());
        } else {
            const QByteArray text = v.toString().toUtf8();
            rc = sqlite3_bind_text(m_statement.get(), i, text.constData(), int(text.size()), SQLITE_TRANSIENT);
        }
        if (rc != SQLITE_OK)
            fail(QString::fromUtf8(sqlite3_errmsg(handle)));
    }
}

RowCursor::~RowCursor() = default;

void RowCursor::Finalize::operator()(sqlite3_stmt *statement) const
{
    sqlite3_finalize(statement);
}

void RowCursor::fail(const QString &message) const
{
    throw fw::DatabaseError(QStringLiteral("falha ao %1: %2")
                                .arg(QString::fromUtf8(m_purpose ? m_purpose : "consultar o banco"), message)
                                .toStdString());
}

bool RowCursor::next()
{
    if (m_query)
        return m_query->next();
    const int rc = sqlite3_step(m_statement.get());
    if (rc == SQLITE_ROW) {
        // The row's values are taken once: the sqlite3_value_* readers take no lock, where
        // each sqlite3_column_* call takes the connection's. They are unprotected values,
        // sound while only this thread uses the connection, as each of the storage's
        // connections is.
        for (size_t i = 0; i < m_values.size(); ++i)
            m_values[i] = sqlite3_column_value(m_statement.get(), int(i));
        return true;
    }
    if (rc != SQLITE_DONE)
        fail(QString::fromUtf8(sqlite3_errmsg(sqlite3_db_handle(m_statement.get()))));
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
    return sqlite3_value_int64(m_values[size_t(column)]);
}

QByteArrayView RowCursor::text(int column)
{
    if (m_query) {
        m_text = m_query->value(column).toString().toUtf8();
        return m_text;
    }
    sqlite3_value *value = m_values[size_t(column)];
    const auto *utf8 = reinterpret_cast<const char *>(sqlite3_value_text(value));
    return QByteArrayView(utf8, sqlite3_value_bytes(value));
}

} // namespace server
