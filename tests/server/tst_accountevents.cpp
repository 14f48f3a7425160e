#include "accountevents.h"
#include "ledger.h"
#include "ledgerbackend.h"
#include "postedledger.h"
#include "serverprocess.h"
#include "testoperator.h"

#include <framework/data/frame.h>
#include <framework/data/protocol.h>
#include <framework/data/sessioncontract.h>

#include <QCborArray>
#include <QCborMap>
#include <QSqlDriver>
#include <QSqlQuery>
#include <QSysInfo>
#include <QTcpSocket>
#include <QTest>

// Watching an account: a change made anywhere reaches the connections that watch it, coalesced,
// and only them; what changed since a version comes alone, or the whole statement.
namespace {

// A connection as a watching screen holds it: it signs in, calls, and keeps every event the
// server sends unasked.
class Watcher
{
public:
    explicit Watcher(quint16 port)
    {
        m_socket.connectToHost(QHostAddress::LocalHost, port);
        if (!m_socket.waitForConnected(5000)
            || !call(fw::SessionObjectName, "entrar", {"0007", TestPassword, "0001", "teste"}).contains(QLatin1String("result")))
            qFatal("no sign-in on the server under test");
    }

    QCborMap call(const char *object, const char *method, const QCborArray &args)
    {
        const quint64 id = m_nextId++;
        m_socket.write(fw::encodeFrame(fw::encodeRequest({id, QLatin1String(object), QLatin1String(method), args})));
        while (true) {
            for (const QCborMap &frame : read()) {
                if (frame.value(QLatin1String("id")).toInteger() == qint64(id))
                    return frame;
            }
            if (!m_socket.waitForReadyRead(10000))
                return {};
        }
    }
    // The envelope's payload of an account method's reply.
    QCborMap payload(const char *method, const QCborArray &args)
    {
        const QCborMap reply = call(server::Ledger::ObjectName, method, args);
        return reply.value(QLatin1String("result")).toMap().value(QLatin1String("payload")).toMap();
    }
    QList<QCborMap> events()
    {
        read();
        return m_events;
    }

private:
    QList<QCborMap> read()
    {
        m_frames.append(m_socket.readAll());
        QList<QCborMap> replies;
        QByteArray frame;
        while (m_frames.next(&frame) == fw::FrameReader::Status::Frame) {
            const QCborMap map = QCborValue::fromCbor(frame).toMap();
            (map.contains(QLatin1String("id")) ? replies : m_events).append(map);
        }
        return replies;
    }

    QTcpSocket m_socket;
    fw::FrameReader m_frames;
    quint64 m_nextId = 1;
    QList<QCborMap> m_events;
};

QCborValue since(quint64 version)
{
    return QCborValue(qint64(version));
}

QCborArray statementSince(const QString &client, quint64 version)
{
    return {"", "T", client, fw::dateTimeToCbor(QDateTime(QDate(2026, 1, 1), QTime(0, 0))), since(version)};
}

} // namespace

class TestAccountEvents : public QObject
{
    Q_OBJECT

private slots:
    void aChangeAnywhereReachesOnlyItsWatchers_data()
    {
        QTest::addColumn<QString>("backend");
        LedgerBackend::addRows([](const QString &kind) { QTest::newRow(qPrintable(kind)) << kind; });
    }
    void aChangeAnywhereReachesOnlyItsWatchers()
    {
        QFETCH(QString, backend);
        LedgerBackend b(backend);
        postThroughTheLedger(b);
        grantTestOperator(b.storage());
        ServerProcess instance(ACC00420_SERVER_PATH, b.storage().url());
        QVERIFY2(instance.start(), qPrintable(instance.output()));
        Watcher watching(instance.port()), ofAnother(instance.port()), ofNone(instance.port());
        const quint64 start = quint64(watching.payload("acompanhar", {C1}).value(QLatin1String("versao")).toInteger());
        QVERIFY(start > 0);
        ofAnother.payload("acompanhar", {C2});

        // Posted by another process on the same database: this test's own ledger.
        const server::Ledger elsewhere(b.storage());
        post(elsewhere, C1, 4);
        QTRY_COMPARE_WITH_TIMEOUT(watching.events().size(), 1, 5000);
        const QCborMap event = watching.events().first();
        QCOMPARE(event.value(QLatin1String("event")).toString(), QStringLiteral("conta"));
        QCOMPARE(event.value(QLatin1String("cdcliente")).toString(), C1);
        QCOMPARE(quint64(event.value(QLatin1String("versao")).toInteger()), start + 1);
        QVERIFY(!event.contains(QLatin1String("id")));
        // What changed since: the one movement posted, with the version it came with.
        const QCborMap changed = watching.payload("getMovClienteDesde", statementSince(C1, start));
        QCOMPARE(changed.value(QLatin1String("completo")).toBool(), false);
        QCOMPARE(quint64(changed.value(QLatin1String("versao")).toInteger()), start + 1);
        QCOMPARE(changed.value(QLatin1String("linhas")).toMap().value(QLatin1String("rows")).toArray().size(), 1);

        // A burst: a handful of events, the last with the latest version.
        constexpr int Burst = 60;
        for (int i = 0; i < Burst; ++i)
            post(elsewhere, C1, 5 + i % 20);
        const quint64 latest = start + 1 + Burst;
        QTRY_COMPARE_WITH_TIMEOUT(quint64(watching.events().last().value(QLatin1String("versao")).toInteger()), latest, 5000);
        QVERIFY2(watching.events().size() < Burst / 3, qPrintable(QString::number(watching.events().size())));
        QVERIFY(ofAnother.events().isEmpty());
        QVERIFY(ofNone.events().isEmpty());

        // Left: nothing more comes (a coalesced event would be in well within three periods).
        watching.payload("deixar", {C1});
        const qsizetype told = watching.events().size();
        post(elsewhere, C1, 3);
        QTest::qWait(3 * server::AccountEvents::CoalesceMs);
        QCOMPARE(watching.events().size(), told);
    }

    // On PostgreSQL an account is notified while an instance follows it, and only then: its
    // mark comes with the first watch and goes with the last, by leaving or by disconnecting.
    void onlyAFollowedAccountIsNotified()
    {
        if (qEnvironmentVariableIsEmpty("ACC00420_TEST_PG_URL"))
            QSKIP("PostgreSQL only: on SQLite the instances poll the file");
        LedgerBackend b(QStringLiteral("postgresql"));
        postThroughTheLedger(b);
        grantTestOperator(b.storage());
        ServerProcess instance(ACC00420_SERVER_PATH, b.storage().url());
        QVERIFY2(instance.start(), qPrintable(instance.output()));
        const auto marks = [&](const QString &client) {
            QSqlQuery q = server::run(b.db(), "SELECT COUNT(*) FROM CONTAACOMP WHERE CDCLIENTE = ?", {client});
            return q.next() ? q.value(0).toInt() : -1;
        };
        QStringList heard; // the accounts notified, in commit order
        QSqlDatabase listener = fw::openDatabase(b.storage().url(), QStringLiteral("listener"));
        connect(listener.driver(), &QSqlDriver::notification, this,
                [&](const QString &, QSqlDriver::NotificationSource, const QVariant &payload) {
                    heard << payload.toString().section(u'/', 0, 0);
                });
        QVERIFY(listener.driver()->subscribeToNotification(QLatin1String(server::AccountEvents::Channel)));
        const server::Ledger ledger(b.storage());
        // C2, followed throughout, closes each round: what C1 was notified before it has come.
        // Whether C1 was (-1: C2 never came).
        const auto round = [&](int day) {
            heard.clear();
            post(ledger, C1, day);
            post(ledger, C2, day);
            if (!QTest::qWaitFor([&] { return heard.contains(C2); }, 5000))
                return -1;
            return int(heard.contains(C1));
        };
        auto screen = std::make_unique<Watcher>(instance.port());
        // What a run before on the same host, address and port left goes with the first mark.
        b.exec("INSERT INTO CONTAACOMP VALUES (?, ?)",
               {C1, QSysInfo::machineHostName() + " 127.0.0.1:" + QString::number(instance.port())});
        Watcher followingC2(instance.port());
        followingC2.payload("acompanhar", {C2});
        QTRY_COMPARE(marks(C2), 1);
        QCOMPARE(marks(C1), 0);
        QCOMPARE(round(4), 0);

        screen->payload("acompanhar", {C1});
        QTRY_COMPARE(marks(C1), 1);
        QCOMPARE(round(5), 1);
        QTRY_COMPARE(screen->events().size(), 1);

        screen->payload("deixar", {C1});
        QTRY_COMPARE(marks(C1), 0);
        QCOMPARE(round(6), 0);

        screen->payload("acompanhar", {C1});
        QTRY_COMPARE(marks(C1), 1);
        screen.reset(); // its connection closes
        QTRY_COMPARE(marks(C1), 0);
        QCOMPARE(round(7), 0);
        QCOMPARE(marks(C2), 1);
    }

    // What a version asks for: only the rows changed since, or the whole statement when the
    // version is none, not the account's, or from before a movement was deleted or most of the
    // account's balances were rewritten.
    void whatChangedSinceAVersion_data()
    {
        QTest::addColumn<QString>("backend");
        QTest::addColumn<int>("back"); // the version asked for, behind the account's
        QTest::addColumn<bool>("whole");
        QTest::addColumn<int>("rows");
        QTest::addColumn<bool>("zeroed"); // every stored balance, before the recalculation
        LedgerBackend::addRows([](const QString &kind) {
            QTest::newRow(qPrintable(kind + ": current")) << kind << 0 << false << 0 << false;
            QTest::newRow(qPrintable(kind + ": before the recalculation")) << kind << 1 << false << 1 << false;
            QTest::newRow(qPrintable(kind + ": before the posting")) << kind << 2 << false << 1 << false;
            QTest::newRow(qPrintable(kind + ": none")) << kind << -1 << true << 4 << false;
            QTest::newRow(qPrintable(kind + ": ahead of the account")) << kind << -2 << true << 4 << false;
            QTest::newRow(qPrintable(kind + ": before a recalculation of most balances")) << kind << 1 << true << 4 << true;
        });
    }
    void whatChangedSinceAVersion()
    {
        QFETCH(QString, backend);
        QFETCH(int, back);
        QFETCH(bool, whole);
        QFETCH(int, rows);
        QFETCH(bool, zeroed);
        LedgerBackend b(backend);
        postThroughTheLedger(b);
        const server::Ledger ledger(b.storage());
        post(ledger, C1, 4); // a credit after the others: the recalculation rewrites its balance alone
        if (zeroed)
            b.exec("UPDATE MOVICLIE SET VRSALDOCONS = 0, VRSALDPECONS = 0");
        ledger.setAtualizaCons({"0001", C1, "", fw::dateTimeToCbor(QDateTime(QDate(2026, 1, 1), QTime(0, 0))), "0007"}, Who);
        const auto answer = [&](quint64 version) {
            const server::Outcome o = ledger.getMovClienteDesde(statementSince(C1, version), Who);
            return QCborValue::fromCbor(o.result).toMap().value(QLatin1String("payload")).toMap();
        };
        const quint64 current = quint64(answer(0).value(QLatin1String("versao")).toInteger());
        const quint64 asked = back == -1 ? 0 : back == -2 ? current + 5 : current - quint64(back);
        const QCborMap got = answer(asked);
        QCOMPARE(got.value(QLatin1String("completo")).toBool(), whole);
        QCOMPARE(quint64(got.value(QLatin1String("versao")).toInteger()), current);
        QCOMPARE(got.value(QLatin1String("linhas")).toMap().value(QLatin1String("rows")).toArray().size(), rows);
    }
};

QTEST_MAIN(TestAccountEvents)
#include "tst_accountevents.moc"
