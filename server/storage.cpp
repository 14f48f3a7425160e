#include "storage.h"

#include <QSqlError>
#include <QFileInfo>
#include <QHash>
#include <QThread>

#include <sqlite3.h>

#include <algorithm>
#include <atomic>
#include <vector>

namespace server {
namespace {

// Each storage names its connections apart, so a new one never picks up an old one's.
int nextStorageNumber()
{
    static std::atomic<int> counter{0};
    return ++counter;
}

// The connections a thread opened, closed when the thread ends. Names are never reused:
// a pool thread that expires takes its connections with it, and a new thread that happens
// to get the same thread id opens its own.
class ThreadConnections
{
public:
    ~ThreadConnections()
    {
        // A thread Qt did not start may tell its end after its thread-locals are gone.
        QObject::disconnect(m_atFinish);
        releaseAll();
    }

    QString nameFor(const QString &prefix)
    {
        auto it = m_names.find(prefix);
        if (it == m_names.end()) {
            releaseAtFinish();
            static std::atomic<quint64> counter{0};
            it = m_names.insert(prefix, prefix + QString::number(++counter));
        }
        return *it;
    }

    // PostgreSQL prepares on the server, a round trip of its own each time, so a connection of
    // this thread keeps its prepared statements and runs them again. On SQLite a query handed
    // out half-read would hold on to its read snapshot: only cursors' statements are kept there,
    // reset when the cursor goes (keep()). Null when the statement is not kept.
    QSqlQuery *prepared(const QSqlDatabase &db, const QString &sql)
    {
        if (db.driverName() != QLatin1String("QPSQL") || !isOwn(db.connectionName()))
            return nullptr;
        QHash<QString, QSqlQuery> &statements = m_prepared[db.connectionName()];
        auto it = statements.find(sql);
        if (it == statements.end()) {
            QSqlQuery query(db);
            query.setForwardOnly(true);
            if (!query.prepare(sql))
                return nullptr; // run() prepares it again and reports the failure
            it = statements.insert(sql, query);
        }
        return &*it;
    }

    sqlite3_stmt *takeKept(const QSqlDatabase &db, const QByteArray &sql)
    {
        auto it = std::find_if(m_kept.begin(), m_kept.end(), [&](const Kept &k) {
            return k.connection == db.connectionName() && k.sql == sql;
        });
        if (it == m_kept.end())
            return nullptr;
        sqlite3_stmt *statement = it->statement;
        m_kept.erase(it);
        return statement;
    }

    void keep(const QSqlDatabase &db, const QByteArray &sql, sqlite3_stmt *statement)
    {
        sqlite3_reset(statement);
        sqlite3_clear_bindings(statement);
        if (!isOwn(db.connectionName()) || m_kept.size() >= MostKept) {
            sqlite3_finalize(statement);
            return;
        }
        m_kept.push_back({db.connectionName(), sql, statement});
    }

    // A connection opened again starts without statements.
    void forget(const QString &name)
    {
        m_prepared.remove(name);
        finalizeKept(name);
    }

    // The connection of a storage that goes, while its thread still runs: its statements are
    // let go while the driver can still be asked to, then it closes.
    void release(const QString &prefix)
    {
        const QString name = m_names.take(prefix);
        if (name.isEmpty())
            return;
        m_prepared.remove(name);
        finalizeKept(name);
        QSqlDatabase::database(name, false).close();
        QSqlDatabase::removeDatabase(name);
    }

private:
    // A thread lets go of its connections and statements while it still runs. Past its end
    // the driver can no longer be asked to, and the thread's last steps may meet a program
    // that has already torn down the registry of connections: the pool's wait for its threads
    // is over before their thread-locals go. The pool starts an expired thread object again
    // on a new system thread, whose thread-locals are others: the connection goes with the run
    // that made it, or a later run would clear whatever now lives at `this`, perhaps a busy
    // thread's. Direct: the object itself lives in the thread that made the pool, and the
    // connections must go here.
    void releaseAtFinish()
    {
        if (m_atFinish)
            return;
        QThread *thread = QThread::currentThread();
        m_atFinish = QObject::connect(thread, &QThread::finished, thread, [this] { releaseAll(); },
                                      Qt::ConnectionType(Qt::DirectConnection | Qt::SingleShotConnection));
    }

    void releaseAll()
    {
        // The statements first, while their connection can still be told to drop them (a
        // SQLite connection with statements left would not close at all).
        m_prepared.clear();
        for (const QString &name : std::as_const(m_names))
            finalizeKept(name);
        for (const QString &name : std::as_const(m_names))
            QSqlDatabase::database(name, false).close();
        for (const QString &name : std::as_const(m_names))
            QSqlDatabase::removeDatabase(name);
        m_names.clear();
    }

    void finalizeKept(const QString &connection)
    {
        std::erase_if(m_kept, [&](const Kept &k) {
            if (k.connection != connection)
                return false;
            sqlite3_finalize(k.statement);
            return true;
        });
    }

    bool isOwn(const QString &name) const
    {
        return std::any_of(m_names.cbegin(), m_names.cend(), [&](const QString &own) { return own == name; });
    }

    QHash<QString, QString> m_names;
    QHash<QString, QHash<QString, QSqlQuery>> m_prepared;
    // SQLite statements given back by cursors: a thread uses a handful, each again and again.
    struct Kept
    {
        QString connection;
        QByteArray sql;
        sqlite3_stmt *statement;
    };
    static constexpr size_t MostKept = 16;
    std::vector<Kept> m_kept;
    QMetaObject::Connection m_atFinish;
};

thread_local ThreadConnections threadConnections;

std::shared_ptr<std::mutex> writeLockOf(const QString &file)
{
    static std::mutex registryLock;
    static QHash<QString, std::weak_ptr<std::mutex>> registry;
    const QString key = QFileInfo(file).absoluteFilePath();
    const std::lock_guard guard(registryLock);
    std::shared_ptr<std::mutex> lock = registry.value(key).lock();
    if (!lock) {
        lock = std::make_shared<std::mutex>();
        registry.insert(key, lock);
    }
    return lock;
}

} // namespace

Storage::Storage(QString url)
    : m_url(std::move(url))
    , m_kind(fw::DatabaseUrl::parse(m_url).kind)
    , m_prefix(QStringLiteral("ledger-%1-").arg(nextStorageNumber()))
{
    if (m_kind == fw::DatabaseUrl::Kind::SQLite)
        m_writeLock = writeLockOf(fw::DatabaseUrl::parse(m_url).path);
}

Storage::~Storage()
{
    threadConnections.release(m_prefix);
}

QSqlDatabase Storage::connection() const
{
    const QString name = threadConnections.nameFor(m_prefix);
    if (QSqlDatabase::contains(name)) {
        QSqlDatabase db = QSqlDatabase::database(name, false);
        if (db.isOpen())
            return db;
        db = QSqlDatabase();
        threadConnections.forget(name);
        QSqlDatabase::removeDatabase(name);
    }
    return fw::openDatabase(m_url, name);
}

Transaction::Transaction(const Storage &storage, QSqlDatabase db)
    : Transaction(std::move(db), storage.kind(), storage.writeLock())
{
}

Transaction::Transaction(QSqlDatabase db, fw::DatabaseUrl::Kind kind)
    : Transaction(std::move(db), kind, nullptr)
{
}

Transaction::Transaction(QSqlDatabase db, fw::DatabaseUrl::Kind kind, std::mutex *writeLock)
    : m_writing(writeLock ? std::unique_lock(*writeLock) : std::unique_lock<std::mutex>())
    , m_db(std::move(db))
    , m_kind(kind)
{
    if (m_kind == fw::DatabaseUrl::Kind::SQLite)
        run(m_db, QStringLiteral("BEGIN IMMEDIATE"), {}, "abrir a transação");
    else if (!m_db.transaction())
        throw fw::DatabaseError(QStringLiteral("não foi possível abrir a transação: %1")
                                    .arg(m_db.lastError().text()).toStdString());
    m_open = true;
}

Transaction::~Transaction()
{
    if (!m_open)
        return;
    if (m_kind == fw::DatabaseUrl::Kind::SQLite)
        QSqlQuery(m_db).exec(QStringLiteral("ROLLBACK"));
    else
        m_db.rollback();
}

void Transaction::commit()
{
    if (m_kind == fw::DatabaseUrl::Kind::SQLite)
        run(m_db, QStringLiteral("COMMIT"), {}, "confirmar a transação");
    else if (!m_db.commit())
        throw fw::DatabaseError(QStringLiteral("não foi possível confirmar a transação: %1")
                                    .arg(m_db.lastError().text()).toStdString());
    m_open = false;
    if (m_writing.owns_lock())
        m_writing.unlock();
}

ReadSnapshot::ReadSnapshot(QSqlDatabase db)
    : m_db(std::move(db))
{
    if (!m_db.transaction())
        throw fw::DatabaseError(QStringLiteral("não foi possível abrir a leitura: %1").arg(m_db.lastError().text()).toStdString());
    // SQLite's deferred transaction reads one snapshot from its first read on; PostgreSQL's
    // default would see each statement's own.
    if (m_db.driverName() == QLatin1String("QPSQL")
        && !QSqlQuery(m_db).exec(QStringLiteral("SET TRANSACTION ISOLATION LEVEL REPEATABLE READ, READ ONLY"))) {
        m_db.rollback();
        throw fw::DatabaseError("não foi possível abrir a leitura consistente");
    }
}

ReadSnapshot::~ReadSnapshot()
{
    m_db.rollback();
}

void failDatabase(const char *purpose, const QString &message)
{
    throw fw::DatabaseError(QStringLiteral("falha ao %1: %2")
                                .arg(QString::fromUtf8(purpose ? purpose : "consultar o banco"), message)
                                .toStdString());
}

QSqlQuery run(const QSqlDatabase &db, const QString &sql, const QVariantList &values,
              const char *purpose)
{
    QSqlQuery query(db);
    query.setForwardOnly(true);
    auto fail = [&] { failDatabase(purpose, query.lastError().text()); };
    // A statement without values runs as it is: PostgreSQL can't prepare DDL.
    if (values.size() == 0) {
        if (!query.exec(sql))
            fail();
        return query;
    }
    if (QSqlQuery *kept = threadConnections.prepared(db, sql))
        query = *kept;
    else if (!query.prepare(sql))
        fail();
    int i = 0;
    for (const QVariant &v : values)
        query.bindValue(i++, v);
    if (!query.exec())
        fail();
    return query;
}

sqlite3_stmt *takeKeptStatement(const QSqlDatabase &db, const QByteArray &sql)
{
    return threadConnections.takeKept(db, sql);
}

void keepStatement(const QSqlDatabase &db, const QByteArray &sql, sqlite3_stmt *statement)
{
    threadConnections.keep(db, sql, statement);
}

} // namespace server
