#include <framework/core/abort.h>
#include "accountservice.h"
#include "appserver.h"
#include <framework/data/checkresultserv.h>
#include "demodata.h"
#include "ledger.h"
#include "ledgerbackend.h"
#include "ledgeronloopback.h"
#include "movementfields.h"
#include "recordingdialogs.h"
#include <framework/data/serversession.h>
#include <framework/data/recordset.h>

#include <QRegularExpression>
#include <QSqlQuery>
#include <QSignalSpy>
#include <QTest>
#include <QThread>

using namespace server;


// The screen's side of every method, through the real server on loopback, on the demo data.
class TestServerEndToEnd : public QObject
{
    Q_OBJECT
private slots:
    // What an operator meets at the default branch: the clients the README names, accounts in
    // credit and in the red, cancelled rows, sales with receipts, movements at both branches.
    void demoDataIsABelievableCanteen()
    {
        LedgerBackend backend("sqlite");
        createDemoData(backend.storage(), QDate::currentDate());
        auto number = [&](const QString &sql) {
            QSqlQuery q(backend.db());
            if (!q.exec(sql) || !q.next())
                qFatal("%s", qPrintable(sql));
            return q.value(0).toLongLong();
        };
        QCOMPARE(number("SELECT COUNT(*) FROM CLIENTE C JOIN CLIENFILIAL F ON F.CDCLIENTE = C.CDCLIENTE"
                        " WHERE F.CDFILIAL = '0001' AND C.NRINSJURCLIE IN ('11222333000181', '52998224725', '39053344705')"),
                 3);
        const QString latest = "SELECT COUNT(*) FROM MOVICLIE M WHERE NRSEQMOVCLI = (SELECT MAX(NRSEQMOVCLI)"
                               " FROM MOVICLIE L WHERE L.CDCLIENTE = M.CDCLIENTE) AND (VRSALDOCONS < 0 OR VRSALDPECONS < 0)";
        QCOMPARE(number(latest), 1); // one account ends in the red, the others in credit
        QVERIFY(number("SELECT COUNT(*) FROM MOVICLIE WHERE VRSALDOCONS < 0 OR VRSALDPECONS < 0")
                < number("SELECT COUNT(*) FROM MOVICLIE") / 4);
        QVERIFY(number("SELECT COUNT(*) FROM MOVICLIE WHERE IDTIPMOCVLI = 'C' AND VRMOVPESCONS > 0") > 0);
        QVERIFY(number("SELECT COUNT(*) FROM MOVICLIE WHERE IDTIPMOCVLI = 'X'") > 0);
        QVERIFY(number("SELECT COUNT(*) FROM VENDA V JOIN RECEBIMENTO R ON R.CDFILIAL = V.CDFILIAL"
                       " AND R.CDCAIXA = V.CDCAIXA AND R.NRSEQVENDA = V.NRSEQVENDA WHERE V.IDSITVENDA = 'X'"
                       " AND R.IDSITRECE = 'X'") > 0);
        QCOMPARE(number("SELECT COUNT(DISTINCT CDFILIAL) FROM MOVICLIE WHERE CDCLIENTE = '000000000000000000001'"), 2);
    }

    // A connection that opens again resumes its session without asking anyone; a session the
    // server ended is signed in again once, and the call that met the end is repeated.
    void theConnectionKeepsItsSession_data()
    {
        QTest::addColumn<bool>("ended");
        QTest::addColumn<bool>("inBackground"); // opened again by itself, over TLS, asking nothing
        QTest::newRow("reconnected") << false << false;
        QTest::newRow("session ended") << true << false;
        QTest::newRow("reconnected in the background") << false << true;
        QTest::newRow("session ended, in the background") << true << true;
    }
    void theConnectionKeepsItsSession()
    {
        QFETCH(bool, ended);
        QFETCH(bool, inBackground);
        LedgerBackend backend("sqlite");
        createDemoData(backend.storage(), QDate::currentDate());
        LedgerOnLoopback loopback(backend.storage(), {});
        fw::ServerSession session;
        int signIns = 0;
        session.setSignInAgain([&](const fw::ConnectionSender &send) {
            ++signIns;
            session.signIn(send, "0007", TestPassword, "0001", "teste");
            return true;
        });
        loopback.connection.setSession(&session);
        QSignalSpy opened(&loopback.connection, &fw::TNetConnection::opened);
        const QString client = QString(20, u'0') + "1";
        QVERIFY(acc00420::movementNumberText(loopback.service.getPrxMovClie(client)).toInt() > 0);
        QCOMPARE(signIns, 1);
        QTRY_COMPARE(opened.size(), 1); // told after the call, not inside it
        if (ended)
            backend.exec("UPDATE SESSAO SET DTFIM = 1");
        if (!ended || inBackground)
            loopback.connection.close(); // a restarted server, a balancer that moved the connection
        if (inBackground) {
            loopback.connection.openInBackground();
            if (ended)
                QTest::qWait(1000); // the refused resumption, and nothing after it
            else
                QTRY_COMPARE(opened.size(), 2);
            QCOMPARE(opened.size(), ended ? 1 : 2);
            QCOMPARE(loopback.connection.connected(), !ended);
            QCOMPARE(signIns, 1); // nobody was asked
        }
        QVERIFY(acc00420::movementNumberText(loopback.service.getPrxMovClie(client)).toInt() > 0);
        QCOMPARE(signIns, ended ? 2 : 1);
    }

    // Worker threads that expire close their connections, and the threads after them open
    // their own: no connection is used from a thread it does not belong to, and none is left
    // open on the database.
    void expiredWorkersCloseTheirConnections_data()
    {
        QTest::addColumn<QString>("backend");
        LedgerBackend::addRows([](const QString &kind) { QTest::newRow(qPrintable(kind)) << kind; });
    }
    void expiredWorkersCloseTheirConnections()
    {
        QFETCH(QString, backend);
        QTest::failOnWarning(QRegularExpression(QStringLiteral("does not belong to the calling thread")));
        LedgerBackend b(backend);
        createDemoData(b.storage(), QDate::currentDate());
        auto backends = [&] {
            QSqlQuery q(b.db());
            q.exec("SELECT COUNT(*) FROM pg_stat_activity WHERE datname = current_database()");
            return q.next() ? q.value(0).toInt() : 0;
        };
        const int before = backend == "postgresql" ? backends() : 0;
        AppServer::Options options;
        options.workers = 3;
        options.workerExpiryMs = 50;
        LedgerOnLoopback loopback(b.storage(), options);
        acc00420::AccountService &service = loopback.service;
        const QString client = QString(20, u'0') + "1";
        for (int gap = 0; gap < 3; ++gap) {
            for (int i = 0; i < 6; ++i)
                QVERIFY(acc00420::movementNumberText(service.getPrxMovClie(client)).toInt() > 0);
            if (backend == "postgresql")
                QTRY_COMPARE_WITH_TIMEOUT(backends(), before, 10000);
            else
                QTest::qWait(200); // the workers expire
        }
    }

    // A thread lets go of its connections before it is over: whoever waited for it may end the
    // program at once, registry of connections and all, while the thread's own end still runs.
    void aThreadsConnectionsGoBeforeItIsOver_data() { expiredWorkersCloseTheirConnections_data(); }
    void aThreadsConnectionsGoBeforeItIsOver()
    {
        QFETCH(QString, backend);
        LedgerBackend b(backend);
        struct SlowToGo
        {
            ~SlowToGo() { QThread::msleep(300); }
        };
        const auto sorted = [](QStringList names) {
            names.sort();
            return names;
        };
        const QStringList registered = sorted(QSqlDatabase::connectionNames());
        std::unique_ptr<QThread> worker(QThread::create([&] {
            QVERIFY(b.storage().connection().isOpen());
            thread_local SlowToGo last; // its end runs before the connections' own would
        }));
        worker->start();
        worker->wait();
        QCOMPARE(sorted(QSqlDatabase::connectionNames()), registered);
    }

    // A statement of more rows than two parts hold, read in parts and in one reply: the same
    // rows in the same order, the first part a screenful and the next 4,096 rows.
    void aStatementInPartsHoldsWhatOneReplyHolds_data()
    {
        QTest::addColumn<QString>("backend");
        LedgerBackend::addRows([](const QString &kind) { QTest::newRow(qPrintable(kind)) << kind; });
    }
    void aStatementInPartsHoldsWhatOneReplyHolds()
    {
        QFETCH(QString, backend);
        LedgerBackend b(backend);
        createDemoData(b.storage(), QDate::currentDate());
        const QString client = QString(20, u'0') + "1";
        const QDateTime start(QDate::currentDate().addDays(-60), QTime(0, 0));
        b.exec(QStringLiteral("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 4500)"
                              " INSERT INTO MOVICLIE (CDCLIENTE, NRSEQMOVCLI, CDFILIAL, VRMOVCLI, DTMOVCLI, DSHISTMOV,"
                              " IDTIPMOCVLI, VRMOVPESCONS, TIPO) SELECT '%1', '9' || CAST(100000000 + i AS TEXT), '0001',"
                              " i, %2 + i * 1000, 'parte ' || CAST(i AS TEXT), 'C', 0, 'N' FROM n")
                   .arg(client).arg(start.toMSecsSinceEpoch()));
        LedgerOnLoopback loopback(b.storage(), {});
        QString consumer, all = "T";
        fw::RecordSet whole, inParts;
        whole.loadFromPacket(fw::CheckResultServ(loopback.service.getMovCliente(consumer, all, client, start), true, 0).bytes());
        QList<qint64> partRows;
        QList<std::optional<quint64>> totals;
        const fw::CborItem rest = fw::CheckResultServ(
            loopback.service.getMovCliente(consumer, all, client, start, [&](const fw::CborItem &part, std::optional<quint64> total) {
                const int before = inParts.active() ? inParts.recordCount() : 0;
                partRows.isEmpty() ? inParts.loadFromPacket(part.bytes()) : inParts.appendFromPacket(part.bytes());
                partRows.append(inParts.recordCount() - before);
                totals.append(total);
            }), true, 0);
        inParts.appendFromPacket(rest.bytes());
        QCOMPARE(partRows, (QList<qint64>{200, 4096}));
        // The first part may go before the rows are counted; the next ones tell them.
        QVERIFY(!totals.first() || *totals.first() == quint64(whole.recordCount()));
        QCOMPARE(totals.last(), std::optional(quint64(whole.recordCount())));
        QVERIFY(whole.recordCount() > 4500);
        QCOMPARE(inParts.recordCount(), whole.recordCount());
        for (int row = 0; row < whole.recordCount(); ++row) {
            for (int f = 0; f < whole.fieldCount(); ++f)
                QCOMPARE(inParts.textAt(row, f), whole.textAt(row, f));
        }
    }

    void demoAccountThroughTheWire()
    {
        LedgerBackend backend("sqlite");
        createDemoData(backend.storage(), QDate::currentDate());
        LedgerOnLoopback loopback(backend.storage(), {});
        acc00420::AccountService &service = loopback.service;
        const QString client = QString(20, u'0') + "1";
        const QDateTime start = QDateTime(QDate::currentDate().addDays(-60), QTime(0, 0));

        const fw::CborItem recalculated =
            fw::CheckResultServ(service.setAtualizaCons("0001", client, "", start, "0007"), true, 0);
        QCOMPARE(recalculated.toValue(), QCborValue(true));

        QString consumer, all = "T";
        fw::RecordSet statement;
        acc00420::defineMovementFields(statement);
        statement.loadFromPacket(fw::CheckResultServ(service.getMovCliente(consumer, all, client, start), true, 0).bytes());
        QVERIFY(statement.recordCount() > 5);
        for (statement.first(); !statement.eof(); statement.next())
            QVERIFY(statement.fieldByName("DTMOVCLI").asDateTime() >= start);

        fw::RecordSet consumers;
        consumers.loadFromPacket(fw::CheckResultServ(service.getConsumidor(client, "", "T", "0001"), true, 0).bytes());
        QCOMPARE(consumers.recordCount(), 4);

        // A new movement, as the screen will post it.
        const QString number = acc00420::movementNumberText(service.getPrxMovClie(client));
        QVERIFY(number.toInt() > 0);
        statement.last();
        statement.insert();
        statement.fieldByName("CDCLIENTE").setAsString(client);
        statement.fieldByName("NRSEQMOVCLI").setAsString(number);
        statement.fieldByName("CDFILIAL").setAsString("0001");
        statement.fieldByName("IDTIPMOCVLI").setAsString("C");
        statement.fieldByName("VRMOVCLI").setAsFloat(25.5);
        statement.fieldByName("VRMOVPESCONS").setAsFloat(0);
        statement.fieldByName("DTMOVCLI").setAsDateTime(QDateTime::currentDateTime());
        statement.post();
        fw::CheckResultServ(service.SetMovCliente(statement.deltaPacket()), true, 0);
        statement.mergeChangeLog();
        fw::CheckResultServ(service.setAtualizaCons("0001", client, "", start, "0007"), true, 0);
        statement.loadFromPacket(fw::CheckResultServ(service.getMovCliente(consumer, all, client, start), true, 0).bytes());
        QVERIFY(statement.locate("NRSEQMOVCLI", number));
        QCOMPARE(statement.fieldByName("VRMOVCLI").asFloat(), 25.5);

        // A refusal reaches the operator as the server worded it.
        RecordingDialogs dialogs;
        QVERIFY_THROWS_EXCEPTION(fw::Abort, fw::CheckResultServ(
            service.setCancelamento("X", "0007", QDateTime::currentDateTime(), "Cancelado pelo operador.", client, "9999999999"),
            true, 0));
        QVERIFY(dialogs.texts().value(0).contains("não encontrado"));
    }
};

QTEST_GUILESS_MAIN(TestServerEndToEnd)
#include "tst_serverendtoend.moc"
