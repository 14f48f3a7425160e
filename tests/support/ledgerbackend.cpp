#include "ledgerbackend.h"

#include "schema.h"

#include <QSqlQuery>
#include <QUrl>
#include <QUuid>

namespace {

QString pgUrl()
{
    return qEnvironmentVariable("ACC00420_TEST_PG_URL");
}

void onMaintenance(const QString &sql)
{
    const QString name = QStringLiteral("pg-maintenance");
    {
        QSqlDatabase db = fw::openDatabase(pgUrl(), name);
        QSqlQuery q(db);
        if (!q.exec(sql))
            qFatal("%s", qPrintable(sql));
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
}

} // namespace

LedgerBackend::LedgerBackend(const QString &kind)
{
    QString url;
    if (kind == QLatin1String("postgresql")) {
        m_pgDatabase = QStringLiteral("acc_test_") + QUuid::createUuid().toString(QUuid::Id128).left(16);
        onMaintenance(QStringLiteral("CREATE DATABASE ") + m_pgDatabase);
        QUrl u(pgUrl());
        u.setPath(u'/' + m_pgDatabase);
        url = u.toString();
    } else {
        url = m_dir.filePath(QStringLiteral("ledger.db"));
    }
    m_storage = std::make_unique<server::Storage>(url);
    server::migrate(m_storage->connection(), m_storage->kind());
}

LedgerBackend::~LedgerBackend()
{
    m_storage.reset(); // with this thread's connection; other threads' end with them
    if (!m_pgDatabase.isEmpty())
        onMaintenance(QStringLiteral("DROP DATABASE ") + m_pgDatabase + QStringLiteral(" WITH (FORCE)"));
}

void LedgerBackend::exec(const QString &sql, std::initializer_list<QVariant> values)
{
    server::run(db(), sql, values, "preparar o teste");
}

void LedgerBackend::addRows(const std::function<void(const QString &)> &addRow)
{
    addRow(QStringLiteral("sqlite"));
    if (!pgUrl().isEmpty())
        addRow(QStringLiteral("postgresql"));
}
