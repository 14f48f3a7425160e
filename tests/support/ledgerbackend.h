#pragma once

#include "storage.h"

#include <QString>
#include <QTemporaryDir>
#include <functional>

#include <memory>

// A fresh, migrated ledger database for one test: a SQLite file in a temporary folder, or,
// when ACC00420_TEST_PG_URL names a PostgreSQL server, a database created for the test and
// dropped after it.
class LedgerBackend
{
public:
    explicit LedgerBackend(const QString &kind);
    ~LedgerBackend();

    server::Storage &storage() { return *m_storage; }
    QSqlDatabase db() { return m_storage->connection(); }
    // Runs SQL that must succeed.
    void exec(const QString &sql, std::initializer_list<QVariant> values = {});

    // Adds one data row per available backend: "sqlite" always, "postgresql" when configured.
    static void addRows(const std::function<void(const QString &kind)> &addRow);

private:
    QTemporaryDir m_dir;
    QString m_pgDatabase;
    std::unique_ptr<server::Storage> m_storage;
};
