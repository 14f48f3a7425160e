#include "acc00420module.h"
#include <framework/ui/btnpesquisa.h>
#include <framework/ui/dbgrid.h>
#include <framework/data/adoibquery.h>
#include <framework/data/netconnection.h>
#include "demoserver.h"
#include "ledger.h"
#include "postedledger.h"
#include "testtls.h"
#include <framework/ui/frmpadrao.h>
#include <framework/ui/hostservices.h>
#include <framework/core/logincontext.h>
#include <framework/ui/messageboxdialogs.h>
#include <framework/ui/operatorsignin.h>
#include <framework/ui/signindialog.h>

#include <QLabel>
#include <QLibrary>
#include <QMainWindow>
#include <QMdiArea>
#include <QMessageBox>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QProcess>
#include <QRadioButton>
#include <QScreen>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

// The back office in a real X session under a window manager, driven by real key and mouse
// events (xdotool): what only a real window shows, the focus after a modal dialog above all.
class TestRealWindow : public QObject
{
    Q_OBJECT

    std::unique_ptr<DemoServer> m_appServer;
    std::unique_ptr<QMainWindow> m_main;
    fw::MessageBoxDialogs m_dialogs;
    std::unique_ptr<QLibrary> m_module;
    QPointer<fw::TfrmPadrao> m_screen;
    int m_shot = 0;

    static void xdotool(const QStringList &args)
    {
        QCOMPARE(QProcess::execute(QStringLiteral("xdotool"), args), 0);
    }
    // Keys one after the other, "Tab Tab" or "ctrl+a".
    static void key(const QString &keys)
    {
        xdotool(QStringList{QStringLiteral("key"), QStringLiteral("--clearmodifiers")} + keys.split(u' '));
    }
    static void type(const QString &text) { xdotool({QStringLiteral("type"), QStringLiteral("--delay"), QStringLiteral("15"), text}); }
    static QString focusName()
    {
        const QWidget *focus = QApplication::focusWidget();
        if (!focus)
            return QStringLiteral("(none)");
        return focus->objectName().isEmpty() ? QString::fromLatin1(focus->metaObject()->className()) : focus->objectName();
    }

    // The screen as it is, dialogs included, kept beside the test for whoever reads its run.
    void shot(const QString &step)
    {
        const QString dir = qEnvironmentVariable("REALWINDOW_ARTEFACTS");
        if (dir.isEmpty())
            return;
        QDir().mkpath(dir);
        QGuiApplication::primaryScreen()->grabWindow(0).save(
            QStringLiteral("%1/%2-%3.png").arg(dir).arg(++m_shot, 2, 10, QLatin1Char('0')).arg(step));
    }

    // Presses `keys`; the modal dialog of kind Dialog it raises is answered with `answer`, as an
    // operator does once it has the activation; `read` sees it first.
    template<typename Dialog>
    void keysRaisingADialog(const QString &keys, const QString &step, const QString &answer,
                            const std::function<void(Dialog &)> &read = {})
    {
        bool answered = false;
        QTimer operatorAtTheDialog;
        connect(&operatorAtTheDialog, &QTimer::timeout, this, [&] {
            auto *dialog = qobject_cast<Dialog *>(QApplication::activeModalWidget());
            if (!dialog || !dialog->isVisible())
                return;
            operatorAtTheDialog.stop();
            if (read)
                read(*dialog);
            xdotool({QStringLiteral("windowactivate"), QStringLiteral("--sync"), QString::number(dialog->winId())});
            shot(step);
            key(answer);
            answered = true;
        });
        operatorAtTheDialog.start(30);
        key(keys);
        QTRY_VERIFY_WITH_TIMEOUT(answered, 10000);
    }

    // A message box: read, and answered (Enter: its default button, "Não" where it is offered);
    // *message gets its text.
    void keysRaisingAMessage(const QString &keys, const QString &step, QString *message,
                             const QString &answer = QStringLiteral("Return"))
    {
        keysRaisingADialog<QMessageBox>(keys, step, answer, [message](QMessageBox &box) { *message = box.text(); });
        QTRY_VERIFY(!QApplication::activeModalWidget());
    }

    // The sign-in dialog, answered by keys: first a wrong password, whose refusal it shows and
    // keeps the dialog, then the right one.
    void signInByKeys(fw::LoginContext &context, const QString &password)
    {
        QString refusal;
        QStringList focusAtTyping;
        int typed = 0;
        QTimer operatorAtTheDialog;
        connect(&operatorAtTheDialog, &QTimer::timeout, this, [&] {
            auto *dialog = qobject_cast<fw::SignInDialog *>(QApplication::activeModalWidget());
            if (!dialog || !dialog->isVisible() || !dialog->isEnabled())
                return;
            auto *message = dialog->findChild<QLabel *>(QStringLiteral("lblMensagem"));
            if (typed == 1 && message->isHidden())
                return; // the refusal is still on its way
            if (!dialog->isActiveWindow()) {
                xdotool({QStringLiteral("windowactivate"), QStringLiteral("--sync"), QString::number(dialog->winId())});
                return; // typed once it has the activation
            }
            if (typed == 1)
                refusal = message->text();
            shot(typed == 0 ? QStringLiteral("sign-in") : QStringLiteral("sign-in-refused"));
            // The operator and branch come filled in: the focus waits in the password.
            focusAtTyping << focusName();
            type(typed == 0 ? QStringLiteral("errada123") : password);
            key(QStringLiteral("Return"));
            if (++typed == 2)
                operatorAtTheDialog.stop();
        });
        operatorAtTheDialog.start(30);
        fw::OperatorSignIn signIn(context, {});
        QVERIFY(signIn.first());
        QCOMPARE(refusal, QStringLiteral("Operador ou senha inválidos."));
        QCOMPARE(focusAtTyping, (QStringList{QStringLiteral("edtSenha"), QStringLiteral("edtSenha")}));
        QCOMPARE(fw::NomeOperador(), QStringLiteral("Operador Demonstração"));
    }

    static quint16 unusedPort()
    {
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost);
        return probe.serverPort(); // closed again when it goes
    }

    template<typename T>
    T *child(const char *name)
    {
        return m_screen->findChild<T *>(QLatin1String(name));
    }

    // The statement's period dialog, answered by keys once it is up: OK with every consumer, or
    // Esc. A failure here closes it, or its exec would hold the test for good.
    void answerTheStatementDialog(QDialog &dialog, bool printed)
    {
        // Both dates' edits are "dateText": named by their date.
        const auto field = [] {
            const QWidget *focus = QApplication::focusWidget();
            return focus && focus->objectName() == QLatin1String("dateText") ? focus->parentWidget()->objectName() : focusName();
        };
        // Activated by the window manager, not by the test: the operator types at once.
        QTRY_VERIFY(dialog.isActiveWindow());
        QTRY_COMPARE(field(), QStringLiteral("depDe"));
        if (printed) {
            QStringList tabbed;
            for (int i = 0; i < 6; ++i) {
                const QString before = field();
                key(QStringLiteral("Tab"));
                QTRY_VERIFY(field() != before);
                tabbed << field();
            }
            // Round the fields and back to the first date: the focus never leaves the dialog.
            QCOMPARE(tabbed, (QStringList{QStringLiteral("depAte"), QStringLiteral("rbtConsumidor"),
                                          QStringLiteral("chkCancelados"), QStringLiteral("btnOk"),
                                          QStringLiteral("btnCancelar"), QStringLiteral("depDe")}));
            key(QStringLiteral("alt+t"));
            QTRY_VERIFY(dialog.findChild<QRadioButton *>(QStringLiteral("rbtTodos"))->isChecked());
            QTRY_COMPARE(field(), QStringLiteral("rbtTodos"));
        }
        shot(printed ? QStringLiteral("statement-dialog") : QStringLiteral("statement-dialog-esc"));
        key(printed ? QStringLiteral("Return") : QStringLiteral("Escape")); // Enter: OK, the default
        QTRY_VERIFY(!dialog.isVisible()); // one key, no second one
        QCOMPARE(dialog.result(), printed ? QDialog::Accepted : QDialog::Rejected);
    }

private slots:
    void initTestCase()
    {
        if (QGuiApplication::platformName() != QLatin1String("xcb"))
            QSKIP("needs a real X session (tests/realwindow/run-under-xvfb.sh)");
        m_appServer = std::make_unique<DemoServer>();
        QVERIFY(m_appServer->listening());
        fw::setDialogs(&m_dialogs);
        fw::LoginContext context;
        context.filial = QStringLiteral("0001");
        context.operador = QStringLiteral("0007");
        context.webPort = m_appServer->port();
        context.serverCa = testTlsFile("ca.pem");
        fw::setLoginContext(context);

        m_main = std::make_unique<QMainWindow>();
        auto *area = new QMdiArea(m_main.get());
        m_main->setCentralWidget(area);
        m_main->resize(1100, 700);
        m_main->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_main.get()));
        // The window manager may not manage the new window yet: asked again until it does.
        const QStringList activate{QStringLiteral("windowactivate"), QStringLiteral("--sync"), QString::number(m_main->winId())};
        QTRY_VERIFY(QProcess::execute(QStringLiteral("xdotool"), activate) == 0 && m_main->isActiveWindow());
        fw::hostServices().mainWindow = m_main.get();
        fw::hostServices().mdiArea = area;
        signInByKeys(context, QStringLiteral("demo0007"));
        m_module = std::make_unique<QLibrary>(QStringLiteral(PKG_ACC00420_PATH));
        QVERIFY2(m_module->load(), qPrintable(m_module->errorString()));
        reinterpret_cast<decltype(&IniProc)>(m_module->resolve("IniProc"))();
        m_screen = reinterpret_cast<decltype(&frmPagClie)>(m_module->resolve("frmPagClie"))->data();
        QVERIFY(m_screen);
        QTRY_COMPARE(focusName(), QStringLiteral("medCdCliente"));
        shot(QStringLiteral("opened"));
    }
    void cleanupTestCase()
    {
        fw::setDialogs(nullptr);
        m_main.reset();
        m_appServer.reset();
    }

    // The steps follow one another on the one screen, as an operator's morning does.
    void aBlankClientIsRefusedAndTheFocusComesBack()
    {

        QString message;
        keysRaisingAMessage(QStringLiteral("Tab Tab Tab"), QStringLiteral("blank-client"), &message);
        QCOMPARE(message, QStringLiteral("Cliente deve ser informado."));
        QTRY_COMPARE(focusName(), QStringLiteral("medCdCliente"));
    }

    void anUnknownNumberIsRefusedAndTheFocusComesBack()
    {
        type(QStringLiteral("12345678909"));
        QString message;
        keysRaisingAMessage(QStringLiteral("Tab"), QStringLiteral("unknown-client"), &message);
        QCOMPARE(message, QStringLiteral("Cliente não cadastrado."));
        QTRY_COMPARE(focusName(), QStringLiteral("medCdCliente"));
    }

    void aMissingConsumerIsRefusedAndTheFocusComesBack()
    {
        key(QStringLiteral("ctrl+a"));
        type(QStringLiteral("11222333000181"));
        key(QStringLiteral("Tab"));
        QTRY_COMPARE(focusName(), QStringLiteral("edtConsumidor"));
        QString message;
        keysRaisingAMessage(QStringLiteral("Tab Tab"), QStringLiteral("blank-consumer"), &message);
        QCOMPARE(message, QStringLiteral("Consumidor deve ser informado."));
        QTRY_COMPARE(focusName(), QStringLiteral("edtConsumidor"));
    }

    void aBlankStartDateIsRefusedAndTheFocusComesBack()
    {
        type(QStringLiteral("2"));
        key(QStringLiteral("Tab"));
        QTRY_COMPARE(focusName(), QStringLiteral("dateText"));
        key(QStringLiteral("ctrl+a"));
        key(QStringLiteral("Delete"));
        QString message;
        keysRaisingAMessage(QStringLiteral("Tab"), QStringLiteral("blank-date"), &message);
        QCOMPARE(message, QStringLiteral("Data inicial deve ser informada."));
        QTRY_COMPARE(focusName(), QStringLiteral("dateText"));
    }

    void theStatementLoadsIntoTheGrid()
    {
        type(QDate::currentDate().addDays(-60).toString(QStringLiteral("ddMMyyyy")));
        key(QStringLiteral("Tab"));
        QTRY_COMPARE(focusName(), QStringLiteral("dbgPadrao"));
        fw::RecordSet *statement = m_screen->dtsPadrao->dataSet();
        QVERIFY(statement->active());
        QVERIFY(!statement->isEmpty());
        shot(QStringLiteral("statement"));
    }

    void showingTheScreenAgainKeepsTheStatement()
    {
        fw::RecordSet *statement = m_screen->dtsPadrao->dataSet();
        const int rows = statement->recordCount();
        key(QStringLiteral("Down"));
        QTRY_COMPARE(statement->recNo(), 1);
        reinterpret_cast<decltype(&IniProc)>(m_module->resolve("IniProc"))();
        QTRY_COMPARE(focusName(), QStringLiteral("dbgPadrao"));
        QVERIFY(statement->active());
        QCOMPARE(statement->recordCount(), rows);
        QCOMPARE(statement->recNo(), 1);
    }

    // Another terminal posts: the row comes in, the focus stays in the grid on the same
    // movement, and the arrows go on from it.
    void aPostingElsewhereArrivesWithTheFocusKept()
    {
        fw::RecordSet *statement = m_screen->dtsPadrao->dataSet();
        const int rows = statement->recordCount();
        const QString kept = statement->fieldByName(QStringLiteral("NRSEQMOVCLI")).asString();
        const server::Storage elsewhere(m_appServer->file());
        post(server::Ledger(elsewhere), QString(20, u'0') + u'1', 4, QString(20, u'0') + u'2');
        QTRY_COMPARE_WITH_TIMEOUT(statement->recordCount(), rows + 1, 5000);
        QCOMPARE(focusName(), QStringLiteral("dbgPadrao"));
        QCOMPARE(statement->fieldByName(QStringLiteral("NRSEQMOVCLI")).asString(), kept);
        const int at = statement->recNo();
        key(QStringLiteral("Up"));
        QTRY_COMPARE(statement->recNo(), at - 1);
        key(QStringLiteral("Down"));
        QTRY_COMPARE(statement->recNo(), at);
    }

    void aDebitByKeysLeavesNoFocusInTheStoredMovement()
    {
        fw::RecordSet *statement = m_screen->dtsPadrao->dataSet();
        const int rows = statement->recordCount();
        key(QStringLiteral("F2"));
        QTRY_COMPARE(focusName(), QStringLiteral("cbbTipo"));
        key(QStringLiteral("Down Tab Down Tab"));
        QTRY_COMPARE(focusName(), QStringLiteral("ndeValPago"));
        type(QStringLiteral("12,50"));
        key(QStringLiteral("Tab"));
        QTRY_COMPARE(focusName(), QStringLiteral("dbmObservacao"));
        type(QStringLiteral("Acerto"));
        QString message;
        keysRaisingAMessage(QStringLiteral("F10"), QStringLiteral("entry-confirmed"), &message);
        QCOMPARE(message, QStringLiteral("Inclusão de lançamento realizada com sucesso."));
        QTRY_COMPARE(statement->recordCount(), rows + 1);
        // The list, the focus in the grid on the new movement: the arrows move at once.
        QTRY_COMPARE(focusName(), QStringLiteral("dbgPadrao"));
        QCOMPARE(m_screen->activePage(), m_screen->tshFolhaDados);
        QCOMPARE(statement->fieldByName(QStringLiteral("DSHISTMOV")).asString(), QStringLiteral("Acerto"));
        const int posted = statement->recNo();
        key(QStringLiteral("Up"));
        QTRY_COMPARE(statement->recNo(), posted - 1);
        key(QStringLiteral("Down"));
        QTRY_COMPARE(statement->recNo(), posted);
        // A stray key after the message edits nothing.
        type(QStringLiteral("q"));
        QCOMPARE(statement->state(), fw::DataSetState::Browse);
        QCOMPARE(statement->fieldByName(QStringLiteral("DSHISTMOV")).asString(), QStringLiteral("Acerto"));
    }

    // Confirmed from the toolbar, by a click or by F10 in the value, a negative value is refused
    // once, by the confirmation: the movement stays, being typed, the focus in its value.
    void aNegativeValueIsRefusedOnceAndTheFocusStaysInIt_data()
    {
        QTest::addColumn<bool>("byClick");
        QTest::newRow("click") << true;
        QTest::newRow("F10") << false;
    }
    void aNegativeValueIsRefusedOnceAndTheFocusStaysInIt()
    {
        QFETCH(bool, byClick);
        fw::RecordSet *statement = m_screen->dtsPadrao->dataSet();
        const int rows = statement->recordCount();
        key(QStringLiteral("F2"));
        QTRY_COMPARE(focusName(), QStringLiteral("cbbTipo"));
        key(QStringLiteral("Down Tab Down Tab"));
        QTRY_COMPARE(focusName(), QStringLiteral("ndeValPago"));
        key(QStringLiteral("minus")); // typed, "-10,00" would be an option to xdotool
        type(QStringLiteral("10,00"));
        QSignalSpy clicked(m_screen->sbtConfirmar, &QToolButton::clicked);
        QSignalSpy triggered(m_screen->mnuConfirmar, &QAction::triggered);
        // Every message box shown is counted, and answered with Enter once it has the activation.
        QStringList messages;
        QPointer<QMessageBox> answering;
        QTimer operatorAtTheDialogs;
        connect(&operatorAtTheDialogs, &QTimer::timeout, this, [&] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            if (!box || !box->isVisible() || box == answering)
                return;
            answering = box;
            messages << box->text();
            xdotool({QStringLiteral("windowactivate"), QStringLiteral("--sync"), QString::number(box->winId())});
            shot(QStringLiteral("negative-value"));
            key(QStringLiteral("Return"));
        });
        operatorAtTheDialogs.start(30);
        if (byClick) {
            const QPoint centre = m_screen->sbtConfirmar->mapToGlobal(m_screen->sbtConfirmar->rect().center());
            xdotool({QStringLiteral("mousemove"), QString::number(centre.x()), QString::number(centre.y()),
                     QStringLiteral("click"), QStringLiteral("1")});
        } else {
            key(QStringLiteral("F10"));
        }
        QTRY_VERIFY_WITH_TIMEOUT(!messages.isEmpty(), 10000);
        QTRY_VERIFY(!QApplication::activeModalWidget());
        QTRY_COMPARE(focusName(), QStringLiteral("ndeValPago"));
        QCOMPARE(statement->state(), fw::DataSetState::Insert);
        // The press of the click refused nothing: the click got through, as a confirmation.
        QCOMPARE(clicked.count() + triggered.count(), 1);
        // Dropped by the operator: a second refusal on its way would be in by then.
        key(QStringLiteral("Escape"));
        QTRY_COMPARE(statement->state(), fw::DataSetState::Browse);
        QCOMPARE(messages, QStringList{QStringLiteral("Valor deve ser maior que zero.")});
        QCOMPARE(statement->recordCount(), rows);
        QCOMPARE(statement->changeCount(), 0); // nothing sent, nothing pending
        QTRY_COMPARE(focusName(), QStringLiteral("dbgPadrao"));
    }

    void theReceiptPreviewPrintsAndClosesByKeys()
    {
        key(QStringLiteral("ctrl+r"));
        QTRY_VERIFY_WITH_TIMEOUT(qobject_cast<QPrintPreviewDialog *>(QApplication::activeWindow()), 10000);
        QPointer<QWidget> preview = QApplication::activeWindow();
        shot(QStringLiteral("receipt-preview"));
        // Its printer dialog: the operator closes it with Esc, choosing nothing.
        keysRaisingADialog<QPrintDialog>(QStringLiteral("ctrl+p"), QStringLiteral("print-dialog"), QStringLiteral("Escape"));
        xdotool({QStringLiteral("windowactivate"), QStringLiteral("--sync"), QString::number(preview->winId())});
        QTRY_COMPARE(QApplication::activeWindow(), preview.data());
        key(QStringLiteral("Tab"));
        QTRY_COMPARE(focusName(), QStringLiteral("btnPrintPreview"));
        key(QStringLiteral("Escape"));
        QTRY_VERIFY(!preview || !preview->isVisible());
        QTRY_COMPARE(focusName(), QStringLiteral("dbgPadrao"));
    }

    // Ctrl+E asks the period of the statement; OK previews it, Esc shows nothing. Either way the
    // operator is back in the grid.
    void theStatementDialogIsAnsweredByKeys_data()
    {
        QTest::addColumn<bool>("printed");
        QTest::newRow("OK") << true;
        QTest::newRow("Esc") << false;
    }
    void theStatementDialogIsAnsweredByKeys()
    {
        QFETCH(bool, printed);
        bool answered = false;
        QTimer operatorAtTheDialog;
        connect(&operatorAtTheDialog, &QTimer::timeout, this, [&] {
            auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget());
            if (!dialog || dialog->objectName() != QLatin1String("dlgExtrato") || !dialog->isVisible())
                return;
            operatorAtTheDialog.stop();
            answerTheStatementDialog(*dialog, printed);
            if (QTest::currentTestFailed())
                dialog->reject();
            answered = true;
        });
        operatorAtTheDialog.start(30);
        key(QStringLiteral("ctrl+e"));
        QTRY_VERIFY_WITH_TIMEOUT(answered, 10000);
        if (QTest::currentTestFailed())
            return;
        if (printed) {
            QTRY_VERIFY_WITH_TIMEOUT(qobject_cast<QPrintPreviewDialog *>(QApplication::activeWindow()), 10000);
            QPointer<QWidget> preview = QApplication::activeWindow();
            shot(QStringLiteral("statement-preview"));
            key(QStringLiteral("Escape"));
            QTRY_VERIFY(!preview);
        }
        QTRY_COMPARE(focusName(), QStringLiteral("dbgPadrao"));
        QVERIFY(m_screen->findChildren<QPrintPreviewDialog *>().isEmpty());
    }

    void aPendingMovementIsDiscardedOnlyAfterAsking()
    {
        fw::RecordSet *statement = m_screen->dtsPadrao->dataSet();
        key(QStringLiteral("F2"));
        QTRY_COMPARE(focusName(), QStringLiteral("cbbTipo"));
        key(QStringLiteral("Down Tab Down Tab"));
        type(QStringLiteral("3,00"));
        // The server goes away before F10: the send fails and the movement stays, pending.
        const fw::LoginContext reachable = fw::loginContext();
        fw::LoginContext unreachable = reachable;
        unreachable.webPort = unusedPort();
        fw::setLoginContext(unreachable);
        child<fw::TNetConnection>("netPagClie")->close();
        QString message;
        keysRaisingAMessage(QStringLiteral("F10"), QStringLiteral("send-failed"), &message);
        fw::setLoginContext(reachable);
        QTRY_COMPARE(statement->changeCount(), 1);
        QCOMPARE(statement->state(), fw::DataSetState::Browse);
        auto *model = child<fw::TDBGrid>("dbgPadrao")->recordModel();
        QVERIFY(model->index(statement->recNo(), 0).data(fw::RecordSetModel::PendingRole).toBool());
        key(QStringLiteral("ctrl+1"));
        QTRY_VERIFY(m_screen->activePage() == m_screen->tshFolhaDados);
        QTest::qWait(100); // painted, for the picture
        shot(QStringLiteral("pending-row"));

        const QString question = QStringLiteral("Há alterações que não chegaram ao servidor. Descartá-las?");
        key(QStringLiteral("F2"));
        QTRY_COMPARE(focusName(), QStringLiteral("cbbTipo"));
        message.clear();
        keysRaisingAMessage(QStringLiteral("Escape"), QStringLiteral("esc-over-pending"), &message); // Enter: Não
        QCOMPARE(message, question);
        QTRY_COMPARE(statement->state(), fw::DataSetState::Browse);
        QCOMPARE(statement->changeCount(), 1);

        key(QStringLiteral("ctrl+1"));
        QTRY_VERIFY(m_screen->activePage() == m_screen->tshFolhaDados);
        message.clear();
        keysRaisingAMessage(QStringLiteral("alt+n"), QStringLiteral("panel-over-pending"), &message);
        QCOMPARE(message, question);
        QTRY_COMPARE(focusName(), QStringLiteral("dbgPadrao")); // "Não": still in the statement
        QVERIFY(statement->active());
        QVERIFY(child<fw::TADOIBQuery>("qryCliente")->active()); // of the same client
        QCOMPARE(statement->changeCount(), 1);
        message.clear();
        keysRaisingAMessage(QStringLiteral("alt+n"), QStringLiteral("panel-discards"), &message, QStringLiteral("alt+s"));
        QTRY_COMPARE(focusName(), QStringLiteral("medCdCliente"));
        QVERIFY(!statement->active());
        QVERIFY(!child<fw::TADOIBQuery>("qryCliente")->active()); // the choice dropped, as ever
        // Back where the operator left the client, through its mask.
        QCOMPARE(child<QLineEdit>("medCdCliente")->text(), QStringLiteral("11.222.333/0001-81"));
    }

    void theClientSearchByButtonFromAnotherField()
    {
        key(QStringLiteral("alt+o")); // back into the panel, on the consumer
        QTRY_COMPARE(focusName(), QStringLiteral("edtConsumidor"));
        auto *button = child<fw::TBtnPesquisa>("btnCliente");
        const QPoint centre = button->mapToGlobal(button->rect().center());
        bool listed = false;
        QTimer operatorAtTheList;
        connect(&operatorAtTheList, &QTimer::timeout, this, [&] {
            auto *list = qobject_cast<fw::SearchListDialog *>(QApplication::activeModalWidget());
            if (!list || !list->isActiveWindow())
                return;
            operatorAtTheList.stop();
            listed = true;
            shot(QStringLiteral("client-list"));
            key(QStringLiteral("Return"));
        });
        operatorAtTheList.start(30);
        xdotool({QStringLiteral("mousemove"), QString::number(centre.x()), QString::number(centre.y()),
                 QStringLiteral("click"), QStringLiteral("1")});
        QTRY_VERIFY_WITH_TIMEOUT(listed, 10000);
        QTRY_VERIFY(!QApplication::activeModalWidget());
        QTRY_COMPARE(focusName(), QStringLiteral("medCdCliente"));
        QVERIFY(!child<QLineEdit>("edtNmCliente")->text().isEmpty()); // chosen, with no error
    }

    void ctrlF4InASearchEditClosesTheScreen()
    {
        key(QStringLiteral("Tab"));
        QTRY_COMPARE(focusName(), QStringLiteral("edtConsumidor"));
        key(QStringLiteral("ctrl+F4"));
        QTRY_VERIFY(!m_screen);
        QVERIFY(!QApplication::activeModalWidget()); // no list opened, nothing validated
    }
};

QTEST_MAIN(TestRealWindow)
#include "tst_realwindow.moc"
