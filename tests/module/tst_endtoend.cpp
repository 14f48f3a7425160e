#include "acc00420module.h"
#include "accountservice.h"
#include <framework/ui/btnpesquisa.h>
#include <framework/data/checkresultserv.h>
#include <framework/data/dbgeral.h>
#include "demoserver.h"
#include "testtls.h"
#include "testoperator.h"
#include <framework/data/serversession.h>
#include <framework/core/formatsettings.h>
#include <framework/ui/frmpadrao.h>
#include <framework/ui/hostservices.h>
#include <framework/core/logincontext.h>
#include "lossyproxy.h"
#include "modelcolumn.h"
#include "movementfields.h"
#include "recordingdialogs.h"
#include <framework/data/recordset.h>

#include <QLibrary>
#include <QMainWindow>
#include <QMdiArea>
#include <QSqlQuery>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>

namespace {

const QString Client = QStringLiteral("000000000000000000001");
const QString Consumer = QStringLiteral("000000000000000000002");

QWidget *focus()
{
    return QApplication::focusWidget();
}

void type(const QString &text)
{
    QTest::keyClicks(focus(), text);
}

void press(int key)
{
    QTest::keyClick(focus(), Qt::Key(key));
}

} // namespace

// The whole way, as the operator goes: the module loaded by QLibrary, the real server on a
// temporary demo database, the keyboard only.
class TestEndToEnd : public QObject
{
    Q_OBJECT

    std::unique_ptr<DemoServer> m_appServer;
    std::unique_ptr<QMainWindow> m_main;
    std::unique_ptr<RecordingDialogs> m_dialogs;
    std::unique_ptr<QLibrary> m_module;
    QPointer<fw::TfrmPadrao> m_screen;

    // The back office signed in at branch 0001 as a demo operator, reaching the server at `port`.
    void openScreen(quint16 port, const QString &operatorCode = QStringLiteral("0007"))
    {
        signInWith(fw::serverSession(), operatorCode, QStringLiteral("0001"), "demo" + operatorCode);
        fw::LoginContext context;
        context.filial = QStringLiteral("0001");
        context.operador = operatorCode;
        context.webPort = port;
        context.serverTls = m_appServer->tls();
        context.serverCa = testTlsFile("ca.pem");
        fw::setLoginContext(context);
        m_main = std::make_unique<QMainWindow>();
        auto *area = new QMdiArea(m_main.get());
        m_main->setCentralWidget(area);
        m_main->resize(1100, 700);
        m_main->show();
        QApplication::setActiveWindow(m_main.get());
        QVERIFY(QTest::qWaitForWindowActive(m_main.get()));
        fw::hostServices().mainWindow = m_main.get();
        fw::hostServices().mdiArea = area;
        reinterpret_cast<decltype(&IniProc)>(m_module->resolve("IniProc"))();
        m_screen = reinterpret_cast<decltype(&frmPagClie)>(m_module->resolve("frmPagClie"))->data();
        QVERIFY(m_screen);
        QTRY_COMPARE(focus()->objectName(), QStringLiteral("medCdCliente"));
    }

    // The client by its CNPJ, consumer 2 by its short code, out of the panel: the statement.
    void loadStatementByKeys()
    {
        type(QStringLiteral("11222333000181"));
        press(Qt::Key_Tab);
        type(QStringLiteral("2"));
        press(Qt::Key_Tab);
        press(Qt::Key_Tab);
        QVERIFY2(m_dialogs->shown.isEmpty(), qPrintable(m_dialogs->texts().join('\n')));
        QVERIFY(m_screen->dtsPadrao->dataSet()->active());
    }

    // F2, a debit of `value` for the company, an observation, F10.
    void enterDebitByKeys(const QString &value, const QString &observation)
    {
        press(Qt::Key_F2);
        QCOMPARE(focus()->objectName(), QStringLiteral("cbbTipo"));
        press(Qt::Key_Down); // the first type, "Débito"
        press(Qt::Key_Tab);
        press(Qt::Key_Down); // "Empresa"
        press(Qt::Key_Tab);
        type(value);
        press(Qt::Key_Tab);
        type(observation);
        press(Qt::Key_F10);
    }

    // The whole account as the server gives it now, every consumer, in balance order.
    std::unique_ptr<fw::RecordSet> accountOnTheServer()
    {
        fw::TNetConnection connection;
        connection.setServerName(QLatin1String(acc00420::AccountService::ObjectName));
        connection.setPort(m_appServer->port());
        connection.setTls(m_appServer->tls(), testAuthority());
        signInOnOpen(connection, QStringLiteral("0007"), QStringLiteral("0001"), QStringLiteral("demo0007"));
        acc00420::AccountService service(connection);
        QString consumer, all = QStringLiteral("T");
        auto set = std::make_unique<fw::RecordSet>();
        acc00420::defineMovementFields(*set);
        set->loadFromPacket(
            fw::CheckResultServ(service.getMovCliente(consumer, all, Client, QDateTime(QDate(2000, 1, 1), QTime(0, 0))), true, 0)
                .bytes());
        return set;
    }

private slots:
    void init()
    {
        m_appServer = std::make_unique<DemoServer>();
        QVERIFY(m_appServer->listening());
        m_dialogs = std::make_unique<RecordingDialogs>();
        m_module = std::make_unique<QLibrary>(QStringLiteral(PKG_ACC00420_PATH));
        QVERIFY2(m_module->load(), qPrintable(m_module->errorString()));
    }
    void cleanup()
    {
        m_dialogs->answers = {fw::mrYes}; // a failed test may leave an entry to discard
        if (m_screen)
            m_screen->close();
        QTRY_VERIFY(!m_screen);
        m_main.reset();
        m_dialogs.reset();
        m_appServer.reset();
    }

    // What the operator has no right to is disabled: the till's operator posts but cancels nothing.
    void actionsFollowTheOperatorsRights_data()
    {
        QTest::addColumn<QString>("operatorCode");
        QTest::addColumn<bool>("cancels");
        QTest::newRow("every right") << "0007" << true;
        QTest::newRow("consultar and lancar") << "0012" << false;
    }
    void actionsFollowTheOperatorsRights()
    {
        QFETCH(QString, operatorCode);
        QFETCH(bool, cancels);
        openScreen(m_appServer->port(), operatorCode);
        loadStatementByKeys();
        QCOMPARE(fw::serverSession().grant().nome, operatorCode == "0007" ? QStringLiteral("Operador Demonstração")
                                                                          : QStringLiteral("Caixa Demonstração"));
        QVERIFY(m_screen->findChild<QToolButton *>("sbtIncluir")->isEnabled());
        QCOMPARE(m_screen->findChild<QWidget *>("btfCancelamento")->isEnabled(), cancels);
        QCOMPARE(m_screen->findChild<QAction *>("mnuCancelamento")->isEnabled(), cancels);
    }

    void pickClientAndConsumerByKeyboardAndReadTheStatement()
    {
        openScreen(m_appServer->port());
        auto *screen = m_screen.data();
        RecordingDialogs &dialogs = *m_dialogs;

        // The client by its CNPJ, then Tab to the consumer.
        QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("11222333000181"));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget()->objectName(), QStringLiteral("edtConsumidor"));
        QCOMPARE(screen->findChild<QLineEdit *>("edtNmCliente")->text(), QStringLiteral("Cantina Metalúrgica Sul"));

        // F4 lists the consumers; typing the start of a code finds it, Enter takes it.
        bool listed = false;
        QTimer operatorAtTheList; // the list opens after the server answered
        connect(&operatorAtTheList, &QTimer::timeout, [&] {
            auto *list = qobject_cast<fw::SearchListDialog *>(QApplication::activeModalWidget());
            if (!list)
                return;
            operatorAtTheList.stop();
            listed = list->list()->model()->rowCount() == 4;
            QTest::keyClicks(list->finder(), QStringLiteral("000000000000000000002"));
            QTest::keyClick(list->finder(), Qt::Key_Return);
        });
        operatorAtTheList.start(10);
        QVERIFY(QApplication::focusWidget());
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_F4);
        QVERIFY(listed);
        const QString consumer = QStringLiteral("000000000000000000002");
        QCOMPARE(screen->findChild<QLineEdit *>("edtConsumidor")->text(), consumer);
        QCOMPARE(screen->findChild<QLineEdit *>("edtNmConsum")->text(), QStringLiteral("Bruno Henrique Alves"));

        // Tab to the start date, Tab out of the panel: the statement loads.
        QTRY_VERIFY(QApplication::focusWidget());
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget()->objectName(), QStringLiteral("dateText"));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QVERIFY2(dialogs.shown.isEmpty(), qPrintable(dialogs.texts().join('\n')));

        const qint64 start = QDateTime(QDate::currentDate().addDays(-60), QTime(0, 0)).toMSecsSinceEpoch();
        QSqlQuery expected(fw::dtmDBGeral().database());
        expected.prepare(QStringLiteral("SELECT NRSEQMOVCLI, VRSALDOCONS, VRSALDPECONS FROM MOVICLIE WHERE CDCLIENTE = ?"
                                        " AND CDCONSUMIDOR = ? AND DTMOVCLI >= ? ORDER BY DTMOVCLI, NRSEQMOVCLI"));
        expected.addBindValue(QStringLiteral("000000000000000000001"));
        expected.addBindValue(consumer);
        expected.addBindValue(start);
        QVERIFY(expected.exec());
        QAbstractItemModel *grid = screen->dbgPadrao->model();
        auto column = [&](const QString &field) { return modelColumnOf(*screen->dbgPadrao->recordModel(), field); };
        int row = 0;
        while (expected.next()) {
            QVERIFY(row < grid->rowCount());
            QCOMPARE(grid->index(row, column("VRSALDOCONS")).data().toString(),
                     fw::FormatFloat(QStringLiteral("0.00"), expected.value(1).toLongLong() / 100.0));
            QCOMPARE(grid->index(row, column("VRSALDPECONS")).data().toString(),
                     fw::FormatFloat(QStringLiteral("0.00"), expected.value(2).toLongLong() / 100.0));
            ++row;
        }
        QVERIFY(row > 0);
        QCOMPARE(grid->rowCount(), row);
    }

    void aDebitTypedByKeysIsStoredAndBalanced()
    {
        openScreen(m_appServer->port());
        loadStatementByKeys();
        enterDebitByKeys(QStringLiteral("12,34"), QStringLiteral("Acerto de caixa"));
        QCOMPARE(m_dialogs->texts(), QStringList{QStringLiteral("Inclusão de lançamento realizada com sucesso.")});
        fw::RecordSet &statement = *m_screen->dtsPadrao->dataSet();
        const QString number = statement.fieldByName(QStringLiteral("NRSEQMOVCLI")).asString();
        QCOMPARE(statement.fieldByName(QStringLiteral("DSHISTMOV")).asString(), QStringLiteral("Acerto de caixa"));

        // Read back from the server: the debit as typed, its balances run on from the one before.
        const auto account = accountOnTheServer();
        QVERIFY(account->locate(QStringLiteral("NRSEQMOVCLI"), number));
        auto cents = [&](const char *field) { return qRound64(account->fieldByName(QLatin1String(field)).asFloat() * 100); };
        QCOMPARE(account->fieldByName(QStringLiteral("IDTIPMOCVLI")).asString(), QStringLiteral("D"));
        QCOMPARE(cents("VRMOVCLI"), 1234);
        QCOMPARE(cents("VRMOVPESCONS"), 0);
        QCOMPARE(account->fieldByName(QStringLiteral("CDCONSUMIDOR")).asString(), Consumer);
        QCOMPARE(account->fieldByName(QStringLiteral("CDOPERADOR")).asString(), QStringLiteral("0007"));
        const qint64 company = cents("VRSALDOCONS"), personal = cents("VRSALDPECONS");
        QVERIFY(account->recNo() > 0);
        account->prior();
        QCOMPARE(company, cents("VRSALDOCONS") - 1234);
        QCOMPARE(personal, cents("VRSALDPECONS"));
    }

    void showingTheScreenAgainKeepsTheStatement()
    {
        openScreen(m_appServer->port());
        loadStatementByKeys();
        fw::RecordSet &statement = *m_screen->dtsPadrao->dataSet();
        const int rows = statement.recordCount();
        statement.last();
        reinterpret_cast<decltype(&IniProc)>(m_module->resolve("IniProc"))();
        QCoreApplication::processEvents(); // what showing it again set off
        QVERIFY(statement.active());
        QCOMPARE(statement.recordCount(), rows);
        QCOMPARE(statement.recNo(), rows - 1);
        QCOMPARE(focus()->objectName(), QStringLiteral("dbgPadrao"));
    }

    void aSendWhoseReplyWasLostIsStoredOnce()
    {
        m_appServer.reset(); // it closes the shared database as it goes
        m_appServer = std::make_unique<DemoServer>(false); // the proxy reads the frames
        LossyProxy proxy(m_appServer->port(), QStringLiteral("SetMovCliente"));
        openScreen(proxy.port());
        loadStatementByKeys();
        const int before = accountOnTheServer()->recordCount();
        enterDebitByKeys(QStringLiteral("5,00"), QStringLiteral("Primeiro"));
        QCOMPARE(proxy.lostReplies(), 1);
        QCOMPARE(m_dialogs->shown.size(), 1); // the failed send, and nothing after it
        fw::RecordSet &statement = *m_screen->dtsPadrao->dataSet();
        QCOMPARE(statement.changeCount(), 1);   // still pending on the screen
        QCOMPARE(accountOnTheServer()->recordCount(), before + 1); // though the server has it

        // The next entry carries the pending one along: the server takes it once.
        m_dialogs->shown.clear();
        enterDebitByKeys(QStringLiteral("7,00"), QStringLiteral("Segundo"));
        QCOMPARE(m_dialogs->texts(), QStringList{QStringLiteral("Inclusão de lançamento realizada com sucesso.")});
        QCOMPARE(statement.changeCount(), 0);
        const auto account = accountOnTheServer();
        QCOMPARE(account->recordCount(), before + 2);
        QStringList observations;
        for (account->first(); !account->eof(); account->next())
            observations.append(account->fieldByName(QStringLiteral("DSHISTMOV")).asString());
        QCOMPARE(observations.count(QStringLiteral("Primeiro")), 1);
        QCOMPARE(observations.count(QStringLiteral("Segundo")), 1);
    }

    void aSaleMovementCancelledWithItsSaleAndReceipt()
    {
        openScreen(m_appServer->port());
        loadStatementByKeys();
        // A debit of consumer 2 that came from a sale at this branch, with a movement of the
        // statement's period before it in the account.
        const QDateTime start(QDate::currentDate().addDays(-60), QTime(0, 0));
        auto account = accountOnTheServer();
        QString number;
        for (account->first(); !account->eof() && number.isEmpty(); account->next()) {
            const bool candidate = account->recNo() > 0 && account->fieldByName(QStringLiteral("IDTIPMOCVLI")).asString() == "D"
                && !account->fieldByName(QStringLiteral("NRSEQVENDA")).asString().isEmpty()
                && account->fieldByName(QStringLiteral("CDCONSUMIDOR")).asString() == Consumer
                && account->fieldByName(QStringLiteral("CDFILIAL")).asString() == "0001"; // the session's branch
            if (!candidate)
                continue;
            const QString here = account->fieldByName(QStringLiteral("NRSEQMOVCLI")).asString();
            account->prior();
            if (account->fieldByName(QStringLiteral("DTMOVCLI")).asDateTime() >= start)
                number = here;
            account->next();
        }
        QVERIFY(!number.isEmpty());
        fw::RecordSet &statement = *m_screen->dtsPadrao->dataSet();
        QVERIFY(statement.locate(QStringLiteral("NRSEQMOVCLI"), number));
        const QString branch = statement.fieldByName(QStringLiteral("CDFILIAL")).asString();
        const QString till = statement.fieldByName(QStringLiteral("CDCAIXA")).asString();
        const QString sale = statement.fieldByName(QStringLiteral("NRSEQVENDA")).asString();

        m_dialogs->answers = {fw::mrYes, fw::mrYes};
        QTest::keyClick(focus(), Qt::Key_M, Qt::ControlModifier);
        QCOMPARE(m_dialogs->texts(), (QStringList{QStringLiteral("Confirma cancelamento ?"),
                                                  QStringLiteral("Confirma cancelamento da venda?")}));
        QCOMPARE(statement.fieldByName(QStringLiteral("NRSEQMOVCLI")).asString(), number);
        QCOMPARE(statement.fieldByName(QStringLiteral("IDTIPMOCVLI")).asString(), QStringLiteral("X"));

        account = accountOnTheServer();
        QVERIFY(account->locate(QStringLiteral("NRSEQMOVCLI"), number));
        QCOMPARE(account->fieldByName(QStringLiteral("IDTIPMOCVLI")).asString(), QStringLiteral("X"));
        QCOMPARE(account->fieldByName(QStringLiteral("DSATUMOVCLIE")).asString(), QStringLiteral("Cancelado pelo operador."));
        QCOMPARE(account->fieldByName(QStringLiteral("CDOPERADOR")).asString(), QStringLiteral("0007"));
        const double company = account->fieldByName(QStringLiteral("VRSALDOCONS")).asFloat();
        const double personal = account->fieldByName(QStringLiteral("VRSALDPECONS")).asFloat();
        account->prior(); // a cancelled movement counts zero
        QCOMPARE(company, account->fieldByName(QStringLiteral("VRSALDOCONS")).asFloat());
        QCOMPARE(personal, account->fieldByName(QStringLiteral("VRSALDPECONS")).asFloat());

        QSqlQuery q(fw::dtmDBGeral().database());
        q.prepare(QStringLiteral("SELECT V.IDSITVENDA, V.DSCANCVENDA, R.IDSITRECE FROM VENDA V JOIN RECEBIMENTO R"
                                 " ON R.CDFILIAL = V.CDFILIAL AND R.CDCAIXA = V.CDCAIXA AND R.NRSEQVENDA = V.NRSEQVENDA"
                                 " WHERE V.CDFILIAL = ? AND V.CDCAIXA = ? AND V.NRSEQVENDA = ?"));
        q.addBindValue(branch);
        q.addBindValue(till);
        q.addBindValue(sale);
        QVERIFY(q.exec());
        int receipts = 0;
        while (q.next()) {
            ++receipts;
            QCOMPARE(q.value(0).toString(), QStringLiteral("X"));
            QVERIFY(q.value(1).toString().startsWith(QStringLiteral("A venda foi cancelada pelo operador -0007-")));
            QCOMPARE(q.value(2).toString(), QStringLiteral("X"));
        }
        QVERIFY(receipts > 0);
    }
};

QTEST_MAIN(TestEndToEnd)
#include "tst_endtoend.moc"
