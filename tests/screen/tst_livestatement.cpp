#include "demodata.h"
#include "haproxyfront.h"
#include "ledger.h"
#include "ledgerbackend.h"
#include "postedledger.h"
#include "recordingdialogs.h"
#include "schema.h"
#include "screen.h"
#include "serverprocess.h"

#include <framework/core/logincontext.h>
#include <framework/data/dbgeral.h>
#include <framework/data/serversession.h>
#include <framework/ui/hostservices.h>
#include "testoperator.h"

#include <QMainWindow>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTest>

// Two terminals on one account, each screen on its own server instance over one database: what
// one of them, or a till, changes appears on the other by itself.
namespace {

// The demo's company account and its consumer 2.
const QString Company = QStringLiteral("11222333000181");
const QString Consumer = QString(20, u'0') + u'2';

struct Terminals
{
    LedgerBackend ledger;
    QTemporaryDir sharedDir;
    ServerProcess one, two;
    RecordingDialogs dialogs;
    QMainWindow main;
    std::unique_ptr<acc00420::TfrmPagClie> a, b;

    explicit Terminals(const QString &kind)
        : ledger(kind)
        , one(ACC00420_SERVER_PATH, ledger.storage().url())
        , two(ACC00420_SERVER_PATH, ledger.storage().url())
    {
        server::createDemoData(ledger.storage(), QDate::currentDate());
        grantTestOperator(ledger.storage());
        // The back office reads the clients from its shared database: the demo's too.
        QString shared = ledger.storage().url();
        if (ledger.storage().kind() != fw::DatabaseUrl::Kind::SQLite) {
            shared = sharedDir.filePath(QStringLiteral("shared.db"));
            const server::Storage clients(shared);
            server::migrate(clients.connection(), clients.kind());
            server::createDemoData(clients, QDate::currentDate());
        }
        fw::dtmDBGeral().open(shared);
        signInWith(fw::serverSession());
        fw::LoginContext context;
        context.filial = QStringLiteral("0001");
        context.operador = QStringLiteral("0007");
        context.serverTls = false; // instances on loopback started without a certificate
        fw::setLoginContext(context);
        fw::hostServices().mainWindow = &main;
        main.show();
    }
    ~Terminals()
    {
        a.reset();
        b.reset();
        fw::dtmDBGeral().close();
        fw::hostServices().mainWindow = nullptr;
    }

    bool start() { return one.start() && two.start(); }

    // A screen reaching the server at `port`, the company's statement loaded.
    std::unique_ptr<acc00420::TfrmPagClie> open(quint16 port)
    {
        auto screen = std::make_unique<acc00420::TfrmPagClie>();
        screen->netPagClie->onBeforeConnect = [port](fw::TNetConnection &c) {
            c.configure(fw::loginContext());
            c.setPort(port);
        };
        screen->create();
        screen->show();
        QApplication::setActiveWindow(screen.get());
        screen->depDe->SetDate(QDate(2000, 1, 1));
        screen->depDe->setFocus();
        screen->medCdCliente->setText(Company);
        screen->edtConsumidor->setText(QStringLiteral("2"));
        screen->dbgPadrao->setFocus();
        if (!screen->cdsMovCliente->active() || !dialogs.shown.isEmpty())
            qWarning() << "not loaded:" << dialogs.texts();
        return screen;
    }

    QString current(acc00420::TfrmPagClie &screen) const
    {
        return screen.cdsMovCliente->fieldByName(QStringLiteral("NRSEQMOVCLI")).asString();
    }
};

} // namespace

class TestLiveStatement : public QObject
{
    Q_OBJECT

    static void backends()
    {
        QTest::addColumn<QString>("backend");
        LedgerBackend::addRows([](const QString &kind) { QTest::newRow(qPrintable(kind)) << kind; });
    }

private slots:
    void aChangeElsewhereAppearsWithTheCursorKept_data() { backends(); }
    void aChangeElsewhereAppearsWithTheCursorKept()
    {
        QFETCH(QString, backend);
        Terminals t(backend);
        QVERIFY2(t.start(), qPrintable(t.one.output() + t.two.output()));
        t.a = t.open(t.one.port());
        t.b = t.open(t.two.port());
        QVERIFY(t.b->cdsMovCliente->recordCount() > 1);
        const int before = t.b->cdsMovCliente->recordCount();
        t.b->cdsMovCliente->setRecNo(1);
        const QString kept = t.current(*t.b);
        QSignalSpy told(t.b->netPagClie, &fw::TNetConnection::serverEvent);

        // Another account changes: nothing comes.
        const server::Ledger till(t.ledger.storage());
        post(till, C2, 3);
        QTest::qWait(3 * 200);
        QCOMPARE(told.size(), 0);

        // The other terminal's operator posts a debit by keys: here it appears, the operator
        // still on the movement.
        QApplication::setActiveWindow(t.a.get());
        t.a->dbgPadrao->setFocus();
        for (const int key : {int(Qt::Key_F2), int(Qt::Key_Down), int(Qt::Key_Tab), int(Qt::Key_Down), int(Qt::Key_Tab)})
            QTest::keyClick(QApplication::focusWidget(), Qt::Key(key));
        QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("12,5"));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_F10);
        QCOMPARE(t.a->cdsMovCliente->recordCount(), before + 1);
        QTRY_COMPARE_WITH_TIMEOUT(t.b->cdsMovCliente->recordCount(), before + 1, 5000);
        QCOMPARE(t.current(*t.b), kept);
        QVERIFY2(t.main.statusBar()->currentMessage().contains(QStringLiteral(": 1 lançamento de 0007")),
                 qPrintable(t.main.statusBar()->currentMessage()));

        // A burst: a handful of refreshes, ending current.
        told.clear();
        for (int i = 0; i < 1000; ++i)
            post(till, C1, 5 + i % 20, Consumer);
        QTRY_COMPARE_WITH_TIMEOUT(t.b->cdsMovCliente->recordCount(), before + 1001, 10000);
        QVERIFY2(told.size() < 40, qPrintable(QString::number(told.size())));
        QCOMPARE(t.current(*t.b), kept);
        QTRY_COMPARE_WITH_TIMEOUT(t.a->cdsMovCliente->recordCount(), before + 1001, 10000);
    }

    // An entry being typed is left alone; posting it brings in what came meanwhile.
    void anEntryInProgressIsNotDisturbed_data() { backends(); }
    void anEntryInProgressIsNotDisturbed()
    {
        QFETCH(QString, backend);
        Terminals t(backend);
        QVERIFY(t.start());
        t.b = t.open(t.two.port());
        const int before = t.b->cdsMovCliente->recordCount();
        QTest::keyClick(t.b->dbgPadrao, Qt::Key_F2);
        QCOMPARE(t.b->cdsMovCliente->state(), fw::DataSetState::Insert);
        QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("D"));
        const server::Ledger till(t.ledger.storage());
        post(till, C1, 4, Consumer);
        QTest::qWait(1500);
        QCOMPARE(t.b->cdsMovCliente->state(), fw::DataSetState::Insert);
        QCOMPARE(t.b->cdsMovCliente->recordCount(), before + 1); // the one being typed
        t.dialogs.answers = {fw::mrYes};
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
        QTRY_COMPARE_WITH_TIMEOUT(t.b->cdsMovCliente->recordCount(), before + 1, 5000);
        QCOMPARE(t.b->cdsMovCliente->state(), fw::DataSetState::Browse);
    }

    // The instance under a watching screen dies: the screen reconnects through the balancer,
    // watches again and catches up with what was posted meanwhile.
    void aKilledInstanceIsLeftAndCaughtUp_data() { backends(); }
    void aKilledInstanceIsLeftAndCaughtUp()
    {
        QFETCH(QString, backend);
        if (HaproxyFront::program().isEmpty())
            QSKIP("haproxy is not installed");
        Terminals t(backend);
        QVERIFY(t.start());
        HaproxyFront front({t.one.port(), t.two.port()});
        QVERIFY2(front.start(), qPrintable(front.output()));
        t.b = t.open(front.port());
        const int before = t.b->cdsMovCliente->recordCount();
        // The instance it is on goes.
        QTRY_VERIFY(t.one.connections() + t.two.connections() == 1);
        (t.one.connections() == 1 ? t.one : t.two).kill();
        QTRY_VERIFY(!t.b->netPagClie->connected());
        const server::Ledger till(t.ledger.storage());
        post(till, C1, 4, Consumer);
        QTRY_COMPARE_WITH_TIMEOUT(t.b->cdsMovCliente->recordCount(), before + 1, 15000);
        post(till, C1, 5, Consumer); // and watched again
        QTRY_COMPARE_WITH_TIMEOUT(t.b->cdsMovCliente->recordCount(), before + 2, 5000);
    }
};

QTEST_MAIN(TestLiveStatement)
#include "tst_livestatement.moc"
