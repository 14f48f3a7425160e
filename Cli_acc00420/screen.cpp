#include "screen.h"

#include <framework/ui/busyindicator.h>
#include <framework/core/clock.h>
#include <framework/ui/hostservices.h>
#include <framework/core/logincontext.h>
#include <framework/data/serversession.h>
#include <framework/ui/widgetutils.h>
#include "acc00420module.h"

#include <QApplication>
#include <QMainWindow>
#include <QStatusBar>

static void loadScreenResources()
{
    // The screen's definition lives in this library's resources.
    Q_INIT_RESOURCE(acc00420);
}

namespace acc00420 {

TfrmPagClie::TfrmPagClie(QWidget *parent)
    : fw::TfrmPadrao(parent)
{
    loadScreenResources();
    setObjectName(QStringLiteral("frmPagClie"));
    setWindowTitle(QStringLiteral("Manutenção Conta Cliente/Consumidor"));
    lblCodTela->setText(QStringLiteral("Acc00420"));
    msgPadrao->loadFromFile(QStringLiteral(":/acc00420/msgPadrao.txt"));
    buildConnectionAndReports();
    buildSelectionPanel();
    buildData();
    buildFormPage();
    buildToolbarAdditions();
    bindAccountEvents();
    bindSelectionEvents();
    bindEntryEvents();
    bindCancellationEvents();
    bindPrintingEvents();
    bindStatementEvents();
    bindLiveStatementEvents();
    setFocusProxy(medCdCliente);
}

void TfrmPagClie::FormCreate()
{
    fw::TfrmPadrao::FormCreate();
    depDe->SetDate(fw::Date().addDays(-60));
    // What the operator has no right to stays disabled; the server refuses it anyway.
    fw::keepDisabledUnless(includeButton(), [] { return fw::serverSession().may(QStringLiteral("lancar")); });
    fw::keepDisabledUnless(btfCancelamento, [] { return fw::serverSession().may(QStringLiteral("cancelar")); });
    fw::BusyIndicator busy(fw::hostServices().mainWindow, 0);
    netPagClie->open();
}

void TfrmPagClie::netPagClieBeforeConnect(fw::TNetConnection &connection)
{
    connection.configure(fw::loginContext());
}

void TfrmPagClie::FormActivate()
{
    repaint();
    copyToTwins(QList<QToolButton *>{includeButton(), secondRecordButton(), thirdRecordButton()} + furtherButtons());
    furtherMenuItem()->setEnabled(false);
    btfCancelamento->setEnabled(false);
    mnuCancelamento->setEnabled(btfCancelamento->isEnabled());
}

void TfrmPagClie::FormClose(fw::CloseAction &action)
{
    boStCriado = false;
    fw::TfrmPadrao::FormClose(action);
    if (action == fw::CloseAction::None) {
        boStCriado = true; // the operator kept the screen open: it still exists
        return;
    }
    stopWatching();
    netPagClie->close();
}

void TfrmPagClie::showStatus(const QString &message)
{
    if (auto *main = qobject_cast<QMainWindow *>(fw::hostServices().mainWindow.data()))
        main->statusBar()->showMessage(message, 15000);
}

} // namespace acc00420
