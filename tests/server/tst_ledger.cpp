#include <framework/data/datapacket.h>
#include "ledger.h"
#include "ledgerbackend.h"
#include "publishedledger.h"
#include "rowcursor.h"
#include "schema.h"
#include "movementfields.h"
#include <framework/data/protocol.h>
#include <framework/data/recordset.h>

#include <QCborMap>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMutex>
#include <QRegularExpression>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <cmath>

#include <set>

using namespace server;

namespace {

const QString C1 = QString(20, u'0') + "1";
const QString C2 = QString(20, u'0') + "2";
const QString K1 = QString(20, u'0') + "1";
const QString K2 = QString(20, u'0') + "2";

qint64 day(int d, int hour = 12)
{
    return QDateTime(QDate(2026, 11, d), QTime(hour, 0)).toMSecsSinceEpoch();
}

QCborValue at(qint64 msecs)
{
    return fw::dateTimeToCbor(QDateTime::fromMSecsSinceEpoch(msecs));
}

// Branches, an operator, C1 at branch 0001 with a subsidised consumer K1 and a plain K2, and
// C2 registered at branch 0002 only.
void seed(LedgerBackend &b)
{
    b.exec("INSERT INTO FILIAL VALUES ('0001', 'Matriz'), ('0002', 'Filial')");
    b.exec("INSERT INTO OPERADOR (CDOPERADOR, NMOPERADOR) VALUES ('0007', 'Maria Aparecida'), ('0001', 'Ana')");
    b.exec("INSERT INTO CLIENTE VALUES (?, '11222333000181', 'J', 'Cantina'), (?, '52998224725', 'F', 'João')", {C1, C2});
    b.exec("INSERT INTO CLIENFILIAL VALUES ('0001', ?), ('0002', ?)", {C1, C2});
    b.exec("INSERT INTO CONSUMIDOR VALUES (?, ?, 'Ana Costa', 3000, 15000), (?, ?, 'Bruno', NULL, NULL),"
           " (?, ?, 'Zé', NULL, NULL)", {C1, K1, C1, K2, C2, K1});
    b.exec("INSERT INTO CONSFILIAL VALUES (?, ?, '0001'), (?, ?, '0001'), (?, ?, '0002')", {C1, K1, C1, K2, C2, K1});
}

void movement(LedgerBackend &b, const QString &number, qint64 when, const char *type, qint64 company,
              qint64 personal = 0, const QString &consumer = K1)
{
    b.exec("INSERT INTO MOVICLIE (CDCLIENTE, NRSEQMOVCLI, CDFILIAL, CDCONSUMIDOR, VRMOVCLI, DTMOVCLI,"
           " IDTIPMOCVLI, VRMOVPESCONS, CDOPERADOR, TIPO) VALUES (?, ?, '0001', ?, ?, ?, ?, ?, '0001', 'M')",
           {C1, number, consumer, company, when, QLatin1String(type), personal});
}

bool okOf(const Outcome &o, QString *message = nullptr, QCborValue *payload = nullptr)
{
    const QCborMap envelope = QCborValue::fromCbor(o.result).toMap();
    if (message)
        *message = envelope.value(QLatin1String("message")).toString();
    if (payload)
        *payload = envelope.value(QLatin1String("payload"));
    return envelope.value(QLatin1String("ok")).toBool();
}

// The statement as the screen loads it.
void load(fw::RecordSet &set, const Outcome &o)
{
    QCborValue payload;
    QVERIFY(okOf(o, nullptr, &payload));
    set.loadFromPacket(payload.toCbor());
}

struct Entry
{
    QString number;
    QString type = "D";
    double company = 10;
    double personal = 0;
    QString history;
    QString consumer = K1;
};

// A new movement posted on a record set, as the screen posts it; the delta is what it sends.
QCborMap insertDelta(const Entry &e, fw::RecordSet &set)
{
    set.createDataSet();
    set.insert();
    set.fieldByName("CDCLIENTE").setAsString(C1);
    set.fieldByName("NRSEQMOVCLI").setAsString(e.number);
    set.fieldByName("CDFILIAL").setAsString("0001");
    if (!e.consumer.isEmpty())
        set.fieldByName("CDCONSUMIDOR").setAsString(e.consumer);
    set.fieldByName("IDTIPMOCVLI").setAsString(e.type);
    set.fieldByName("VRMOVCLI").setAsFloat(e.company);
    set.fieldByName("VRMOVPESCONS").setAsFloat(e.personal);
    set.fieldByName("DTMOVCLI").setAsDateTime(QDateTime::fromMSecsSinceEpoch(day(20)));
    set.fieldByName("CDOPERADOR").setAsString("0007");
    if (!e.history.isNull())
        set.fieldByName("DSHISTMOV").setValue(e.history);
    set.post();
    return set.deltaPacket();
}

// The next movement number of C1, as the screen gets it.
QString handOut(Ledger &ledger)
{
    return QCborValue::fromCbor(ledger.getPrxMovClie({C1}).result).toString();
}

// The balance rule's worked example, recalculated from day 3 on.
void workedExample(LedgerBackend &b)
{
    movement(b, "0000000001", day(1), "C", 10000);        // before the start: +100.00
    movement(b, "0000000002", day(2), "D", 3000, 700);    // before the start: -30.00, personal -7.00
    movement(b, "0000000003", day(3), "D", 2000, 500);    // 50.00, personal -12.00
    movement(b, "0000000004", day(4), "A", 500);          // 45.00
    movement(b, "0000000005", day(5), "X", 100000, 9900); // cancelled: counts zero
    movement(b, "0000000006", day(6), "C", 1000, 1200);   // 55.00, personal 0.00
}

int count(LedgerBackend &b, const QString &sql, std::initializer_list<QVariant> values = {})
{
    QSqlQuery q = run(b.db(), sql, values);
    return q.next() ? q.value(0).toInt() : -1;
}

} // namespace

class TestLedger : public QObject
{
    Q_OBJECT

    void backends()
    {
        QTest::addColumn<QString>("backend");
        LedgerBackend::addRows([](const QString &kind) { QTest::newRow(qPrintable(kind)) << kind; });
    }

private slots:
    void balanceRule_data() { backends(); }
    void balanceRule()
    {
        QFETCH(QString, backend);
        LedgerBackend b(backend);
        seed(b);
        workedExample(b);
        Ledger ledger(b.storage());
        QCborValue payload;
        QVERIFY(okOf(ledger.setAtualizaCons({"0001", C1, K1, at(day(3, 0)), "0007"}), nullptr, &payload));
        QCOMPARE(payload, QCborValue(true));

        fw::RecordSet statement;
        acc00420::defineMovementFields(statement);
        load(statement, ledger.getMovCliente({"", "T", C1, at(day(3, 0))}));
        QCOMPARE(statement.recordCount(), 4);
        const QList<double> company{50, 45, 45, 55};
        const QList<double> personal{-12, -12, -12, 0};
        for (int i = 0; i < 4; ++i) {
            statement.setRecNo(i);
            QCOMPARE(statement.fieldByName("VRSALDOCONS").asFloat(), company[i]);
            QCOMPARE(statement.fieldByName("VRSALDPECONS").asFloat(), personal[i]);
            QVERIFY(!statement.fieldByName("DTRECMOVCLIE").isNull());
            QCOMPARE(statement.fieldByName("OPERARECA").asString(), QStringLiteral("Maria Aparecida"));
        }
        QCOMPARE(count(b, "SELECT COUNT(*) FROM MOVICLIE WHERE DTRECMOVCLIE IS NULL"), 2); // before the start
    }

    // The largest amount is kept to the cent; balances that would leave 64 bits are refused
    // and leave the stored ones as they were.
    void amountsAtTheLimits_data() { backends(); }
    void amountsAtTheLimits()
    {
        QFETCH(QString, backend);
        LedgerBackend b(backend);
        seed(b);
        Ledger ledger(b.storage());
        fw::RecordSet set;
        acc00420::defineMovementFields(set);
        QVERIFY(okOf(ledger.SetMovCliente({insertDelta({handOut(ledger), "C", 9999999999999.99}, set)})));
        QCOMPARE(count(b, "SELECT COUNT(*) FROM MOVICLIE WHERE VRMOVCLI = 999999999999999"), 1);

        // Ten credits whose sum leaves 64 bits.
        for (int i = 2; i <= 11; ++i)
            movement(b, QString::number(i).rightJustified(10, u'0'), day(i), "C", 1000000000000000000);
        for (const int start : {1, 20}) { // summed in the server, or before the start by the database
            QString message;
            QCborValue recalculated;
            okOf(ledger.setAtualizaCons({"0001", C1, "", at(day(start, 0)), "0007"}), &message, &recalculated);
            QCOMPARE(recalculated, QCborValue(false));
            QVERIFY2(message.contains("Saldos não recalculados: o saldo excede"), qPrintable(message));
            QCOMPARE(count(b, "SELECT COUNT(*) FROM MOVICLIE WHERE VRSALDOCONS <> 0"), 0);
        }
    }

    // A second recalculation rewrites, stamps and versions only the movements whose balances
    // it changes, and its chain entry says what it counted and where it ended; one that changes
    // nothing adds no entry and leaves the account's version as it was. One that changes most of
    // the account marks it for a whole reload instead of versioning the rows.
    void recalculationRewritesOnlyWhatChanged_data()
    {
        QTest::addColumn<QString>("backend");
        QTest::addColumn<QString>("cancelled"); // after the first recalculation
        QTest::addColumn<bool>("posted");       // a credit of 1.00 on day 7, after it too
        QTest::addColumn<bool>("zeroed");       // every stored balance, after it too
        QTest::addColumn<QStringList>("rewritten");
        QTest::addColumn<int>("entries"); // the second recalculation adds to the chain
        QTest::addColumn<int>("counted");
        QTest::addColumn<qint64>("company");
        QTest::addColumn<bool>("marked"); // the account, instead of its rows
        LedgerBackend::addRows([](const QString &kind) {
            QTest::newRow(qPrintable(kind + ": balances already right"))
                << kind << QString() << false << false << QStringList() << 0 << 4 << qint64(5500) << false;
            QTest::newRow(qPrintable(kind + ": one cancelled in the middle"))
                << kind << "0000000004" << false << false << QStringList{"0000000004", "0000000005", "0000000006"} << 1 << 4
                << qint64(6000) << false;
            QTest::newRow(qPrintable(kind + ": one posted at the end"))
                << kind << QString() << true << false << QStringList{"0000000007"} << 1 << 5 << qint64(5600) << false;
            QTest::newRow(qPrintable(kind + ": most balances wrong"))
                << kind << QString() << false << true << QStringList{"0000000003", "0000000004", "0000000005", "0000000006"} << 1
                << 4 << qint64(5500) << true;
        });
    }
    void recalculationRewritesOnlyWhatChanged()
    {
        QFETCH(QString, backend);
        QFETCH(QString, cancelled);
        QFETCH(bool, posted);
        QFETCH(bool, zeroed);
        QFETCH(QStringList, rewritten);
        QFETCH(int, entries);
        QFETCH(int, counted);
        QFETCH(qint64, company);
        QFETCH(bool, marked);
        LedgerBackend b(backend);
        seed(b);
        workedExample(b);
        Ledger ledger(b.storage());
        QVERIFY(okOf(ledger.setAtualizaCons({"0001", C1, "", at(day(3, 0)), "0007"})));
        b.exec("UPDATE MOVICLIE SET IDTIPMOCVLI = 'X' WHERE NRSEQMOVCLI = ?", {cancelled});
        if (posted)
            movement(b, "0000000007", day(7), "C", 100);
        if (zeroed)
            b.exec("UPDATE MOVICLIE SET VRSALDOCONS = 0, VRSALDPECONS = 0");
        const int version = count(b, "SELECT NRSEQCADEIA FROM NUMMOVCLIE WHERE CDCLIENTE = ?", {C1});
        QVERIFY(okOf(ledger.setAtualizaCons({"0001", C1, "", at(day(3, 0)), "0001"})));
        QCOMPARE(count(b, "SELECT NRSEQCADEIA FROM NUMMOVCLIE WHERE CDCLIENTE = ?", {C1}), version + entries);

        QStringList stamped, versioned;
        QSqlQuery rows = run(b.db(), "SELECT NRSEQMOVCLI, CDOPERRECA, NRVERSAO > ? FROM MOVICLIE ORDER BY NRSEQMOVCLI",
                             {version});
        while (rows.next()) {
            if (rows.value(1).toString() == "0001")
                stamped << rows.value(0).toString();
            if (rows.value(2).toBool())
                versioned << rows.value(0).toString();
        }
        QCOMPARE(stamped, rewritten);
        QCOMPARE(versioned, marked ? QStringList() : rewritten);
        QCOMPARE(count(b, "SELECT NRVERSAOCOMPLETA FROM NUMMOVCLIE WHERE CDCLIENTE = ?", {C1}) > version, marked);
        QSqlQuery last = run(b.db(), "SELECT DSDADOS FROM CADEIA WHERE CDCLIENTE = ? ORDER BY NRSEQ DESC", {C1});
        QVERIFY(last.next());
        const QJsonObject recorded = QJsonDocument::fromJson(last.value(0).toByteArray()).object();
        QCOMPARE(recorded.value("LANCAMENTOS").toInt(), counted);
        QCOMPARE(recorded.value("VRSALDOCONS").toInteger(), company);
        QCOMPARE(recorded.value("VRSALDPECONS").toInteger(), qint64(0));
        // The rows rewritten carry in the balances of those before them that were right.
        QCOMPARE(count(b, "SELECT VRSALDOCONS FROM MOVICLIE ORDER BY DTMOVCLI DESC, NRSEQMOVCLI DESC LIMIT 1"), int(company));
    }

    void aDatabaseFailureSaysWhatToDoAndLogsItsDetail_data()
    {
        QTest::addColumn<QString>("backend");
        QTest::addColumn<QString>("method");
        QTest::addColumn<QString>("table"); // taken from under it
        LedgerBackend::addRows([](const QString &kind) {
            QTest::newRow(qPrintable(kind + ", a read")) << kind << "getConsumidor" << "CONSUMIDOR";
            QTest::newRow(qPrintable(kind + ", a recalculation")) << kind << "setAtualizaCons" << "MOVICLIE";
            QTest::newRow(qPrintable(kind + ", a number")) << kind << "getPrxMovClie" << "NUMMOVCLIE";
        });
    }
    void aDatabaseFailureSaysWhatToDoAndLogsItsDetail()
    {
        QFETCH(QString, backend);
        QFETCH(QString, method);
        QFETCH(QString, table);
        LedgerBackend b(backend);
        seed(b);
        Ledger ledger(b.storage());
        b.exec("ALTER TABLE " + table + " RENAME TO FORA");
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("falha no banco de dados: falha ao .+: .+"));
        QString told;
        if (method == "getPrxMovClie") {
            const Outcome o = ledger.getPrxMovClie({C1});
            QCOMPARE(o.errorCode, QStringLiteral("database-error"));
            told = o.errorMessage;
        } else {
            okOf(method == "getConsumidor" ? ledger.getConsumidor({C1, "", "T", "0001"})
                                           : ledger.setAtualizaCons({"0001", C1, "", at(day(1, 0)), "0007"}),
                 &told);
        }
        QVERIFY2(told.contains("tente de novo em instantes"), qPrintable(told));
        // The driver's text stays in the log.
        for (const QString &detail : {table, QStringLiteral("QPSQL"), QStringLiteral("no such table")})
            QVERIFY2(!told.contains(detail, Qt::CaseInsensitive), qPrintable(told));
    }

    void recalculatingAnUnknownClientAnswersFalse_data() { backends(); }
    void recalculatingAnUnknownClientAnswersFalse()
    {
        QFETCH(QString, backend);
        LedgerBackend b(backend);
        Ledger ledger(b.storage());
        QCborValue payload;
        QVERIFY(okOf(ledger.setAtualizaCons({"0001", "nobody", "", at(day(1)), "0007"}), nullptr, &payload));
        QCOMPARE(payload, QCborValue(false));
    }

    void statementFieldsAndOrder_data() { backends(); }
    void statementFieldsAndOrder()
    {
        QFETCH(QString, backend);
        LedgerBackend b(backend);
        seed(b);
        movement(b, "0000000002", day(10), "D", 1234, 0, K1);
        movement(b, "0000000001", day(10), "C", 500, 0, K2); // same moment: the number decides
        movement(b, "0000000003", day(11), "D", 100, 0, K2);
        Ledger ledger(b.storage());
        fw::RecordSet all;
        acc00420::defineMovementFields(all);
        load(all, ledger.getMovCliente({"", "T", C1, at(day(1))}));
        QCOMPARE(all.recordCount(), 3);
        QCOMPARE(all.fieldByName("NRSEQMOVCLI").asString(), QStringLiteral("0000000001"));
        QCOMPARE(all.fieldByName("NMCONSUMIDOR").asString(), QStringLiteral("Bruno"));
        QCOMPARE(all.fieldByName("NMOPERADOR").asString(), QStringLiteral("Ana"));
        QVERIFY(all.fieldByName("VRPESUBSIDIO").isNull());
        all.next();
        QCOMPARE(all.fieldByName("VRMOVCLI").asFloat(), 12.34);
        QCOMPARE(all.fieldByName("VRPESUBSIDIO").asFloat(), 30.0);
        QCOMPARE(all.fieldByName("VRTETOSUBSID").asFloat(), 150.0);
        QCOMPARE(all.fieldByName("DTMOVCLI").asDateTime().toMSecsSinceEpoch(), day(10));

        fw::RecordSet one;
        acc00420::defineMovementFields(one);
        load(one, ledger.getMovCliente({K2, "", C1, at(day(1))}));
        QCOMPARE(one.recordCount(), 2);
        load(one, ledger.getMovCliente({K2, "", C1, at(day(11, 0))}));
        QCOMPARE(one.recordCount(), 1);
    }

    // Rows another program wrote into the SQLite file: a real amount and text that is not
    // UTF-8 still make a statement the client takes.
    void foreignRowsStillMakeAStatement()
    {
        LedgerBackend b("sqlite");
        seed(b);
        movement(b, "0000000001", day(10), "C", 0);
        b.exec("UPDATE MOVICLIE SET VRMOVCLI = 1234.99, DSHISTMOV = CAST(X'4361C3' AS TEXT)");
        Ledger ledger(b.storage());
        fw::RecordSet statement;
        acc00420::defineMovementFields(statement);
        load(statement, ledger.getMovCliente({"", "T", C1, at(day(1))}));
        QCOMPARE(statement.recordCount(), 1);
        QCOMPARE(statement.fieldByName("VRMOVCLI").asFloat(), 12.35);
        QCOMPARE(statement.fieldByName("DSHISTMOV").asString(), QStringLiteral("Ca\uFFFD"));
    }

    void consumersOfTheBranch_data() { backends(); }
    void consumersOfTheBranch()
    {
        QFETCH(QString, backend);
        LedgerBackend b(backend);
        seed(b);
        Ledger ledger(b.storage());
        auto codes = [&](const QCborArray &args) {
            fw::RecordSet set;
            QCborValue payload;
            okOf(ledger.getConsumidor(args), nullptr, &payload);
            set.loadFromPacket(payload.toCbor());
            QStringList list;
            for (set.first(); !set.eof(); set.next())
                list.append(set.fieldByName("NMCONSUMIDOR").asString());
            return list;
        };
        QCOMPARE(codes({C1, "", "T", "0001"}), (QStringList{"Ana Costa", "Bruno"}));
        QCOMPARE(codes({C1, K2, "", "0001"}), QStringList{"Bruno"});
        QCOMPARE(codes({C1, "999", "", "0001"}), QStringList{});
        QCOMPARE(codes({C2, "", "T", "0001"}), QStringList{}); // registered at another branch
    }

    void numbersAreHandedOutOnceUnderConcurrency_data() { backends(); }
    void numbersAreHandedOutOnceUnderConcurrency()
    {
        QFETCH(QString, backend);
        LedgerBackend b(backend);
        seed(b);
        Ledger ledger(b.storage());
        QMutex mutex;
        std::multiset<QString> numbers;
        QList<QThread *> threads;
        for (int t = 0; t < 4; ++t) {
            threads.append(QThread::create([&] {
                for (int i = 0; i < 25; ++i) {
                    const Outcome o = ledger.getPrxMovClie({C1});
                    QMutexLocker lock(&mutex);
                    numbers.insert(o.failed() ? o.errorMessage : QCborValue::fromCbor(o.result).toString());
                }
            }));
            threads.last()->start();
        }
        for (QThread *t : std::as_const(threads)) {
            t->wait();
            delete t;
        }
        QCOMPARE(numbers.size(), size_t(100));
        QCOMPARE(std::set<QString>(numbers.begin(), numbers.end()).size(), size_t(100));
        QCOMPARE(*numbers.begin(), QStringLiteral("0000000001"));
        QCOMPARE(*numbers.rbegin(), QStringLiteral("0000000100"));
        QVERIFY(ledger.getPrxMovClie({"nobody"}).failed());
    }

    void deltaSentAgainChangesNothing_data() { backends(); }
    void deltaSentAgainChangesNothing()
    {
        QFETCH(QString, backend);
        LedgerBackend b(backend);
        seed(b);
        Ledger ledger(b.storage());
        const QString number = handOut(ledger);
        fw::RecordSet set;
        acc00420::defineMovementFields(set);
        const QCborMap delta = insertDelta({number, "D", 10, 0, "Almoço"}, set);
        QString message;
        QVERIFY2(okOf(ledger.SetMovCliente({delta}), &message), qPrintable(message));
        QVERIFY2(okOf(ledger.SetMovCliente({delta}), &message), qPrintable(message)); // the reply was lost
        QCOMPARE(count(b, "SELECT COUNT(*) FROM MOVICLIE"), 1);
        QCOMPARE(count(b, "SELECT COUNT(*) FROM HISTMOVCLIE"), 1);
        QCOMPARE(count(b, "SELECT VRMOVCLI FROM MOVICLIE"), 1000);
        QCOMPARE(count(b, "SELECT COUNT(*) FROM MOVICLIE WHERE IDTIPMOCVLI = 'D' AND DSHISTMOV = 'Almoço'"), 1);
    }

    void deleteKeepsTheMovementInTheHistory_data() { backends(); }
    void deleteKeepsTheMovementInTheHistory()
    {
        QFETCH(QString, backend);
        LedgerBackend b(backend);
        seed(b);
        Ledger ledger(b.storage());
        const QString number = handOut(ledger);
        fw::RecordSet set;
        acc00420::defineMovementFields(set);
        QVERIFY(okOf(ledger.SetMovCliente({insertDelta({number}, set)})));
        set.mergeChangeLog();
        set.deleteRecord();
        const QCborMap deletion = set.deltaPacket();
        QVERIFY(okOf(ledger.SetMovCliente({deletion})));
        QVERIFY(okOf(ledger.SetMovCliente({deletion}))); // again: nothing left to do
        QCOMPARE(count(b, "SELECT COUNT(*) FROM MOVICLIE"), 0);
        QCOMPARE(count(b, "SELECT COUNT(*) FROM HISTMOVCLIE WHERE DSOPERACAO = 'delete' AND NRSEQMOVCLI = ?", {number}), 1);
        QSqlQuery q = run(b.db(), "SELECT DSDADOS FROM HISTMOVCLIE WHERE DSOPERACAO = 'delete'");
        QVERIFY(q.next());
        QVERIFY(q.value(0).toString().contains("\"VRMOVCLI\":1000"));
        // The insert sent once more after the deletion does not bring it back.
        QVERIFY(okOf(ledger.SetMovCliente({insertDelta({number}, set)})));
        QCOMPARE(count(b, "SELECT COUNT(*) FROM MOVICLIE"), 0);
    }

    void refusedInserts_data()
    {
        QTest::addColumn<QString>("backend");
        QTest::addColumn<QString>("number");
        QTest::addColumn<double>("company");
        QTest::addColumn<double>("personal");
        QTest::addColumn<QString>("history");
        QTest::addColumn<QString>("type");
        QTest::addColumn<QString>("named");
        LedgerBackend::addRows([](const QString &kind) {
            auto row = [&](const char *name) -> QTestData & {
                return QTest::newRow(qPrintable(kind + ": " + name)) << kind;
            };
            row("no number") << "" << 10.0 << 0.0 << QString() << "D" << "NRSEQMOVCLI";
            row("number never handed out") << "0000000009" << 10.0 << 0.0 << QString() << "D" << "NRSEQMOVCLI";
            row("negative value") << "1" << -10.0 << 0.0 << QString() << "D" << "VRMOVCLI";
            row("negative personal value") << "1" << 10.0 << -1.0 << QString() << "D" << "VRMOVPESCONS";
            row("both values zero") << "1" << 0.0 << 0.0 << QString() << "D" << "VRMOVCLI";
            row("half a cent is zero") << "1" << 0.004 << 0.0 << QString() << "D" << "VRMOVCLI";
            row("81-character observation") << "1" << 10.0 << 0.0 << QString(81, u'x') << "D" << "DSHISTMOV";
            row("unknown type") << "1" << 10.0 << 0.0 << QString() << "Q" << "IDTIPMOCVLI";
            row("beyond NUMERIC(15,2)") << "1" << 1e20 << 0.0 << QString() << "C" << "VRMOVCLI";
            row("debit that would wrap") << "1" << 9.3e16 << 0.0 << QString() << "D" << "VRMOVCLI";
            row("a cent over the limit") << "1" << 10000000000000.0 << 0.0 << QString() << "C" << "VRMOVCLI";
            row("personal beyond the limit") << "1" << 0.0 << 5e16 << QString() << "C" << "VRMOVPESCONS";
            row("not a number") << "1" << std::nan("") << 0.0 << QString() << "C" << "VRMOVCLI";
        });
    }
    void refusedInserts()
    {
        QFETCH(QString, backend);
        QFETCH(QString, number);
        QFETCH(double, company);
        QFETCH(double, personal);
        QFETCH(QString, history);
        QFETCH(QString, type);
        QFETCH(QString, named);
        LedgerBackend b(backend);
        seed(b);
        Ledger ledger(b.storage());
        ledger.getPrxMovClie({C1}); // hands out 1
        fw::RecordSet set;
        // The screen limits the observation; a sender that doesn't is still refused.
        for (const fw::FieldDef &def : acc00420::movementFields()) {
            fw::FieldDef wide = def;
            if (wide.type == fw::FieldType::String)
                wide.size = 0;
            set.addField(wide);
        }
        QString message;
        QCborValue payload;
        QVERIFY(!okOf(ledger.SetMovCliente({insertDelta({number, type, company, personal, history}, set)}), &message,
                      &payload));
        QVERIFY2(message.contains(named), qPrintable(message));
        QVERIFY(payload.isNull()); // "no value" is CBOR null, not undefined
        QCOMPARE(count(b, "SELECT COUNT(*) FROM MOVICLIE"), 0);
    }

    void observationEdits_data() { backends(); }
    void observationEdits()
    {
        QFETCH(QString, backend);
        LedgerBackend b(backend);
        seed(b);
        Ledger ledger(b.storage());
        const QString number = handOut(ledger);
        fw::RecordSet set;
        acc00420::defineMovementFields(set);
        QVERIFY(okOf(ledger.SetMovCliente({insertDelta({number, "C", 5, 0, "antes"}, set)})));
        set.mergeChangeLog();
        set.edit();
        set.fieldByName("DSHISTMOV").setAsString("depois");
        set.post();
        const QCborMap edit = set.deltaPacket();
        QVERIFY(okOf(ledger.SetMovCliente({edit})));
        QVERIFY(okOf(ledger.SetMovCliente({edit}))); // again: already applied
        QCOMPARE(count(b, "SELECT COUNT(*) FROM MOVICLIE WHERE DSHISTMOV = 'depois'"), 1);
        QCOMPARE(count(b, "SELECT COUNT(*) FROM HISTMOVCLIE WHERE DSOPERACAO = 'modify'"), 1);

        b.exec("UPDATE MOVICLIE SET DSHISTMOV = 'outro operador'");
        QString message;
        QVERIFY(!okOf(ledger.SetMovCliente({edit}), &message));
        QVERIFY(message.contains("outro operador"));

        set.mergeChangeLog();
        set.edit();
        set.fieldByName("VRMOVCLI").setAsFloat(500);
        set.post();
        QVERIFY(!okOf(ledger.SetMovCliente({set.deltaPacket()}), &message));
        QVERIFY(message.contains("VRMOVCLI"));
    }

    // A ledger that goes takes its own connection and kept statements, never another's that
    // is still in use.
    void aLedgerThatGoesLeavesTheOthersConnection_data() { backends(); }
    void aLedgerThatGoesLeavesTheOthersConnection()
    {
        QFETCH(QString, backend);
        QTest::failOnWarning(QRegularExpression(QStringLiteral("still in use|Unable to free")));
        LedgerBackend staying(backend);
        seed(staying);
        const QString sql = QStringLiteral("SELECT NMFANTCLIE FROM CLIENTE WHERE CDCLIENTE = ?");
        {
            LedgerBackend going(backend);
            going.exec(sql, {C1});
            staying.exec(sql, {C1}); // kept prepared on PostgreSQL
        }
        QSqlQuery q = run(staying.db(), sql, {C1});
        QVERIFY(q.next());
        QCOMPARE(q.value(0).toString(), QStringLiteral("Cantina"));
    }

    // A statement kept for the next cursor holds nothing of the database: a cursor left after
    // its first row keeps no snapshot from what another connection writes next, and the
    // connection still closes for real when its storage goes (SQLite then removes its log).
    void keptStatementsHoldNothing()
    {
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("razao.db"));
        const QString sql = QStringLiteral("SELECT COUNT(*) FROM CLIENTE WHERE NMFANTCLIE = ?");
        {
            Storage storage(file);
            migrate(storage.connection(), storage.kind());
            const QString insert = QStringLiteral("INSERT INTO CLIENTE VALUES (?, '52998224725', 'F', 'Cliente')");
            run(storage.connection(), insert, {C1});
            const auto clients = [&] {
                RowCursor counted(storage.connection(), sql, {QStringLiteral("Cliente")}, nullptr);
                return counted.next() ? counted.integer(0) : -1;
            };
            const qint64 before = clients();
            {
                RowCursor left(storage.connection(), sql, {QStringLiteral("Cliente")}, nullptr);
                QVERIFY(left.next());
            }
            Storage other(file);
            run(other.connection(), insert, {QString(21, u'9')});
            QCOMPARE(clients(), before + 1);
        }
        QVERIFY(!QFile::exists(file + QStringLiteral("-wal")));
    }

    void cancellationMarksNeverDeletes_data() { backends(); }
    void cancellationMarksNeverDeletes()
    {
        QFETCH(QString, backend);
        LedgerBackend b(backend);
        seed(b);
        movement(b, "0000000001", day(3), "D", 700);
        b.exec("INSERT INTO VENDA VALUES ('0001', '002', '0000000050', 1, 2, 700, 'A', NULL, NULL)");
        b.exec("INSERT INTO RECEBIMENTO VALUES ('0001', '002', '0000000050', '004', 700, 'A', NULL)");
        Ledger ledger(b.storage());
        const QCborArray cancel{"X", "0007", at(day(7)), "Cancelado pelo operador.", C1, "0000000001"};
        // The server's clock stamps the cancellation, not the moment the request names.
        const qint64 before = QDateTime::currentMSecsSinceEpoch();
        QVERIFY(okOf(ledger.setCancelamento(cancel)));
        QVERIFY(okOf(ledger.setCancelamento(cancel)));
        QCOMPARE(count(b, "SELECT COUNT(*) FROM MOVICLIE WHERE IDTIPMOCVLI = 'X' AND CDOPERADOR = '0007'"
                          " AND DSATUMOVCLIE = 'Cancelado pelo operador.' AND DTATUMOVCLIE >= ?", {before}), 1);
        QCOMPARE(count(b, "SELECT COUNT(*) FROM HISTMOVCLIE WHERE DSOPERACAO = 'cancel'"), 1);
        QString message;
        QVERIFY(!okOf(ledger.setCancelamento({"X", "0007", at(day(7)), "t", C1, "0000000099"}), &message));
        QVERIFY(message.contains("não encontrado"));
        QVERIFY(!okOf(ledger.setCancelamento({"C", "0007", at(day(7)), "t", C1, "0000000001"})));

        QVERIFY(okOf(ledger.setCancelaVenda({"A venda foi cancelada pelo operador -0007-Maria-07/11/2026 10:00:00",
                                             "0001", "002", "0000000050"})));
        QVERIFY(okOf(ledger.setCancelaReceb({"0001", "002", "0000000050"})));
        QCOMPARE(count(b, "SELECT COUNT(*) FROM VENDA WHERE IDSITVENDA = 'X' AND DSCANCVENDA LIKE 'A venda%'"), 1);
        QCOMPARE(count(b, "SELECT COUNT(*) FROM RECEBIMENTO WHERE IDSITRECE = 'X'"), 1);
        QVERIFY(!okOf(ledger.setCancelaVenda({"t", "0001", "002", "0000000051"})));
        QVERIFY(!okOf(ledger.setCancelaReceb({"0001", "002", "0000000051"})));

        // Every change is in the history, once, and a null apart from an empty text.
        QVERIFY(okOf(ledger.setCancelaVenda({"again", "0001", "002", "0000000050"})));
        QVERIFY(okOf(ledger.setCancelaReceb({"0001", "002", "0000000050"})));
        movement(b, "0000000003", day(5), "C", 100); // a balance for the recalculation to write
        QVERIFY(okOf(ledger.setAtualizaCons({"0001", C1, "", at(day(1)), "0007"})));
        QVERIFY(okOf(ledger.setAtualizaCons({"0001", C1, "", at(day(1)), "0007"}))); // nothing left to change
        QCOMPARE(count(b, "SELECT COUNT(*) FROM HISTCONTA WHERE DSOBJETO = 'VENDA' AND DSCHAVE = '0001/002/0000000050'"
                          " AND DSOPERACAO = 'cancel' AND DSDADOS LIKE '%\"IDSITVENDA\":\"X\"%'"), 1);
        QCOMPARE(count(b, "SELECT COUNT(*) FROM HISTCONTA WHERE DSOBJETO = 'RECEBIMENTO' AND DSOPERACAO = 'cancel'"
                          " AND DSDADOS LIKE '%\"IDSITRECE\":\"X\"%'"), 1);
        QCOMPARE(count(b, "SELECT COUNT(*) FROM HISTCONTA WHERE DSOBJETO = 'SALDOS' AND DSCHAVE = ? AND CDOPERADOR = '0007'",
                       {C1}), 1);
        QVERIFY(okOf(ledger.setCancelamento({"X", "0007", at(day(7)), "", C1, "0000000002"})) == false);
        movement(b, "0000000002", day(4), "D", 100, 0, QString());
        QVERIFY(okOf(ledger.setCancelamento({"X", "0007", at(day(7)), "", C1, "0000000002"})));
        QSqlQuery history = run(b.db(), "SELECT DSDADOS FROM HISTMOVCLIE WHERE NRSEQMOVCLI = '0000000002'");
        QVERIFY(history.next());
        QVERIFY2(history.value(0).toString().contains("\"CDCONSUMIDOR\":null"), qPrintable(history.value(0).toString()));
        QVERIFY(history.value(0).toString().contains("\"DSATUMOVCLIE\":\"\""));
    }

    void argumentsAreChecked_data()
    {
        QTest::addColumn<QString>("method");
        QTest::addColumn<QCborArray>("args");
        QTest::addColumn<QString>("named");
        QTest::newRow("date as text") << "getMovCliente" << QCborArray{"", "T", C1, "2026-11-01"} << "DTINICIO";
        QTest::newRow("over-long client") << "getPrxMovClie" << QCborArray{QString(22, u'1')} << "CDCLIENTE";
        QTest::newRow("delta not a map") << "SetMovCliente" << QCborArray{"x"} << "DELTA";
        QTest::newRow("missing argument") << "setCancelaReceb" << QCborArray{"0001", "002"} << "3 argumentos";
    }
    void argumentsAreChecked()
    {
        QFETCH(QString, method);
        QFETCH(QCborArray, args);
        QFETCH(QString, named);
        LedgerBackend b("sqlite");
        PublishedLedger published(b.storage());
        server::Caller nobody;
        const Outcome o = published.dispatcher.dispatch(Ledger::ObjectName, method, args, nobody);
        QCOMPARE(o.errorCode, QStringLiteral("bad-arguments"));
        QVERIFY2(o.errorMessage.contains(named), qPrintable(o.errorMessage));
    }
};

QTEST_GUILESS_MAIN(TestLedger)
#include "tst_ledger.moc"
