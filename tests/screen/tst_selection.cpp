#include <framework/ui/busyindicator.h>
#include <framework/core/checks.h>
#include <framework/data/datapacket.h>
#include <framework/data/dbgeral.h>
#include "fakeappserver.h"
#include <framework/core/logincontext.h>
#include "movementfields.h"
#include "recordingdialogs.h"
#include "screen.h"
#include "sharedclients.h"
#include "statementpacket.h"

#include <QApplication>
#include <QMainWindow>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPointer>
#include <QTimer>
#include <QTemporaryDir>
#include <QTest>

using namespace acc00420;

// The selection panel driven by focus and keys, against a recording fake server and a small
// shared database.
class TestSelection : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    FakeAppServer *m_server = nullptr;
    QPointer<TfrmPagClie> m_screen; // a test may close it, and closing frees it
    RecordingDialogs *m_dialogs = nullptr;

    TfrmPagClie &s() { return *m_screen; }

    // A consumer known to the fake server: code 000…42, "Ana".
    void knownConsumer()
    {
        m_server->answer("getConsumidor", [](const fw::Request &r) {
            const QString code = r.args.at(1).toString();
            const bool all = r.args.at(2).toString() == "T";
            QList<std::pair<QString, QString>> rows;
            if (all || code == QString(19, u'0') + "42")
                rows.append({QString(19, u'0') + "42", "Ana"});
            if (all)
                rows.append({QString(19, u'0') + "43", "Bruno"});
            return fw::encodeReply(r.id, fw::encodeEnvelope(true, {}, QByteArrayView(consumersPacket(C1, rows))));
        });
    }

    void typeClient(const QString &number)
    {
        s().medCdCliente->setFocus();
        s().medCdCliente->home(false);
        QTest::keyClicks(s().medCdCliente, number);
    }

    void leavePanel() { s().dbgPadrao->setFocus(); }

private slots:
    void initTestCase() { createSharedClients(m_dir.filePath("shared.db")); }
    void cleanupTestCase() { fw::dtmDBGeral().close(); }

    void init()
    {
        m_dialogs = new RecordingDialogs;
        m_server = new FakeAppServer;
        fw::LoginContext context;
        context.filial = "0001";
        context.operador = "0007";
        context.webPort = m_server->port();
        context.serverTls = false; // the stand-in server speaks plain TCP
        fw::setLoginContext(context);
        m_server->answerOk("setAtualizaCons", true);
        m_server->answerOkPacket("getMovCliente", statementPacket({{"0000000001", "D", 10.0}, {"0000000002", "C", 5.0}}));
        m_screen = new TfrmPagClie;
        m_screen->create();
        m_screen->show();
        QApplication::setActiveWindow(m_screen);
        QVERIFY(QTest::qWaitForWindowActive(m_screen));
        m_screen->medCdCliente->setFocus();
        QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget *>(m_screen->medCdCliente));
    }
    void cleanup()
    {
        delete m_screen;
        delete m_server;
        delete m_dialogs;
    }

    void leavingThePanelChecksInOrder_data()
    {
        QTest::addColumn<QString>("client");
        QTest::addColumn<QString>("consumer");
        QTest::addColumn<bool>("date");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("focus");
        QTest::addColumn<QStringList>("calls");
        QTest::newRow("all blank: only the client") << "" << "" << false << "Cliente deve ser informado." << "medCdCliente" << QStringList{};
        QTest::newRow("unknown number") << "12345678909" << "" << true << "Cliente não cadastrado." << "medCdCliente" << QStringList{};
        QTest::newRow("registered at another branch") << "39053344705" << "42" << true << "Cliente não cadastrado." << "medCdCliente" << QStringList{};
        QTest::newRow("no consumer") << CPF << "" << true << "Consumidor deve ser informado." << "edtConsumidor" << QStringList{};
        QTest::newRow("unknown consumer") << CPF << "77" << true << "Consumidor não cadastrado." << "edtConsumidor" << QStringList{"getConsumidor"};
        QTest::newRow("no start date") << CPF << "42" << false << "Data inicial deve ser informada." << "dateText" << QStringList{"getConsumidor"};
    }
    void leavingThePanelChecksInOrder()
    {
        QFETCH(QString, client);
        QFETCH(QString, consumer);
        QFETCH(bool, date);
        QFETCH(QString, message);
        QFETCH(QString, focus);
        QFETCH(QStringList, calls);
        knownConsumer();
        s().depDe->setFocus(); // the fields filled in without their own exits
        s().medCdCliente->setText(client);
        s().edtConsumidor->setText(consumer);
        if (!date)
            s().depDe->SetDate(QDate());
        m_dialogs->shown.clear();
        m_server->calls.clear();
        leavePanel();
        QCOMPARE(m_dialogs->texts(), QStringList{message});
        QCOMPARE(QApplication::focusWidget()->objectName(), focus);
        QCOMPARE(m_server->methods(), calls);
        QVERIFY(!s().cdsMovCliente->active()); // the statement stays closed
    }

    void closingWithAnUnvalidatedCodeRunsNoCheck_data()
    {
        QTest::addColumn<bool>("client"); // else a consumer the client doesn't have
        QTest::newRow("unknown client number") << true;
        QTest::newRow("unknown consumer") << false;
    }
    void closingWithAnUnvalidatedCodeRunsNoCheck()
    {
        QFETCH(bool, client);
        knownConsumer();
        // In a back office, as the host holds it: closing moves the focus within the main window.
        delete m_screen;
        QMainWindow main;
        auto *area = new QMdiArea(&main);
        main.setCentralWidget(area);
        main.resize(1000, 700);
        m_screen = new TfrmPagClie;
        m_screen->create();
        area->addSubWindow(m_screen)->setAttribute(Qt::WA_DeleteOnClose);
        main.show();
        QApplication::setActiveWindow(&main);
        QVERIFY(QTest::qWaitForWindowActive(&main));
        m_screen->medCdCliente->setFocus();
        if (client) {
            typeClient("12345678909");
        } else {
            typeClient(CPF);
            QTest::keyClick(s().medCdCliente, Qt::Key_Tab);
            QTest::keyClicks(s().edtConsumidor, "77");
        }
        m_dialogs->shown.clear();
        m_server->calls.clear();
        QPointer<TfrmPagClie> screen = m_screen;
        QVERIFY(m_screen->close());
        QTRY_VERIFY(!screen); // destroyed, with the focus still in the edit
        m_screen = nullptr;
        QVERIFY(m_dialogs->shown.isEmpty());
        QVERIFY(m_server->calls.isEmpty());
    }

    void anImpossibleDateIsRefusedByTheDateEdit()
    {
        knownConsumer();
        typeClient(CPF);
        QTest::keyClick(s().medCdCliente, Qt::Key_Tab);
        QTest::keyClicks(s().edtConsumidor, "42");
        QTest::keyClick(s().edtConsumidor, Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget()->objectName(), QStringLiteral("dateText"));
        s().depDe->edit()->selectAll();
        QTest::keyClicks(QApplication::focusWidget(), "31022026");
        m_dialogs->shown.clear();
        m_server->calls.clear();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab); // out of the panel
        QCOMPARE(m_dialogs->texts(), QStringList{"Data inválida."});
        QCOMPARE(QApplication::focusWidget()->objectName(), QStringLiteral("dateText"));
        QVERIFY(m_server->calls.isEmpty());
        QVERIFY(!s().cdsMovCliente->active());
    }

    void theClientSearchFromAnotherFieldSelects()
    {
        s().edtConsumidor->setFocus();
        QString listedNumber;
        m_dialogs->chooser = [&](QWidget *, const QString &title, fw::RecordSet &set) {
            listedNumber = set.displayTextAt(0, set.fieldByName("NRINSJURCLIE").index());
            return title == "Cliente" ? std::optional<int>(0) : std::nullopt;
        };
        QVERIFY(s().btnCliente->search());
        QCOMPARE(listedNumber, QStringLiteral("529.982.247-25")); // the list shows it masked
        m_dialogs->chooser = {};
        QVERIFY(m_dialogs->shown.isEmpty());
        QCOMPARE(s().edtNmCliente->text(), QStringLiteral("João Batista"));
        QCOMPARE(s().selectedClient(), C1);
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget *>(s().medCdCliente));
    }

    void f4WithAModifierIsNotTheSearch_data()
    {
        QTest::addColumn<int>("modifiers");
        QTest::newRow("Ctrl+F4") << int(Qt::ControlModifier);
        QTest::newRow("Shift+F4") << int(Qt::ShiftModifier);
    }
    void f4WithAModifierIsNotTheSearch()
    {
        QFETCH(int, modifiers);
        knownConsumer();
        typeClient(CPF);
        QTest::keyClick(s().medCdCliente, Qt::Key_Tab);
        bool listed = false;
        m_dialogs->chooser = [&](QWidget *, const QString &, fw::RecordSet &) {
            listed = true;
            return std::optional<int>();
        };
        QPointer<TfrmPagClie> screen = m_screen;
        QTest::keyClick(s().edtConsumidor, Qt::Key_F4, Qt::KeyboardModifiers(modifiers));
        m_dialogs->chooser = {};
        QVERIFY(!listed);
        if (modifiers == Qt::ControlModifier) { // it closes the screen, as everywhere
            QTRY_VERIFY(!screen);
            m_screen = nullptr;
        }
    }

    void blankFieldsLeftAloneShowNothing()
    {
        s().edtConsumidor->setFocus(); // leaves the blank client
        s().depDe->setFocus();         // leaves the blank consumer
        QVERIFY(m_dialogs->shown.isEmpty());
        QVERIFY(m_server->calls.isEmpty());
    }

    void consumerSearchNeedsAClientAndCallsNothing()
    {
        QVERIFY(!s().btnConsumidor->search());
        QCOMPARE(m_dialogs->texts(), QStringList{"Cliente deve ser informado."});
        QVERIFY(m_server->calls.isEmpty());
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget *>(s().medCdCliente));
    }

    void numberIsNormalisedAndMasked()
    {
        typeClient("529.982.247-25");
        QTest::keyClick(s().medCdCliente, Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget *>(s().edtConsumidor));
        QCOMPARE(s().medCdCliente->editMask(), fw::PictPess("F"));
        QCOMPARE(s().medCdCliente->text(), QStringLiteral("529.982.247-25"));
        QCOMPARE(s().edtNmCliente->text(), QStringLiteral("João Batista"));
        QVERIFY(m_dialogs->shown.isEmpty());
        // Back in it with Alt+N: the choice is dropped, the number still reads through its mask
        // (and nothing of the consumer goes: looking is no change); the first key typed over it
        // opens the mask for a number of any length.
        knownConsumer();
        s().edtConsumidor->setText("42");
        QTest::keyClick(s().edtConsumidor, Qt::Key_N, Qt::AltModifier);
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget *>(s().medCdCliente));
        QVERIFY(!s().qryCliente->active());
        QCOMPARE(s().medCdCliente->text(), QStringLiteral("529.982.247-25"));
        QCOMPARE(s().edtConsumidor->text(), QString(19, u'0') + "42");
        QTest::keyClick(s().medCdCliente, Qt::Key_Return); // edits nothing
        QCOMPARE(s().medCdCliente->text(), QStringLiteral("529.982.247-25"));
        QTest::keyClicks(s().medCdCliente, "11222333000181");
        QCOMPARE(s().medCdCliente->editMask(), fw::PictPess("I"));
        QCOMPARE(s().medCdCliente->Text(), QStringLiteral("11222333000181"));
        QVERIFY(s().edtConsumidor->text().isEmpty());
    }

    void shortConsumerCodeIsSentAndShownAdjusted()
    {
        knownConsumer();
        typeClient(CPF);
        QTest::keyClick(s().medCdCliente, Qt::Key_Tab);
        QTest::keyClicks(s().edtConsumidor, "42");
        QTest::keyClick(s().edtConsumidor, Qt::Key_Tab);
        const QString adjusted = QString(19, u'0') + "42";
        QCOMPARE(s().edtConsumidor->text(), adjusted);
        QCOMPARE(s().edtNmConsum->text(), QStringLiteral("Ana"));
        QCOMPARE(m_server->methods(), QStringList{"getConsumidor"});
        const QCborArray args = m_server->calls.first().args;
        QCOMPARE(args.at(0).toString(), C1);
        QCOMPARE(args.at(1).toString(), adjusted);
        QCOMPARE(args.at(2).toString(), QString());
        QCOMPARE(args.at(3).toString(), QStringLiteral("0001"));
    }

    void consumerSearchListsTheClientsConsumers()
    {
        knownConsumer();
        typeClient(CPF);
        QTest::keyClick(s().medCdCliente, Qt::Key_Tab);
        m_dialogs->chooser = [](QWidget *, const QString &title, fw::RecordSet &set) {
            return title == "Consumidor" && set.recordCount() == 2 ? std::optional<int>(1) : std::nullopt;
        };
        QTest::keyClick(s().edtConsumidor, Qt::Key_F4);
        m_dialogs->chooser = {};
        QCOMPARE(s().edtConsumidor->text(), QString(19, u'0') + "43");
        QCOMPARE(s().edtNmConsum->text(), QStringLiteral("Bruno"));
        const QCborArray args = m_server->calls.first().args;
        QCOMPARE(args.at(1).toString(), QString());
        QCOMPARE(args.at(2).toString(), QStringLiteral("T"));
    }

    void loadingSendsItsArgumentsInOrder()
    {
        knownConsumer();
        typeClient(CPF);
        QTest::keyClick(s().medCdCliente, Qt::Key_Tab);
        QTest::keyClicks(s().edtConsumidor, "42");
        QTest::keyClick(s().edtConsumidor, Qt::Key_Tab);
        s().depDe->SetDate(QDate(2026, 10, 1));
        m_server->calls.clear();
        leavePanel();
        QVERIFY(m_dialogs->shown.isEmpty());
        // Watched before it is read: a change between the two is told, not lost.
        QCOMPARE(m_server->methods(), (QStringList{"getConsumidor", "setAtualizaCons", "acompanhar", "getMovCliente"}));
        const QString consumer = QString(19, u'0') + "42";
        const QCborArray recalc = m_server->calls[1].args;
        QCOMPARE(recalc.at(0).toString(), QStringLiteral("0001"));
        QCOMPARE(recalc.at(1).toString(), C1);
        QCOMPARE(recalc.at(2).toString(), consumer);
        QCOMPARE(fw::dateTimeFromCbor(recalc.at(3)), std::optional(QDateTime(QDate(2026, 10, 1), QTime(0, 0))));
        QCOMPARE(recalc.at(4).toString(), QStringLiteral("0007"));
        const QCborArray load = m_server->calls[3].args;
        QCOMPARE(load.at(0).toString(), consumer);
        QCOMPARE(load.at(1).toString(), QString()); // one consumer: the flag is empty
        QCOMPARE(load.at(2).toString(), C1);
        QCOMPARE(fw::dateTimeFromCbor(load.at(3)), std::optional(QDateTime(QDate(2026, 10, 1), QTime(0, 0))));
        QCOMPARE(s().cdsMovCliente->recordCount(), 2);
        QVERIFY(s().pageEnabled(s().tshFormulario));
        QVERIFY(s().mnuFormulario->isEnabled());
        QCOMPARE(s().cdsMovCliente->state(), fw::DataSetState::Browse);
    }

    void anEmptyStatementLeavesOnlyTheIncludeButton()
    {
        knownConsumer();
        m_server->answerOkPacket("getMovCliente", statementPacket({}));
        s().depDe->setFocus();
        s().medCdCliente->setText(CPF);
        s().edtConsumidor->setText("42");
        leavePanel();
        QVERIFY(m_dialogs->shown.isEmpty());
        QVERIFY(s().cdsMovCliente->active());
        QVERIFY(s().cdsMovCliente->isEmpty());
        QVERIFY(!s().pageEnabled(s().tshFolhaDados));
        QVERIFY(!s().pageEnabled(s().tshFormulario));
        QVERIFY(!s().mnuFolhaDados->isEnabled());
        QVERIFY(!s().mnuFormulario->isEnabled());
        QVERIFY(s().sbtIncluir->isEnabled());
        QVERIFY(s().mnuIncluir->isEnabled());
    }

    void reenteringThePanelClosesTheStatement()
    {
        knownConsumer();
        s().depDe->setFocus();
        s().medCdCliente->setText(CPF);
        s().edtConsumidor->setText("42");
        leavePanel();
        QVERIFY(s().cdsMovCliente->active());
        s().SetActivePage(s().tshFormulario);
        s().edtConsumidor->setFocus();
        QVERIFY(!s().cdsMovCliente->active());
        QCOMPARE(s().activePage(), s().tshFolhaDados);
        QVERIFY(s().mnuFolhaDados->isChecked());
        QVERIFY(!s().mnuFormulario->isChecked());
        QVERIFY(!s().pageEnabled(s().tshFormulario));
        QVERIFY(s().pageEnabled(s().tshFolhaDados));
    }

    // Five movements in two parts and the reply, 200 ms apart; what the screen shows once the
    // first part is in, and after the operator (or the server) interrupts the reading there.
    void aStatementInPartsShowsItsFirstRowsAtOnce_data()
    {
        QTest::addColumn<QString>("interruption");
        QTest::addColumn<int>("rowsAtTheEnd"); // -1: the statement closed
        QTest::addColumn<QStringList>("messages");
        QTest::newRow("read whole") << "" << 5 << QStringList();
        QTest::newRow("panel entered again") << "panel" << -1 << QStringList();
        QTest::newRow("screen closed") << "close" << -1 << QStringList();
        QTest::newRow("failure after parts") << "failure" << -1 << QStringList{"Banco indisponível; tente novamente."};
    }

    void aStatementInPartsShowsItsFirstRowsAtOnce()
    {
        QFETCH(QString, interruption);
        QFETCH(int, rowsAtTheEnd);
        QFETCH(QStringList, messages);
        QList<TestMovement> movements;
        for (int i = 1; i <= 5; ++i)
            movements.append({QStringLiteral("%1").arg(i, 10, 10, QChar(u'0')), "D", double(i)});
        m_server->answerInParts("getMovCliente", {statementPacket(movements.mid(0, 2)), statementPacket(movements.mid(2, 2))}, 5, 200);
        if (interruption == "failure")
            m_server->answerFailure("getMovCliente", "Banco indisponível; tente novamente.");
        else
            m_server->answerOkPacket("getMovCliente", statementPacket(movements.mid(4)));
        knownConsumer();
        const auto read = [&] {
            s().depDe->setFocus();
            s().medCdCliente->setText(CPF);
            s().edtConsumidor->setText("42");
            leavePanel();
        };
        int rowsShown = 0;
        QString busyText;
        connect(s().cdsMovCliente, &fw::RecordSet::reset, this, [&] { // the first part opens it
            QTimer::singleShot(0, this, [&] { // once the first part is in, before the next comes
                rowsShown = s().dbgPadrao->model()->rowCount();
                busyText = fw::busyIndicatorText();
                if (interruption == "panel")
                    s().medCdCliente->setFocus();
                else if (interruption == "close")
                    s().close();
            });
        }, Qt::SingleShotConnection);
        read();

        QCOMPARE(rowsShown, 2);
        QCOMPARE(busyText, QStringLiteral("Consultando... 2 de 5 lançamentos"));
        QVERIFY(!fw::busyIndicatorVisible());
        QCOMPARE(m_dialogs->texts(), messages);
        m_dialogs->shown.clear();
        if (interruption == "close") {
            QTRY_VERIFY(!m_screen);
            return;
        }
        QCOMPARE(s().cdsMovCliente->active() ? s().cdsMovCliente->recordCount() : -1, rowsAtTheEnd);
        if (interruption == "panel") // the panel works on, and a second reading is whole
            QCOMPARE(s().medCdCliente->window()->focusWidget(), s().medCdCliente);
        QTest::qWait(600); // what was still on its way is dropped, and the connection serves on
        m_server->answerOkPacket("getMovCliente", statementPacket(movements));
        m_server->answerInParts("getMovCliente", {}, 5, 0);
        read();
        QCOMPARE(m_dialogs->texts(), QStringList());
        QCOMPARE(s().cdsMovCliente->recordCount(), 5);
    }

    void aFailingServerCallHidesTheIndicatorAndKeepsTheStatementClosed()
    {
        knownConsumer();
        m_server->answerFailure("getMovCliente", "Banco indisponível; tente novamente.");
        s().depDe->setFocus();
        s().medCdCliente->setText(CPF);
        s().edtConsumidor->setText("42");
        leavePanel();
        QCOMPARE(m_dialogs->texts(), QStringList{"Banco indisponível; tente novamente."});
        QVERIFY(!fw::busyIndicatorVisible());
        QVERIFY(!s().cdsMovCliente->active());
    }
};

QTEST_MAIN(TestSelection)
#include "tst_selection.moc"
