#pragma once

#include "database.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>
#include <QVariant>

#include <initializer_list>

namespace server {

// The ledger's database: one connection per thread that uses it (Qt SQL connections belong to
// the thread that opened them), opened on first use from the database URL and closed when the
// thread ends.
class Storage
{
public:
    explicit Storage(QString url);

    const QString &url() const { return m_url; }
    fw::DatabaseUrl::Kind kind() const { return m_kind; }
    // This thread's connection; throws fw::DatabaseError when it can't be opened.
    QSqlDatabase connection() const;

private:
    QString m_url;
    fw::DatabaseUrl::Kind m_kind;
    QString m_prefix;
};

// One transaction; rolled back unless committed. On SQLite it takes the write lock at once
// (BEGIN IMMEDIATE), so two writers queue on the busy timeout instead of failing halfway.
class Transaction
{
public:
    Transaction(QSqlDatabase db, fw::DatabaseUrl::Kind kind);
    ~Transaction();
    void commit();

private:
    QSqlDatabase m_db;
    fw::DatabaseUrl::Kind m_kind;
    bool m_open = false;
};

// Prepares and runs a statement with positional values; throws fw::DatabaseError naming the
// statement's purpose and the database's message.
QSqlQuery run(const QSqlDatabase &db, const QString &sql, std::initializer_list<QVariant> values = {},
              const char *purpose = nullptr);

} // namespace server
