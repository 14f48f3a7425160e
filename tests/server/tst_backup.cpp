#include "backupcommand.h"
#include "chainverifier.h"
#include "ledgerbackend.h"
#include "postedledger.h"

#include <framework/data/protocol.h>

#include <QCborMap>
#include <QCryptographicHash>
#include <QDir>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>

#include <atomic>
#include <cstdlib>
#include <thread>

// A SQLite ledger copied while its clients keep posting, then put back in its place.
namespace {

// What a command writes to one of its streams.
struct Captured
{
    char *buffer = nullptr;
    size_t size = 0;
    std::FILE *file = open_memstream(&buffer, &size);
    ~Captured()
    {
        std::fclose(file);
        std::free(buffer);
    }
    QString text()
    {
        std::fflush(file);
        return QString::fromUtf8(buffer, qsizetype(size));
    }
};

QSet<QString> movements(const QSqlDatabase &db)
{
    QSet<QString> keys;
    QSqlQuery q = server::run(db, "SELECT CDCLIENTE, NRSEQMOVCLI FROM MOVICLIE");
    while (q.next())
        keys << q.value(0).toString() + u'/' + q.value(1).toString();
    return keys;
}

// Every file of a folder by name, with a hash of its contents.
QMap<QString, QByteArray> contents(const QString &folder)
{
    QMap<QString, QByteArray> files;
    for (const QFileInfo &f : QDir(folder).entryInfoList(QDir::Files)) {
        QFile file(f.filePath());
        file.open(QIODevice::ReadOnly);
        files.insert(f.fileName(), QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256));
    }
    return files;
}

} // namespace

class TestBackup : public QObject
{
    Q_OBJECT

private slots:
    // Sixteen clients post before, during and after the copy: it holds every movement stored
    // before it began, its chains whole; put back over the database, the ledger works on it
    // and its balances are the recalculation's.
    void copiedWhileClientsPost()
    {
        LedgerBackend b("sqlite");
        postThroughTheLedger(b);
        // Ballast, so the copy takes many steps with commits landing between them.
        b.exec("CREATE TABLE LASTRO (DADOS BLOB)");
        b.exec("INSERT INTO LASTRO WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 2048)"
               " SELECT randomblob(4000) FROM n");
        const server::Ledger ledger(b.storage());
        std::atomic<bool> stop{false};
        std::atomic<int> posted{0};
        // Joined, not just finished: a client's connection closes as its thread ends.
        std::vector<std::thread> clients;
        for (int i = 0; i < 16; ++i) {
            clients.emplace_back([&, i] {
                for (int k = 0; !stop; ++k, ++posted)
                    post(ledger, i % 2 ? C2 : C1, k % 28 + 1);
            });
        }
        QVERIFY(QTest::qWaitFor([&] { return posted >= 100; }, 120000));
        const QSet<QString> before = movements(b.db()); // each one acknowledged, or about to be
        const int postedBefore = posted;
        QTemporaryDir dir;
        const QString copy = dir.filePath("copia.db");
        Captured out, err;
        QCOMPARE(server::runBackupCommand(b.storage().url(), copy, out.file, err.file), 0);
        const int postedDuring = posted - postedBefore;
        QVERIFY(QTest::qWaitFor([&] { return posted >= postedBefore + postedDuring + 100; }, 120000));
        stop = true;
        for (std::thread &client : clients)
            client.join();
        qInfo("%d postings acknowledged during the copy: %s", postedDuring, qPrintable(out.text()));
        QVERIFY2(out.text().startsWith("cópia íntegra de "), qPrintable(out.text()));
        QCOMPARE(err.text(), QString());
        QCOMPARE(contents(dir.path()).keys(), QStringList{"copia.db"}); // nothing left beside it

        QSet<QString> copied;
        {
            const server::Storage backup(copy);
            copied = movements(backup.connection());
            const auto difference = server::verifyChains(backup.connection()).difference;
            QVERIFY2(!difference, qPrintable(difference.value_or(QString())));
        }
        QVERIFY2(copied.contains(before), qPrintable(QString::number((before - copied).size()) + " lançamentos faltam"));

        // Put back as docs/operations.md tells: the servers stopped, the copy over the file,
        // its log and shared memory removed; then the ledger recalculates on it and verifies.
        const QString database = b.storage().url();
        b.db().close();
        for (const QString &file : {database, database + "-wal", database + "-shm"})
            QFile::remove(file);
        QVERIFY(QFile::copy(copy, database));
        QCOMPARE(movements(b.db()), copied);
        for (const QString &client : {C1, C2}) {
            const server::Outcome o = ledger.setAtualizaCons(
                {"0001", client, "", fw::dateTimeToCbor(QDateTime(QDate(2026, 1, 1), QTime(0, 0))), "0007"}, Who);
            QVERIFY(!o.failed() && QCborValue::fromCbor(o.result).toMap().value(QLatin1String("ok")).toBool());
        }
        const server::ChainReport report = server::verifyChains(b.db());
        QVERIFY2(!report.difference, qPrintable(report.difference.value_or(QString())));
        QCOMPARE(report.accounts, 2);
    }

    // Refused with nothing created or changed, and the reason said.
    void refusals_data()
    {
        QTest::addColumn<QString>("database"); // a file in the test's folder, or a URL
        QTest::addColumn<QString>("target");   // in that folder
        QTest::addColumn<QString>("says");
        QTest::newRow("target exists") << "ledger.db" << "existente.db" << "existente.db já existe; escolha outro nome";
        QTest::newRow("target is the database") << "ledger.db" << "ledger.db" << "sobre o próprio banco";
        QTest::newRow("PostgreSQL") << "postgresql://acc@127.0.0.1:5432/ledger" << "copia.db" << "para PostgreSQL, use pg_dump";
        QTest::newRow("no database file") << "sumiu.db" << "copia.db" << "sumiu.db não existe; confira --database";
        QTest::newRow("no target") << "ledger.db" << "" << "informe onde gravar a cópia: backup --to=ARQUIVO";
        QTest::newRow("no target folder") << "ledger.db" << "pasta/copia.db" << "confira a pasta e suas permissões";
    }
    void refusals()
    {
        QFETCH(QString, database);
        QFETCH(QString, target);
        QFETCH(QString, says);
        LedgerBackend b("sqlite");
        const QDir folder = QFileInfo(b.storage().url()).dir();
        QFile existing(folder.filePath("existente.db"));
        QVERIFY(existing.open(QIODevice::WriteOnly) && existing.write("de outro dia") > 0);
        existing.close();
        const auto before = contents(folder.path());
        Captured out, err;
        const int status = server::runBackupCommand(database.contains("://") ? database : folder.filePath(database),
                                                    target.isEmpty() ? target : folder.filePath(target), out.file, err.file);
        QCOMPARE(status, 1);
        QVERIFY2(err.text().contains(says), qPrintable(err.text()));
        QCOMPARE(out.text(), QString());
        QCOMPARE(contents(folder.path()), before);
    }
};

QTEST_GUILESS_MAIN(TestBackup)
#include "tst_backup.moc"
