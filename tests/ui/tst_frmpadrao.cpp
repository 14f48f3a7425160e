#include <framework/core/abort.h>
#include <framework/ui/busyindicator.h>
#include <framework/core/checks.h>
#include "recordingdialogs.h"
#include "samplescreen.h"
#include <framework/ui/frmpadrao.h>
#include <framework/ui/widgetutils.h>

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QHeaderView>
#include <QPainter>
#include <QTest>

using namespace fw;

namespace {

QToolButton *button(QWidget *screen, const char *name)
{
    return screen->findChild<QToolButton *>(QLatin1String(name));
}

QAction *item(QWidget *screen, const char *name)
{
    return screen->findChild<QAction *>(QLatin1String(name));
}

// A sample screen shown on its first record; closing it frees it.
SampleScreen *shownSampleScreen()
{
    auto *screen = new SampleScreen;
    screen->create();
    screen->load(1);
    screen->show();
    return screen;
}

} // namespace

class TestFrmPadrao : public QObject
{
    Q_OBJECT
private slots:
    void toolbarAndTwinsFollowTheState_data()
    {
        QTest::addColumn<QString>("state");
        QTest::addColumn<QList<bool>>("enabled"); // incluir, alterar, excluir, confirmar, cancelar
        QTest::newRow("inactive") << "inactive" << QList<bool>{false, false, false, false, false};
        QTest::newRow("browse, empty") << "empty" << QList<bool>{true, false, false, false, false};
        QTest::newRow("browse") << "browse" << QList<bool>{true, true, true, false, false};
        QTest::newRow("edit") << "edit" << QList<bool>{false, false, false, true, true};
        QTest::newRow("insert") << "insert" << QList<bool>{false, false, false, true, true};
    }
    void toolbarAndTwinsFollowTheState()
    {
        QFETCH(QString, state);
        QFETCH(QList<bool>, enabled);
        SampleScreen screen;
        screen.create();
        if (state != "inactive")
            screen.load(state == "empty" ? 0 : 3);
        if (state == "edit")
            screen.cdsPessoas->edit();
        if (state == "insert")
            screen.cdsPessoas->insert();
        const char *names[] = {"sbtIncluir", "sbtAlterar", "sbtExcluir", "sbtConfirmar", "sbtCancelar"};
        const char *twins[] = {"mnuIncluir", "mnuAlterar", "mnuExcluir", "mnuConfirmar", "mnuCancelar"};
        for (int i = 0; i < 5; ++i) {
            QCOMPARE(button(&screen, names[i])->isEnabled(), enabled[i]);
            QCOMPARE(item(&screen, twins[i])->isEnabled(), enabled[i]);
        }
    }

    void includeReturnsAfterTheAfterInsert()
    {
        SampleScreen screen;
        screen.create();
        screen.load(2);
        QTest::mouseClick(button(&screen, "sbtIncluir"), Qt::LeftButton);
        QCOMPARE(screen.log, (QStringList{"FormCreate", "afterInsert", "sbtIncluirClick returned"}));
        QCOMPARE(screen.cdsPessoas->state(), DataSetState::Insert);
    }

    void confirmPostsAndARefusedPostKeepsTheInsert()
    {
        RecordingDialogs dialogs;
        SampleScreen screen;
        screen.create();
        screen.load(2);
        screen.cdsPessoas->beforePost = [](RecordSet &set) {
            if (EmptyString(set.fieldByName("NOME").asString()))
                MensErro(QStringLiteral("Nome deve ser informado."));
        };
        item(&screen, "mnuIncluir")->trigger();
        screen.cdsPessoas->fieldByName("ID").setAsString("9");
        QTest::mouseClick(button(&screen, "sbtConfirmar"), Qt::LeftButton);
        QCOMPARE(dialogs.texts(), QStringList{"Nome deve ser informado."});
        QCOMPARE(screen.cdsPessoas->state(), DataSetState::Insert);
        QCOMPARE(screen.cdsPessoas->fieldByName("ID").asString(), QStringLiteral("9"));
        QVERIFY(button(&screen, "sbtConfirmar")->isEnabled());

        screen.cdsPessoas->fieldByName("NOME").setAsString("Zé");
        QTest::mouseClick(button(&screen, "sbtConfirmar"), Qt::LeftButton);
        QCOMPARE(screen.cdsPessoas->state(), DataSetState::Browse);
        QCOMPARE(screen.cdsPessoas->changeCount(), 1);
        QVERIFY(!button(&screen, "sbtConfirmar")->isEnabled());
    }

    void cancelCancels()
    {
        SampleScreen screen;
        screen.create();
        screen.load(2);
        QTest::mouseClick(button(&screen, "sbtIncluir"), Qt::LeftButton);
        QCOMPARE(screen.cdsPessoas->recordCount(), 3);
        QVERIFY(item(&screen, "mnuCancelar")->isEnabled());
        item(&screen, "mnuCancelar")->trigger();
        QCOMPARE(screen.cdsPessoas->state(), DataSetState::Browse);
        QCOMPARE(screen.cdsPessoas->recordCount(), 2);
        QCOMPARE(screen.cdsPessoas->changeCount(), 0);
    }

    void anAbortEndsTheHandlerQuietly()
    {
        RecordingDialogs dialogs;
        SampleScreen screen;
        screen.create();
        screen.load(1);
        bool after = false;
        screen.verify = [&] {
            throw Abort();
            after = true; // never reached
        };
        QTest::mouseClick(button(&screen, "sbtVerificar"), Qt::LeftButton);
        QVERIFY(!after);
        QVERIFY(dialogs.shown.isEmpty());
        // Any other failure is shown, then ends the handler the same way.
        screen.verify = [] { throw std::runtime_error("O servidor não respondeu."); };
        item(&screen, "mnuVerificar")->trigger();
        QCOMPARE(dialogs.texts(), QStringList{"O servidor não respondeu."});
    }

    void busyIndicatorIsHiddenAfterAFailedHandler()
    {
        RecordingDialogs dialogs;
        SampleScreen screen;
        screen.create();
        screen.load(1);
        bool visibleInside = false;
        screen.verify = [&] {
            BusyIndicator busy(&screen, 6);
            visibleInside = busyIndicatorVisible();
            MensErro(QStringLiteral("falhou"));
        };
        QTest::mouseClick(button(&screen, "sbtVerificar"), Qt::LeftButton);
        QVERIFY(visibleInside);
        QVERIFY(!busyIndicatorVisible());
    }

    void panelEnterAndExitFireOnceAtTheBoundary()
    {
        SampleScreen screen;
        screen.create();
        int enters = 0, exits = 0;
        PanelFocusWatcher watcher(screen.panSelecao, &screen);
        watcher.onEnter = [&] { ++enters; };
        watcher.onExit = [&] { ++exits; };
        screen.show();
        QApplication::setActiveWindow(&screen);
        QVERIFY(QTest::qWaitForWindowActive(&screen));
        screen.edtFora->setFocus();
        QTRY_COMPARE(QApplication::focusWidget(), screen.edtFora);
        enters = exits = 0;
        screen.edtCodigo->setFocus();
        QCOMPARE(enters, 1);
        screen.edtNome->setFocus(); // inside the panel: nothing
        QCOMPARE(enters, 1);
        QCOMPARE(exits, 0);
        screen.edtFora->setFocus();
        QCOMPARE(exits, 1);
        QCOMPARE(enters, 1);

        // An exit handler that puts the focus back inside raises no enter.
        watcher.onExit = [&] {
            ++exits;
            screen.edtCodigo->setFocus();
            throw Abort();
        };
        screen.edtNome->setFocus();
        QCOMPARE(enters, 2);
        screen.edtFora->setFocus();
        QCOMPARE(exits, 2);
        QCOMPARE(enters, 2);
        QCOMPARE(QApplication::focusWidget(), screen.edtCodigo);
    }

    void switchingPagesKeepsTheFocusOutOfOtherPanels()
    {
        SampleScreen screen;
        screen.create();
        screen.load(3);
        int enters = 0;
        PanelFocusWatcher watcher(screen.panSelecao, &screen);
        watcher.onEnter = [&] { ++enters; };
        screen.show();
        QApplication::setActiveWindow(&screen);
        QVERIFY(QTest::qWaitForWindowActive(&screen));
        screen.dbgPadrao->setFocus();
        QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget *>(screen.dbgPadrao));
        screen.mnuFormulario->trigger();
        QCOMPARE(screen.activePage(), screen.tshFormulario);
        QCOMPARE(enters, 0);
        QVERIFY(screen.pgcPadrao->isAncestorOf(QApplication::focusWidget()));
    }

    void pagesAndViewItems()
    {
        SampleScreen screen;
        screen.create();
        screen.load(2);
        item(&screen, "mnuFormulario")->trigger();
        QCOMPARE(screen.activePage(), screen.tshFormulario);
        QVERIFY(item(&screen, "mnuFormulario")->isChecked());
        QVERIFY(!item(&screen, "mnuFolhaDados")->isChecked());
        screen.SetActivePage(screen.tshFolhaDados);
        QVERIFY(item(&screen, "mnuFolhaDados")->isChecked());
        screen.setPageEnabled(screen.tshFormulario, false);
        QVERIFY(!screen.pageEnabled(screen.tshFormulario));
    }

    // A screen without a record set still gives help and closes; the record actions do nothing.
    void helpAndCloseWorkWithoutARecordSet()
    {
        RecordingDialogs dialogs;
        auto *screen = new TfrmPadrao;
        QPointer<TfrmPadrao> alive(screen);
        screen->create();
        screen->show();
        item(screen, "mnuProximo")->trigger();
        item(screen, "mnuAjuda")->trigger();
        QCOMPARE(dialogs.shown.size(), 1);
        button(screen, "sbtFechar")->click();
        QTRY_VERIFY(alive.isNull());
    }

    void closingOverATypedRecordAsksFirst()
    {
        RecordingDialogs dialogs;
        SampleScreen *screen = shownSampleScreen();
        QPointer<SampleScreen> alive(screen);
        screen->cdsPessoas->insert();
        dialogs.answers = {mrNo};
        QVERIFY(!screen->close());
        QCOMPARE(screen->cdsPessoas->state(), DataSetState::Insert);
        dialogs.answers = {mrYes};
        QVERIFY(screen->close());
        QTRY_VERIFY(alive.isNull());
    }

    void closingAsksOnceForEachThingItWouldLose_data()
    {
        QTest::addColumn<QList<int>>("answers"); // to "descartar", then "pendente"
        QTest::addColumn<bool>("closed");
        QTest::newRow("both agreed") << QList<int>{mrYes, mrYes} << true;
        QTest::newRow("the typed record kept") << QList<int>{mrNo} << false;
        QTest::newRow("the pending change kept") << QList<int>{mrYes, mrNo} << false;
    }
    void closingAsksOnceForEachThingItWouldLose()
    {
        QFETCH(QList<int>, answers);
        QFETCH(bool, closed);
        RecordingDialogs dialogs;
        SampleScreen *screen = shownSampleScreen();
        QPointer<SampleScreen> alive(screen);
        screen->cdsPessoas->edit(); // a change posted and never sent
        screen->cdsPessoas->fieldByName(QStringLiteral("NOME")).setAsString(QStringLiteral("mudado"));
        screen->cdsPessoas->post();
        screen->cdsPessoas->insert();
        dialogs.answers = answers;
        QCOMPARE(screen->close(), closed);
        QCOMPARE(dialogs.shown.size(), answers.size()); // never the same loss twice
        if (closed) {
            QTRY_VERIFY(alive.isNull());
            return;
        }
        QCOMPARE(screen->cdsPessoas->state(), DataSetState::Insert);
        QCOMPARE(screen->cdsPessoas->changeCount(), 1);
        delete screen;
    }

    void setChildEnabledReachesTheDirectChildren()
    {
        SampleScreen screen;
        SetChildEnabled(screen.panSelecao, false);
        QVERIFY(!screen.edtCodigo->isEnabled());
        QVERIFY(!screen.btnPessoa->isEnabled());
        QVERIFY(screen.panSelecao->isEnabled());
        SetChildEnabled(screen.panSelecao, true);
        QVERIFY(screen.edtNome->isEnabled());
    }

    void gridFollowsTheCursorBothWays()
    {
        SampleScreen screen;
        screen.create();
        screen.load(5);
        screen.show();
        screen.cdsPessoas->setRecNo(3);
        QCOMPARE(screen.dbgPadrao->currentIndex().row(), 3);
        screen.dbgPadrao->setCurrentIndex(screen.dbgPadrao->model()->index(1, 1));
        QCOMPARE(screen.cdsPessoas->recNo(), 1);
        QCOMPARE(screen.dbeNome->text(), QStringLiteral("Bruno"));
        QCOMPARE(screen.dbgPadrao->model()->headerData(2, Qt::Horizontal).toString(), QStringLiteral("Valor (R$)"));
        QCOMPARE(screen.dbgPadrao->model()->headerData(1, Qt::Horizontal).toString(), QStringLiteral("Nome"));
        QCOMPARE(screen.dbgPadrao->verticalHeader()->sectionResizeMode(0), QHeaderView::Fixed);
    }

    void gridModelPassesTheModelTester()
    {
        SampleScreen screen;
        QAbstractItemModelTester tester(screen.dbgPadrao->model(), QAbstractItemModelTester::FailureReportingMode::QtTest);
        screen.load(4);
        screen.cdsPessoas->insert();
        screen.cdsPessoas->fieldByName("ID").setAsString("77");
        screen.cdsPessoas->post();
        screen.cdsPessoas->deleteRecord();
        screen.cdsPessoas->cancelUpdates();
        screen.cdsPessoas->close();
        QCOMPARE(screen.dbgPadrao->model()->rowCount(), 0);
    }

    void cellHookPaintsWhatTheCellShows()
    {
        SampleScreen screen;
        screen.create();
        screen.load(3);
        screen.resize(600, 400);
        screen.show();
        QList<double> seen;
        screen.dbgPadrao->onDrawColumnCell = [&](TDBGrid &grid, const QRect &rect, int column, QStyle::State) {
            const double value = screen.cdsPessoas->fieldByName("VALOR").asFloat();
            if (column == 0)
                seen.append(value);
            grid.canvas()->fillRect(rect, value < 0 ? Qt::red : Qt::green);
        };
        screen.dbgPadrao->viewport()->update();
        const QImage image = screen.dbgPadrao->viewport()->grab().toImage();
        const QRect first = screen.dbgPadrao->visualRect(screen.dbgPadrao->model()->index(0, 1));
        const QRect third = screen.dbgPadrao->visualRect(screen.dbgPadrao->model()->index(2, 1));
        QCOMPARE(QColor(image.pixel(first.center())), QColor(Qt::red));    // -20.00
        QCOMPARE(QColor(image.pixel(third.center())), QColor(Qt::green)); // 1.00
        QVERIFY(seen.contains(-20.0) && seen.contains(1.0));
    }
};

QTEST_MAIN(TestFrmPadrao)
#include "tst_frmpadrao.moc"
