#include "chain.h"
#include "chainverifier.h"
#include "ledger.h"
#include "ledgerbackend.h"
#include "postedledger.h"
#include "movementfields.h"
#include "schema.h"
#include "serverprocess.h"

#include <framework/data/protocol.h>
#include <framework/data/recordset.h>

#include <QCborMap>
#include <QJsonObject>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using server::verifyChains;

// Each account's history chained: what is changed behind the ledger's back is found and named,
// on SQLite and PostgreSQL.

class TestChain : public QObject
{
    Q_OBJECT

private slots:
    void tamperingIsFoundAndNamed_data()
    {
        QTest::addColumn<QString>("backend");
        QTest::addColumn<QStringList>("tampering");
        QTest::addColumn<bool>("withDigest");
        QTest::addColumn<QString>("named"); // empty: verifies
        const QString movement1 = "cliente " + C1 + ", lançamento 0000000001, campo ";
        const QString chain = "cliente " + C1 + ", entrada ";
        LedgerBackend::addRows([&](const QString &kind) {
            auto row = [&](const char *name) { return &(QTest::newRow(qPrintable(kind + ": " + name)) << kind); };
            *row("untouched") << QStringList{} << true << "";
            *row("a value") << QStringList{"UPDATE MOVICLIE SET VRMOVCLI = 1001 WHERE NRSEQMOVCLI = '0000000001' AND CDCLIENTE = '" + C1 + "'"}
                            << false << movement1 + "VRMOVCLI: gravado 1001, a cadeia diz 1000";
            *row("a date") << QStringList{"UPDATE MOVICLIE SET DTMOVCLI = DTMOVCLI + 1 WHERE NRSEQMOVCLI = '0000000001'"}
                           << false << movement1 + "DTMOVCLI";
            *row("an operator") << QStringList{"UPDATE MOVICLIE SET CDOPERADOR = '0012' WHERE NRSEQMOVCLI = '0000000001'"}
                                << false << movement1 + "CDOPERADOR";
            *row("a balance") << QStringList{"UPDATE MOVICLIE SET VRSALDOCONS = VRSALDOCONS + 5 WHERE NRSEQMOVCLI = '0000000002'"
                                             " AND CDCLIENTE = '" + C1 + "'"}
                              << false << "lançamento 0000000002, campo VRSALDOCONS";
            *row("a movement deleted") << QStringList{"DELETE FROM MOVICLIE WHERE NRSEQMOVCLI = '0000000002' AND CDCLIENTE = '" + C1 + "'"}
                                       << false << "lançamento 0000000002: apagado fora do servidor";
            *row("a history entry deleted") << QStringList{"DELETE FROM CADEIA WHERE NRSEQ = 2 AND CDCLIENTE = '" + C1 + "'"}
                                            << false << chain + "2 da cadeia: falta";
            *row("an entry inserted") << QStringList{"UPDATE CADEIA SET NRSEQ = NRSEQ + 10 WHERE NRSEQ > 1 AND CDCLIENTE = '" + C1 + "'",
                                                     "INSERT INTO CADEIA SELECT CDCLIENTE, 2, DTENTRADA, CDOPERADOR, CDTERMINAL,"
                                                     " DSOPERACAO, NRSEQMOVCLI, DSDADOS, DSHASH, DSHASH FROM CADEIA"
                                                     " WHERE NRSEQ = 1 AND CDCLIENTE = '" + C1 + "'"}
                                      << false << chain + "2 da cadeia";
            *row("two entries swapped") << QStringList{"UPDATE CADEIA SET NRSEQ = -NRSEQ WHERE NRSEQ IN (1, 2) AND CDCLIENTE = '" + C1 + "'",
                                                       "UPDATE CADEIA SET NRSEQ = CASE NRSEQ WHEN -1 THEN 2 ELSE 1 END WHERE NRSEQ < 0"}
                                        << false << chain + "1 da cadeia";
            const QString newest = "DELETE FROM CADEIA WHERE CDCLIENTE = '" + C1 + "' AND NRSEQ = (SELECT MAX(NRSEQ) FROM CADEIA"
                                   " WHERE CDCLIENTE = '" + C1 + "')";
            *row("the newest entry deleted, no digest") << QStringList{newest} << false << "";
            *row("the newest entry deleted, with a digest") << QStringList{newest} << true
                                                            << chain + "5 da cadeia: não estende mais o resumo guardado";
        });
    }
    void tamperingIsFoundAndNamed()
    {
        QFETCH(QString, backend);
        QFETCH(QStringList, tampering);
        QFETCH(bool, withDigest);
        QFETCH(QString, named);
        LedgerBackend b(backend);
        postThroughTheLedger(b);
        const QJsonObject digest = server::chainDigest(b.db());
        for (const QString &sql : tampering)
            b.exec(sql);
        const server::ChainReport report = verifyChains(b.db(), {}, withDigest ? std::optional(digest) : std::nullopt);
        QVERIFY2(named.isEmpty() ? !report.difference : report.difference.value_or("").contains(named),
                 qPrintable(report.difference.value_or("(nada)")));
        if (!report.difference)
            QCOMPARE(report.accounts, 2);
    }

    // The commands as a store's IT runs them: exit 0 and a summary, or 3 and the difference first.
    void verifyAndDigestCommands_data()
    {
        QTest::addColumn<QString>("tampering");
        QTest::addColumn<bool>("withDigest");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("firstLine");
        QTest::newRow("intact") << "" << true << 0 << "cadeias íntegras: 2 contas, 6 entradas";
        QTest::newRow("a value changed") << "UPDATE MOVICLIE SET VRMOVCLI = 7 WHERE CDCLIENTE = '" + C2 + "'" << false << 3
                                         << "cliente " + C2 + ", lançamento 0000000001, campo VRMOVCLI: gravado 7, a cadeia diz 1000";
        QTest::newRow("the newest entry deleted") << "DELETE FROM CADEIA WHERE CDCLIENTE = '" + C1 + "' AND NRSEQ = 5" << true << 3
                                                  << "cliente " + C1 + ", entrada 5 da cadeia: não estende mais o resumo guardado"
                                                     " (entradas recentes apagadas ou reescritas)";
    }
    void verifyAndDigestCommands()
    {
        QFETCH(QString, tampering);
        QFETCH(bool, withDigest);
        QFETCH(int, status);
        QFETCH(QString, firstLine);
        LedgerBackend b("sqlite");
        postThroughTheLedger(b);
        auto server = [&](const QStringList &args) {
            const CommandRun run = runServerCommand(ACC00420_SERVER_PATH, b.storage().url(), args);
            return std::pair{run.status, run.out};
        };
        QTemporaryDir dir;
        QFile digest(dir.filePath("digest.json"));
        QVERIFY(digest.open(QIODevice::WriteOnly));
        digest.write(server({"digest"}).second.toUtf8());
        digest.close();
        if (!tampering.isEmpty())
            b.exec(tampering);
        const auto [exitCode, output] = server(withDigest ? QStringList{"verify", "--digest=" + digest.fileName()} : QStringList{"verify"});
        QCOMPARE(exitCode, status);
        QCOMPARE(output.section(u'\n', 0, 0), firstLine);
    }

    // The example docs/ledger.md gives an auditor.
    void theDocumentedExampleHashes()
    {
        server::ChainEntry e{1, 1795176000000, "0007", "caixa-3", "insert", "0000000001",
                             R"({"CDCLIENTE":"000000000000000000001","NRSEQMOVCLI":"0000000001","VRMOVCLI":1000})", {}, {}};
        e.previous = server::chainOrigin(C1);
        QCOMPARE(e.previous, QStringLiteral("f625bb8a602bafc19e3299863df48cec21dfb2e54f41a1387f0c38661ee0966b"));
        QCOMPARE(server::chainHash(C1, e), QStringLiteral("54411e00f93192b8d2588009163e2c297dd1d790af37347c72d6dddad7b3251d"));
        QCOMPARE(server::canonicalJson(QJsonObject{{"VRMOVCLI", 1000}, {"CDCLIENTE", C1}, {"NRSEQMOVCLI", "0000000001"}}), e.data);
    }

    // A ledger from before the chain gets one opening entry per account, and then verifies;
    // what changes behind the ledger's back after that is found as in any chain.
    void aMigratedLedgerVerifies_data()
    {
        QTest::addColumn<QString>("backend");
        QTest::addColumn<QString>("tampering");
        QTest::addColumn<QString>("named"); // empty: verifies
        LedgerBackend::addRows([](const QString &kind) {
            QTest::newRow(qPrintable(kind + ": untouched")) << kind << "" << "";
            QTest::newRow(qPrintable(kind + ": a text")) << kind
                << "UPDATE MOVICLIE SET DSHISTMOV = 'Almoço' WHERE NRSEQMOVCLI = '0000000002' AND CDCLIENTE = '" + C1 + "'"
                << "lançamento 0000000002, campo DSHISTMOV: gravado \"Almoço\"";
            QTest::newRow(qPrintable(kind + ": a movement added")) << kind
                << "INSERT INTO MOVICLIE SELECT CDCLIENTE, '0000000009', CDFILIAL, CDCONSUMIDOR, VRMOVCLI, DTMOVCLI, DSHISTMOV,"
                   " IDTIPMOCVLI, NRSEQVENDA, CDCAIXA, DTABERCAIX, CDTIPORECE, VRMOVPESCONS, VRSALDPECONS, VRSALDOCONS,"
                   " DTATUMOVCLIE, CDOPERADOR, DSATUMOVCLIE, DTRECMOVCLIE, CDOPERRECA, TIPO, DTMOVIMCLIE, NRVERSAO FROM MOVICLIE"
                   " WHERE NRSEQMOVCLI = '0000000001' AND CDCLIENTE = '" + C2 + "'"
                << "lançamento 0000000009: não consta da cadeia";
        });
    }
    // The columns the chain's heads and the versions brought, taken off again.
    static void backToBeforeTheHeads(LedgerBackend &b)
    {
        if (b.storage().kind() == fw::DatabaseUrl::Kind::PostgreSQL)
            b.exec("DROP TRIGGER NUMMOVCLIE_MUDOU ON NUMMOVCLIE");
        b.exec("DROP INDEX MOVICLIE_VERSAO");
        b.exec("ALTER TABLE MOVICLIE DROP COLUMN NRVERSAO");
        b.exec("ALTER TABLE NUMMOVCLIE DROP COLUMN NRVERSAOCOMPLETA");
        b.exec("ALTER TABLE NUMMOVCLIE DROP COLUMN NRSEQCADEIA");
        b.exec("ALTER TABLE NUMMOVCLIE DROP COLUMN DSHASHCADEIA");
    }

    void aMigratedLedgerVerifies()
    {
        QFETCH(QString, backend);
        QFETCH(QString, tampering);
        QFETCH(QString, named);
        LedgerBackend b(backend);
        postThroughTheLedger(b);
        b.exec("DROP TABLE CADEIA");
        backToBeforeTheHeads(b);
        b.exec("DELETE FROM SCHEMAVERSAO WHERE NRVERSAO >= 4");
        QCOMPARE(server::migrate(b.db(), b.storage().kind()), 7);
        if (!tampering.isEmpty())
            b.exec(tampering);
        const server::ChainReport report = verifyChains(b.db());
        QVERIFY2(named.isEmpty() ? !report.difference : report.difference.value_or("").contains(named),
                 qPrintable(report.difference.value_or("(nada)")));
        if (named.isEmpty())
            QCOMPARE(report.entries, 2); // one seal per account
    }

    // A ledger whose chains were kept before their heads were: it goes on appending to them.
    void aChainedLedgerMigratedGoesOn_data()
    {
        QTest::addColumn<QString>("backend");
        LedgerBackend::addRows([](const QString &kind) { QTest::newRow(qPrintable(kind)) << kind; });
    }
    void aChainedLedgerMigratedGoesOn()
    {
        QFETCH(QString, backend);
        LedgerBackend b(backend);
        postThroughTheLedger(b);
        backToBeforeTheHeads(b);
        b.exec("DELETE FROM SCHEMAVERSAO WHERE NRVERSAO >= 5");
        QCOMPARE(server::migrate(b.db(), b.storage().kind()), 7);
        post(server::Ledger(b.storage()), C1, 4);
        const server::ChainReport report = verifyChains(b.db());
        QVERIFY2(!report.difference, qPrintable(report.difference.value_or("")));
        QCOMPARE(report.entries, 7);
    }
};

QTEST_GUILESS_MAIN(TestChain)
#include "tst_chain.moc"
