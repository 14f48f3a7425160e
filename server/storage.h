#pragma once

#include <framework/data/database.h>

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>
#include <QVariant>

#include <initializer_list>
#include <memory>
#include <mutex>

struct sqlite3_stmt;

namespace server {

// The ledger's database: one connection per thread that uses it (Qt SQL connections belong to
// the thread that opened them), opened on first use from the database URL and closed when the
// thread ends.
class Storage
{
public:
    explicit Storage(QString url);
    // Takes this thread's connection with it (another thread's goes when that thread ends).
    ~Storage();
    Storage(const Storage &) = delete;
    Storage &operator=(const Storage &) = delete;

    const QString &url() const { return m_url; }
    fw::DatabaseUrl::Kind kind() const { return m_kind; }
    // This thread's connection; throws fw::DatabaseError when it can't be opened.
    QSqlDatabase connection() const;
    // The lock write transactions take in this process: one per SQLite file, so writers wait
    // their turn here instead of in SQLite's busy back-off; none for PostgreSQL.
    std::mutex *writeLock() const { return m_writeLock.get(); }

private:
    QString m_url;
    fw::DatabaseUrl::Kind m_kind;
    QString m_prefix;
    std::shared_ptr<std::mutex> m_writeLock;
};

// One transaction; rolled back unless committed. On SQLite it takes the storage's write lock
// and then the database's at once (BEGIN IMMEDIATE), so writers of this process queue on the
// lock and only other processes' writers meet the busy timeout; none fails halfway.
class Transaction
{
public:
    Transaction(const Storage &storage, QSqlDatabase db);
    Transaction(QSqlDatabase db, fw::DatabaseUrl::Kind kind); // no other writer yet (migrations)
    ~Transaction();
    void commit();

private:
    Transaction(QSqlDatabase db, fw::DatabaseUrl::Kind kind, std::mutex *writeLock);

    std::unique_lock<std::mutex> m_writing;
    QSqlDatabase m_db;
    fw::DatabaseUrl::Kind m_kind;
    bool m_open = false;
};

// One read-only transaction, ended when it goes: every query in it sees the database as it
// stood at the first, whatever other writers commit meanwhile (on PostgreSQL, repeatable read).
class ReadSnapshot
{
public:
    explicit ReadSnapshot(QSqlDatabase db);
    ~ReadSnapshot();
    ReadSnapshot(const ReadSnapshot &) = delete;
    ReadSnapshot &operator=(const ReadSnapshot &) = delete;

private:
    QSqlDatabase m_db;
};

// The failure of a statement run for `purpose` (null: a plain query), with the database's message.
[[noreturn]] void failDatabase(const char *purpose, const QString &message);

// Prepares and runs a statement with positional values; throws fw::DatabaseError naming the
// statement's purpose and the database's message. On PostgreSQL a storage's connection keeps
// the statement prepared and runs it again next time, so a result must be read before the same
// statement runs again.
QSqlQuery run(const QSqlDatabase &db, const QString &sql, const QVariantList &values = {},
              const char *purpose = nullptr);

// A SQLite statement of `sql` on this thread's connection `db`, prepared by an earlier cursor
// and given back reset, or null. Keeping one holds nothing of the database: a reset statement
// has let go of its read snapshot.
sqlite3_stmt *takeKeptStatement(const QSqlDatabase &db, const QByteArray &sql);
// Gives a statement back, reset, to be taken again; finalised when the connection is not one of
// this thread's own or enough are kept. Kept statements are finalised before their connection
// closes.
void keepStatement(const QSqlDatabase &db, const QByteArray &sql, sqlite3_stmt *statement);

} // namespace server
