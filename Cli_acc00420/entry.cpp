// Manual credit and debit entry: starting a movement, its defaults, validating and completing
// it, sending every change of the statement to the server, recalculating and reloading; and
// which controls each state of the statement allows.

#include <framework/ui/busyindicator.h>
#include <framework/data/checkresultserv.h>
#include <framework/core/checks.h>
#include <framework/core/clock.h>
#include <framework/ui/controlevents.h>
#include <framework/core/dialogs.h>
#include <framework/ui/handlerguard.h>
#include <framework/ui/hostservices.h>
#include <framework/core/logincontext.h>
#include "acc00420module.h"
#include "screen.h"
#include <framework/ui/widgetutils.h>

#include <QApplication>
#include <QTabBar>

namespace acc00420 {
namespace {

// The entry controls take the info background while a movement is typed, the button face
// otherwise (the colours the back office has always used for them: clInfoBk, clBtnFace).
void colourEntry(QWidget *control, QPalette::ColorRole colour)
{
    const QColor c = QApplication::palette().color(colour);
    QPalette palette = control->palette();
    for (QPalette::ColorRole role : {QPalette::Base, QPalette::Button, QPalette::Window})
        palette.setColor(role, c);
    control->setPalette(palette);
}

} // namespace

void TfrmPagClie::bindEntryEvents()
{
    cdsMovCliente->afterInsert = [this](fw::RecordSet &set) { cdsMovClienteAfterInsert(set); };
    cdsMovCliente->beforePost = [this](fw::RecordSet &set) { cdsMovClienteBeforePost(set); };
    cdsMovCliente->afterPost = [this](fw::RecordSet &set) { cdsMovClienteAfterPost(set); };
    cdsMovCliente->afterDelete = [this](fw::RecordSet &set) { cdsMovClienteAfterPost(set); };
    cdsMovCliente->afterCancel = [this](fw::RecordSet &set) { cdsMovClienteAfterCancel(set); };
    cdsMovCliente->beforeDelete = [this](fw::RecordSet &set) { cdsMovClienteBeforeDelete(set); };
    auto *value = new fw::ControlEvents(ndeValPago);
    value->onExit = [this] { ndeValPagoExit(); };
    connect(ndeValPago, &QLineEdit::textChanged, this, [this] { fw::guarded([this] { ndeValPagoChange(); }); });
    // Only the operator's choice: the values the screen sets itself raise nothing.
    connect(cbbTipo, &QComboBox::activated, this, [this] { fw::guarded([this] { cbbTipoChange(); }); });
}

void TfrmPagClie::sbtIncluirClick()
{
    auto showEntry = [this] {
        if (activePage() != tshFormulario) {
            if (!pageEnabled(tshFormulario))
                setPageEnabled(tshFormulario, true);
            SetActivePage(tshFormulario);
        }
        setPageEnabled(tshFolhaDados, false);
        // The operator goes on with the keyboard from the first choice.
        cbbTipo->setFocus(Qt::OtherFocusReason);
    };
    try {
        fw::TfrmPadrao::sbtIncluirClick();
    } catch (...) {
        // A number that could not be fetched still leaves the new movement being typed: it
        // shows where it is typed before the failure is reported.
        if (cdsMovCliente->state() == fw::DataSetState::Insert) {
            cdsMovClienteAfterScroll(*cdsMovCliente); // the new movement's date, no value yet
            showEntry();
        }
        throw;
    }
    showEntry();
}

void TfrmPagClie::cdsMovClienteAfterInsert(fw::RecordSet &set)
{
    cbbTipo->setCurrentIndex(-1);
    cbbTipoValor->setCurrentIndex(-1);
    fw::BusyIndicator busy(fw::hostServices().mainWindow, 6);
    // The number comes bare, without the result envelope.
    set.fieldByName(QStringLiteral("NRSEQMOVCLI")).setAsString(movementNumberText(service().getPrxMovClie(selectedClient())));
}

void TfrmPagClie::ndeValPagoExit()
{
    // Only the operator leaving a value being typed: not the screen moving the focus to the
    // field a posting refused, nor an entry that was just confirmed or dropped.
    if (m_refusing || cdsMovCliente->state() != fw::DataSetState::Insert)
        return;
    // A click on the toolbar, whose buttons take no focus, gives it to the frame holding the
    // screen: the value is not left but confirmed, and the posting refuses it. Refused here too,
    // the box would take the click and the confirmation would refuse it again once it got through.
    if (const QWidget *to = QApplication::focusWidget(); to && to->isAncestorOf(ndeValPago))
        return;
    if (ndeValPago->GetNumber() < 0) {
        ndeValPago->setFocus();
        fw::MensErro(msgPadrao->Msg(QStringLiteral("VALOR_INV")));
    }
}

void TfrmPagClie::cbbTipoChange()
{
    if (cdsMovCliente->state() == fw::DataSetState::Browse)
        cdsMovCliente->edit();
}

void TfrmPagClie::cdsMovClienteBeforePost(fw::RecordSet &set)
{
    // An edited observation goes to the server as the operator left it.
    if (set.state() != fw::DataSetState::Insert)
        return;
    auto field = [&set](const char *name) -> fw::Field & { return set.fieldByName(QLatin1String(name)); };
    auto refuse = [this](QWidget *control, const char *key) {
        m_refusing = true;
        control->setFocus();
        m_refusing = false;
        fw::MensErro(msgPadrao->Msg(QLatin1String(key)));
    };
    boInsert = true;
    // 2. The movement type.
    switch (cbbTipo->currentIndex()) {
    case 0: field("IDTIPMOCVLI").setAsString(QStringLiteral("D")); break;
    case 1: field("IDTIPMOCVLI").setAsString(QStringLiteral("C")); break;
    default: refuse(cbbTipo, "Tipo_Inf");
    }
    // 3. The value type: the value is stored as typed, the type alone tells debit from credit.
    const double value = ndeValPago->GetNumber();
    switch (cbbTipoValor->currentIndex()) {
    case 0:
        field("VRMOVCLI").setAsFloat(value);
        field("VRMOVPESCONS").setAsFloat(0);
        break;
    case 1:
        field("VRMOVPESCONS").setAsFloat(value);
        field("VRMOVCLI").setAsFloat(0);
        break;
    default: refuse(cbbTipoValor, "Tipo_Valor");
    }
    // 4. The value. Confirming from the toolbar never leaves the value field, so a negative
    // value is refused here too: a "debit" of -10 would be a credit.
    if (value == 0)
        refuse(ndeValPago, "Valor_Inf");
    if (value < 0)
        refuse(ndeValPago, "VALOR_INV");
    // 5. What the logged-in context and the clock tell.
    field("CDCLIENTE").setAsString(selectedClient());
    if (fw::EmptyString(edtConsumidor->text()))
        field("CDCONSUMIDOR").clear();
    else
        field("CDCONSUMIDOR").setAsString(cdsConsumidorFilial->fieldByName(QStringLiteral("CDCONSUMIDOR")).asString());
    field("CDFILIAL").setAsString(fw::FiliProc());
    field("DTMOVCLI").setAsDateTime(fw::Now());
    field("CDCAIXA").clear(); // a manual entry has no till, till opening or sale
    field("DTABERCAIX").clear();
    field("NRSEQVENDA").clear();
    field("CDOPERADOR").setAsString(fw::Operador());
    field("DTATUMOVCLIE").setAsDateTime(fw::Now());
    field("DSATUMOVCLIE").setAsString(msgPadrao->Msg(QStringLiteral("atualiza")));
    field("DTMOVIMCLIE").setAsDateTime(QDateTime(fw::Date(), QTime(0, 0)));
    // 6.
    dtDataMovto = field("DTMOVCLI").asDateTime();
    // The form shows the stamp the movement now has, also while a failed send keeps it here.
    showMovementMoment(dtDataMovto);
}

void TfrmPagClie::cdsMovClienteAfterPost(fw::RecordSet &set)
{
    // 1. Send. A failed send leaves the change log as it was: the change stays pending.
    if (set.changeCount() > 0) {
        fw::BusyIndicator busy(fw::hostServices().mainWindow, 1);
        fw::CheckResultServ(service().SetMovCliente(set.deltaPacket()), true, 0);
        set.mergeChangeLog();
    }
    // 2. Recalculate, and say how it went (the indicator goes first: it would cover the dialog).
    const bool recalculated = recalculateBalances(edtConsumidor->text()).toValue().toBool();
    if (recalculated)
        fw::dialogs().messageDlg(msgPadrao->Msg(QStringLiteral("LANC_OK")), fw::MsgDlgType::Information, fw::mbOK, 0);
    else
        fw::dialogs().messageDlg(msgPadrao->Msg(QStringLiteral("LANC_NOK")), fw::MsgDlgType::Error, fw::mbOK, 0);
    // 3 to 5. Reload on the same movement.
    stNrSequMovi = set.fieldByName(QStringLiteral("NRSEQMOVCLI")).asString();
    reloadStatement();
    returnToMovement();
    goOnInTheList();
}

void TfrmPagClie::goOnInTheList()
{
    // On the movement, as after a load: the arrows move at once and a stray key edits nothing.
    if (pageEnabled(tshFolhaDados)) {
        SetActivePage(tshFolhaDados);
        dbgPadrao->setFocus(Qt::OtherFocusReason);
        dbgPadrao->centreCurrent(); // again, now that the list has its size
    }
}

void TfrmPagClie::cdsMovClienteAfterCancel(fw::RecordSet &set)
{
    // 1. Also what a failed send left pending, once the operator agrees: it was never stored.
    if (mayDiscardPendingChanges())
        set.cancelUpdates();
    // 2. An account with no movements: only a new entry is possible.
    if (set.isEmpty()) {
        if (activePage() != tshFolhaDados)
            SetActivePage(tshFolhaDados);
        includeButton()->setEnabled(true);
        secondRecordButton()->setEnabled(false);
        thirdRecordButton()->setEnabled(false);
        setPageEnabled(tshFolhaDados, false);
        setPageEnabled(tshFormulario, false);
        btfCancelamento->setEnabled(false);
        copyToTwins({includeButton(), secondRecordButton(), thirdRecordButton()});
        mnuFolhaDados->setEnabled(pageEnabled(tshFolhaDados));
        mnuFormulario->setEnabled(pageEnabled(tshFormulario));
        mnuCancelamento->setEnabled(btfCancelamento->isEnabled());
    }
    // 3.
    cdsMovClienteAfterScroll(set);
    // The form the entry was typed in has nothing to show any more: the operator goes on in the
    // list, not on a tab or a panel field the focus fell to.
    if (!set.isEmpty())
        goOnInTheList();
}

bool TfrmPagClie::hasPendingChanges() const
{
    return cdsMovCliente->active() && cdsMovCliente->changeCount() > 0;
}

bool TfrmPagClie::mayDiscardPendingChanges()
{
    if (!hasPendingChanges())
        return true;
    return msgMensagensPadroes->ShowMsg(QStringLiteral("pendente_descartar"), fw::MsgDlgType::Confirmation,
                                        fw::mbYes | fw::mbNo)
        == fw::mrYes;
}

bool TfrmPagClie::discardPendingChangesFirst()
{
    if (!hasPendingChanges())
        return true;
    if (!mayDiscardPendingChanges())
        return false;
    const QString current = cdsMovCliente->fieldByName(QStringLiteral("NRSEQMOVCLI")).asString();
    cdsMovCliente->cancelUpdates();
    cdsMovCliente->locate(QStringLiteral("NRSEQMOVCLI"), current, Qt::CaseInsensitive);
    return true;
}

bool TfrmPagClie::currentMovementPending() const
{
    return cdsMovCliente->state() == fw::DataSetState::Browse && cdsMovCliente->recNo() >= 0
        && cdsMovCliente->isPendingAt(cdsMovCliente->recNo());
}

void TfrmPagClie::cdsMovClienteBeforeDelete(fw::RecordSet &set)
{
    dtDataMovto = set.fieldByName(QStringLiteral("DTMOVCLI")).asDateTime();
}

void TfrmPagClie::dtsPadraoStateChange()
{
    // 1.
    fw::TfrmPadrao::dtsPadraoStateChange();
    const fw::DataSetState state = cdsMovCliente->state();
    const bool typing = state == fw::DataSetState::Edit || state == fw::DataSetState::Insert;
    const bool browsing = state == fw::DataSetState::Browse;
    const QString code = cdsMovCliente->fieldByName(QStringLiteral("IDTIPMOCVLI")).asString();
    // 2. The selection stays as it is while the statement is closed.
    if (typing)
        panCliente->setEnabled(false);
    else if (browsing)
        panCliente->setEnabled(true);
    // 3.
    setPageEnabled(tshFolhaDados, browsing && !cdsMovCliente->isEmpty());
    // 4. The names are display only: they stay disabled whatever the panel allows.
    fw::SetChildEnabled(panCliente, !typing);
    edtNmCliente->setEnabled(false);
    edtNmConsum->setEnabled(false);
    // 5.
    thirdRecordButton()->setEnabled(false);
    copyToTwins({thirdRecordButton()});
    // 6. A movement a failed send left pending was never stored: there is nothing to cancel.
    btfCancelamento->setEnabled(code != QLatin1String("X") && browsing && !cdsMovCliente->isEmpty()
                                && !currentMovementPending());
    mnuCancelamento->setEnabled(btfCancelamento->isEnabled());
    // 7.
    cbbTipo->setVisible(code != QLatin1String("X"));
    edtCancelado->setVisible(code == QLatin1String("X"));
    // 8.
    copyToTwins(QList<QToolButton *>{includeButton(), secondRecordButton(), thirdRecordButton()} + furtherButtons());
    furtherMenuItem()->setEnabled(false);
    // 9. A movement no longer being typed leaves no focus on the form page: disabling the entry
    // controls would pass it to the observation, where a stray key edits the stored movement.
    const bool inserting = state == fw::DataSetState::Insert;
    if (!typing) {
        if (QWidget *focus = QApplication::focusWidget(); focus && tshFormulario->isAncestorOf(focus))
            pgcPadrao->tabBar()->setFocus(Qt::OtherFocusReason);
    }
    for (QWidget *entry : {static_cast<QWidget *>(ndeValPago), static_cast<QWidget *>(cbbTipo),
                           static_cast<QWidget *>(cbbTipoValor)}) {
        entry->setEnabled(inserting);
        colourEntry(entry, inserting ? QPalette::ToolTipBase : QPalette::Button);
    }
}

} // namespace acc00420
