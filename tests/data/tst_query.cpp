#include <framework/data/adoibquery.h>
#include <framework/data/dbgeral.h>

#include "ledgerbackend.h"
#include "sharedclients.h"

#include <QCoreApplication>
#include <QSqlQuery>
#include <QUrl>
#include <QTemporaryDir>
#include <QTest>

using namespace fw;

// The screen's client look-up, verbatim, over a small shared database.
static const char *const clientSql =
    "SELECT CF.CDCLIENTE, CL.NRINSJURCLIE, CL.IDTPIJURCLIE, CL.NMFANTCLIE\n"
    "  FROM CLIENTE CL, CLIENFILIAL CF\n"
    " WHERE (CF.CDFILIAL  = :P_CDFILIAL)\n"
    "   AND (CF.CDCLIENTE = CL.CDCLIENTE)\n"
    "   AND ((CL.NRINSJURCLIE = :P_NRINSJURCLIE) OR (:P_TNRINSJURCLIE = 'T'))\n"
    " ORDER BY CF.CDCLIENTE ";

class TestQuery : public QObject
{
    Q_OBJECT
private:
    QTemporaryDir m_dir;

    void exec(const QString &sql) { writeShared(m_dir.filePath("shared.db"), {sql}); }

    void clientQuery(TADOIBQuery &query)
    {
        query.setObjectName("qryCliente");
        query.addField({"NRINSJURCLIE", FieldType::String, 20, "Inscrição"});
        query.addField({"CDCLIENTE", FieldType::String, 21});
        query.addField({"IDTPIJURCLIE", FieldType::String, 1});
        query.addField({"NMFANTCLIE", FieldType::String, 50, "Nome"});
        query.setSql(QLatin1String(clientSql));
    }

private slots:
    void initTestCase()
    {
        exec("CREATE TABLE CLIENTE (CDCLIENTE VARCHAR(21) PRIMARY KEY, NRINSJURCLIE VARCHAR(20), "
             "IDTPIJURCLIE CHAR(1), NMFANTCLIE VARCHAR(50))");
        exec("CREATE TABLE CLIENFILIAL (CDFILIAL VARCHAR(4), CDCLIENTE VARCHAR(21))");
        exec("INSERT INTO CLIENTE VALUES ('000000000000000000002', '52998224725', 'F', 'João'),"
             " ('000000000000000000001', '11222333000181', 'J', 'Cantina Ltda'),"
             " ('000000000000000000003', '52998224725', 'F', 'João (2)'),"
             " ('000000000000000000004', '39053344705', 'F', 'Só na 0002')");
        exec("INSERT INTO CLIENFILIAL VALUES ('0001', '000000000000000000001'),"
             " ('0001', '000000000000000000002'), ('0001', '000000000000000000003'),"
             " ('0002', '000000000000000000004')");
        dtmDBGeral().open(m_dir.filePath("shared.db"));
    }
    void cleanupTestCase() { dtmDBGeral().close(); }

    void lookUp_data()
    {
        QTest::addColumn<QString>("branch");
        QTest::addColumn<QString>("number");
        QTest::addColumn<QString>("all");
        QTest::addColumn<QStringList>("clients");
        QTest::newRow("every client of the branch, by code")
            << "0001" << "" << "T" << QStringList{"Cantina Ltda", "João", "João (2)"};
        QTest::newRow("one number, lowest code first") << "0001" << "52998224725" << "" << QStringList{"João", "João (2)"};
        QTest::newRow("registered at another branch only") << "0001" << "39053344705" << "" << QStringList{};
        QTest::newRow("quote in the value is data") << "0001" << "x' OR '1'='1" << "" << QStringList{};
    }
    void lookUp()
    {
        QFETCH(QString, branch);
        QFETCH(QString, number);
        QFETCH(QString, all);
        QFETCH(QStringList, clients);
        TADOIBQuery query;
        clientQuery(query);
        query.Close();
        query.ParamByName("P_CDFILIAL").setAsString(branch);
        query.ParamByName("P_NRINSJURCLIE").setAsString(number);
        query.ParamByName("P_TNRINSJURCLIE").setAsString(all);
        query.Open();
        QCOMPARE(query.IsEmpty(), clients.isEmpty());
        QStringList names;
        for (query.first(); !query.eof(); query.next())
            names.append(query.FieldByName("NMFANTCLIE").asString());
        QCOMPARE(names, clients);
        if (!clients.isEmpty()) {
            query.first();
            QCOMPARE(query.FieldByName("NRINSJURCLIE").displayLabel(), QStringLiteral("Inscrição"));
        }
    }

    void paramsComeFromTheText()
    {
        TADOIBQuery query;
        clientQuery(query);
        QCOMPARE(query.paramNames(), (QStringList{"P_CDFILIAL", "P_NRINSJURCLIE", "P_TNRINSJURCLIE"}));
        QVERIFY_THROWS_EXCEPTION(DataSetError, query.ParamByName("P_OUTRO"));
        TADOIBQuery cast;
        cast.setSql("SELECT '10:30' AS T, CAST(1 AS INTEGER)::TEXT FROM X WHERE A = :P_A");
        QCOMPARE(cast.paramNames(), QStringList{"P_A"});
    }

    void failingQuerySaysWhy()
    {
        TADOIBQuery query;
        query.setSql("SELECT NOPE FROM NOWHERE");
        QVERIFY_THROWS_EXCEPTION(DatabaseError, query.Open());
        QVERIFY(!query.active());
    }

    // The screens' look-ups and reports read the shared ledger database and never write it: the
    // SQLite file is opened read-only, and on PostgreSQL the role of docs/security.md can't.
    void theSharedDatabaseTakesNoWrite_data()
    {
        QTest::addColumn<QString>("backend");
        LedgerBackend::addRows([](const QString &kind) { QTest::newRow(qPrintable(kind)) << kind; });
    }
    void theSharedDatabaseTakesNoWrite()
    {
        QFETCH(QString, backend);
        LedgerBackend b(backend);
        QUrl url(b.storage().url());
        const QString role = QStringLiteral("acc00420_leitura_%1").arg(QCoreApplication::applicationPid());
        if (backend == "postgresql") {
            b.exec("CREATE ROLE " + role + " LOGIN");
            b.exec("GRANT USAGE ON SCHEMA public TO " + role);
            b.exec("GRANT SELECT ON CLIENTE, CLIENFILIAL, CONSUMIDOR, FILIAL, MOVICLIE TO " + role);
            b.exec("GRANT SELECT (CDOPERADOR, NMOPERADOR) ON OPERADOR TO " + role);
            url.setUserName(role);
        }
        dtmDBGeral().open(url.toString());
        {
            QSqlQuery q(dtmDBGeral().database());
            QVERIFY(q.exec("SELECT COUNT(*) FROM MOVICLIE M JOIN OPERADOR O ON O.CDOPERADOR = M.CDOPERADOR"));
            QVERIFY(!q.exec("INSERT INTO FILIAL VALUES ('0009', 'Intrusa')"));
            if (backend == "postgresql")
                QVERIFY(!q.exec("SELECT DSSENHA FROM OPERADOR"));
        }
        dtmDBGeral().open(m_dir.filePath("shared.db"));
        if (backend == "postgresql") {
            b.exec("DROP OWNED BY " + role);
            b.exec("DROP ROLE " + role);
        }
    }

    void fieldsFromColumnsWhenNoneDeclared()
    {
        TADOIBQuery query;
        query.setSql("SELECT CDCLIENTE FROM CLIENTE WHERE (CDCLIENTE = :P_CDCLIENTE)");
        query.ParamByName("P_CDCLIENTE").setAsString("000000000000000000004");
        query.Open();
        QVERIFY(!query.IsEmpty());
        QCOMPARE(query.FieldByName("CDCLIENTE").asString(), QStringLiteral("000000000000000000004"));
    }
};

QTEST_GUILESS_MAIN(TestQuery)
#include "tst_query.moc"
