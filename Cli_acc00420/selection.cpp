// Choosing the client and the consumer, and loading the statement when the selection panel is
// left.

#include <framework/core/abort.h>
#include <framework/ui/busyindicator.h>
#include <framework/data/checkresultserv.h>
#include <framework/core/checks.h>
#include <framework/ui/controlevents.h>
#include <framework/ui/handlerguard.h>
#include <framework/ui/hostservices.h>
#include <framework/core/logincontext.h>
#include "acc00420module.h"
#include "screen.h"
#include "statementload.h"
#include <framework/ui/widgetutils.h>

#include <QApplication>
#include <QTabBar>

namespace acc00420 {
namespace {

constexpr int ConsumerWidth = 21;

// Runs a validation; when it aborts, the focus goes back to its edit before the abort goes on.
template<typename Check>
void focusOnFailure(QWidget *edit, Check check)
{
    try {
        check();
    } catch (...) {
        edit->setFocus();
        throw;
    }
}

} // namespace

void TfrmPagClie::bindSelectionEvents()
{
    auto *client = new fw::ControlEvents(medCdCliente);
    client->onEnter = [this] { medCdClienteEnter(); };
    client->onExit = [this] { medCdClienteExit(); };
    client->onKeyPress = [this, client] {
        // A key that edits the number opens its mask (Enter, Esc or Ctrl+C leave it be); a
        // character typed on a whole CPF or CNPJ starts a new number.
        const QString typed = client->keyText();
        const bool character = typed.front().isPrint();
        if (character || typed == QLatin1String("\b") || typed == QLatin1String("\x7f"))
            openClientMask(character);
        medCdClienteKeyPress();
    };
    connect(medCdCliente, &QLineEdit::textChanged, this, [this] { fw::guarded([this] { medCdClienteChange(); }); });
    btnCliente->OnBeforePesq = [this](fw::TBtnPesquisa &b) { btnClienteBeforePesq(b); };
    btnCliente->OnAfterPesq = [this](fw::TBtnPesquisa &b) { btnClienteAfterPesq(b); };
    qryCliente->FieldByName(QStringLiteral("NRINSJURCLIE")).onGetText =
        [this](fw::Field &sender, QString &text, bool display) { qryClienteNRINSJURCLIEGetText(sender, text, display); };

    auto *consumer = new fw::ControlEvents(edtConsumidor);
    consumer->onExit = [this] { edtConsumidorExit(); };
    connect(edtConsumidor, &QLineEdit::textChanged, this, [this] { fw::guarded([this] { edtConsumidorChange(); }); });
    btnConsumidor->OnBeforePesq = [this](fw::TBtnPesquisa &b) { btnConsumidorBeforePesq(b); };
    btnConsumidor->OnAfterPesq = [this](fw::TBtnPesquisa &b) { btnConsumidorAfterPesq(b); };

    auto *panel = new fw::PanelFocusWatcher(panCliente, this);
    panel->onEnter = [this] { panClienteEnter(); };
    panel->onExit = [this] { panClienteExit(); };
}

QString TfrmPagClie::selectedClient() const
{
    if (!qryCliente->active() || qryCliente->IsEmpty())
        return {};
    return qryCliente->FieldByName(QStringLiteral("CDCLIENTE")).asString();
}

QDateTime TfrmPagClie::startDate() const
{
    return QDateTime(depDe->GetDate(), QTime(0, 0));
}

// ------------------------------------------------------------------------------------ client

void TfrmPagClie::medCdClienteEnter()
{
    // Coming back over a movement a failed send left pending, the panel first asks whether the
    // statement may go (panClienteEnter, which runs after this); until then the client stays
    // chosen.
    if (hasPendingChanges())
        return;
    // A CPF or CNPJ already there keeps its mask while the operator only comes back to it: the
    // open mask would show it as bare digits and blanks. The first key typed opens it.
    QString number = medCdCliente->Text();
    if (fw::Ajusta_Inscricao(number) == fw::PessoaIndefinida)
        openClientMask(false);
    qryCliente->Close();
}

void TfrmPagClie::openClientMask(bool typedOver)
{
    if (medCdCliente->editMask() == fw::PictPess(fw::PessoaIndefinida))
        return;
    // A number wholly selected goes too, whatever key replaces it; otherwise its digits stay.
    typedOver = typedOver || (medCdCliente->hasSelectedText() && medCdCliente->selectedText() == medCdCliente->text());
    const QString digits = typedOver ? QString() : medCdCliente->Text();
    medCdCliente->setEditMask(fw::PictPess(fw::PessoaIndefinida));
    medCdCliente->setText(digits);
    medCdCliente->setCursorPosition(int(digits.size()));
}

void TfrmPagClie::medCdClienteChange()
{
    edtNmCliente->clear();
    edtConsumidor->clear();
    edtNmConsum->clear();
}

void TfrmPagClie::medCdClienteKeyPress()
{
    edtNmCliente->clear();
    edtConsumidor->clear();
}

void TfrmPagClie::medCdClienteExit()
{
    QString number = medCdCliente->Text();
    const QString type = fw::Ajusta_Inscricao(number);
    // Only real changes: each one clears the consumer, as a change of client does.
    if (medCdCliente->editMask() != fw::PictPess(type))
        medCdCliente->setEditMask(fw::PictPess(type));
    if (medCdCliente->Text() != number)
        medCdCliente->setText(number);
    Vd_CdCliente(false);
}

void TfrmPagClie::btnClienteBeforePesq(fw::TBtnPesquisa &)
{
    qryCliente->Close();
    qryCliente->ParamByName(QStringLiteral("P_CDFILIAL")).setAsString(fw::FiliProc());
    qryCliente->ParamByName(QStringLiteral("P_NRINSJURCLIE")).setAsString(QString());
    qryCliente->ParamByName(QStringLiteral("P_TNRINSJURCLIE")).setAsString(QStringLiteral("T"));
    qryCliente->Open();
}

// The client list shows each registration number through the mask of its person type.
void TfrmPagClie::qryClienteNRINSJURCLIEGetText(fw::Field &sender, QString &text, bool)
{
    text = fw::FormatInscricao(sender.asString(), sender.dataSet().fieldByName(QStringLiteral("IDTPIJURCLIE")).asString());
}

void TfrmPagClie::btnClienteAfterPesq(fw::TBtnPesquisa &)
{
    medCdCliente->setText(qryCliente->FieldByName(QStringLiteral("NRINSJURCLIE")).asString());
    edtNmCliente->setText(qryCliente->FieldByName(QStringLiteral("NMFANTCLIE")).asString());
}

void TfrmPagClie::Vd_CdCliente(bool required)
{
    focusOnFailure(medCdCliente, [&] {
        if (fw::EmptyString(medCdCliente->Text())) {
            if (required)
                fw::MensErro(msgPadrao->Msg(QStringLiteral("Clie_Inf")));
            return;
        }
        // The client chosen in the search is still the selection while its code exists.
        qryPesqCliente->Close();
        qryPesqCliente->ParamByName(QStringLiteral("P_CDCLIENTE")).setAsString(selectedClient());
        qryPesqCliente->Open();
        edtNmCliente->setText(qryCliente->active() && !qryCliente->IsEmpty()
                                  ? qryCliente->FieldByName(QStringLiteral("NMFANTCLIE")).asString()
                                  : QString());
        if (!qryPesqCliente->IsEmpty())
            return;
        // Otherwise the typed number, at this branch; the lowest code when several share it.
        qryCliente->Close();
        qryCliente->ParamByName(QStringLiteral("P_CDFILIAL")).setAsString(fw::FiliProc());
        qryCliente->ParamByName(QStringLiteral("P_NRINSJURCLIE")).setAsString(medCdCliente->Text());
        qryCliente->ParamByName(QStringLiteral("P_TNRINSJURCLIE")).setAsString(QString());
        qryCliente->Open();
        edtNmCliente->setText(qryCliente->IsEmpty() ? QString()
                                                    : qryCliente->FieldByName(QStringLiteral("NMFANTCLIE")).asString());
        if (qryCliente->IsEmpty()) {
            medCdCliente->setEditMask(fw::PictPess(fw::PessoaIndefinida));
            fw::MensErro(msgPadrao->Msg(QStringLiteral("Cod_NCad")));
        }
    });
}

// ---------------------------------------------------------------------------------- consumer

void TfrmPagClie::btnConsumidorBeforePesq(fw::TBtnPesquisa &)
{
    Vd_CdCliente(true);
    const fw::CborItem payload = fw::CheckResultServ(
        service().getConsumidor(selectedClient(), QString(), QStringLiteral("T"), fw::FiliProc()), true, 0);
    cdsConsumidorFilial->loadFromPacket(payload.bytes());
}

void TfrmPagClie::edtConsumidorChange()
{
    edtNmConsum->clear();
}

void TfrmPagClie::btnConsumidorAfterPesq(fw::TBtnPesquisa &)
{
    edtConsumidor->setText(cdsConsumidorFilial->fieldByName(QStringLiteral("CDCONSUMIDOR")).asString());
    edtNmConsum->setText(cdsConsumidorFilial->fieldByName(QStringLiteral("NMCONSUMIDOR")).asString());
}

void TfrmPagClie::edtConsumidorExit()
{
    Vd_Consumidor(false);
}

void TfrmPagClie::Vd_Consumidor(bool required)
{
    focusOnFailure(edtConsumidor, [&] {
        if (fw::EmptyString(edtConsumidor->text())) {
            if (required)
                fw::MensErro(msgPadrao->Msg(QStringLiteral("Cons_Inf")));
            return;
        }
        edtConsumidor->setText(fw::Ajusta(edtConsumidor->text(), ConsumerWidth));
        const fw::CborItem payload = fw::CheckResultServ(
            service().getConsumidor(selectedClient(), edtConsumidor->text(), QString(), fw::FiliProc()), true, 0);
        cdsConsumidorFilial->loadFromPacket(payload.bytes());
        if (cdsConsumidorFilial->isEmpty())
            fw::MensErro(msgPadrao->Msg(QStringLiteral("CONS_NCAD")));
        edtNmConsum->setText(cdsConsumidorFilial->fieldByName(QStringLiteral("NMCONSUMIDOR")).asString());
    });
}

// --------------------------------------------------------------------------------- statement

void TfrmPagClie::Vd_DataIni()
{
    // A date that is not a real day (31/02) is the date edit's to refuse, and can't be sent.
    if (!depDe->CheckDate())
        throw fw::Abort();
    if (fw::EmptyString(depDe->Text()) || !depDe->GetDate().isValid()) {
        depDe->setFocus();
        fw::MensErro(msgPadrao->Msg(QStringLiteral("DataI_inf")));
    }
}

void TfrmPagClie::panClienteEnter()
{
    // Closing the statement would lose what a failed send left pending: "Não" keeps it, and
    // the operator stays in the statement.
    if (!mayDiscardPendingChanges()) {
        if (activePage() == tshFolhaDados && pageEnabled(tshFolhaDados))
            dbgPadrao->setFocus(Qt::OtherFocusReason);
        else
            pgcPadrao->tabBar()->setFocus(Qt::OtherFocusReason);
        return;
    }
    const bool pendingDiscarded = hasPendingChanges();
    stopWatching();
    cdsMovCliente->close();
    if (pendingDiscarded && medCdCliente->window()->focusWidget() == medCdCliente)
        medCdClienteEnter(); // what its enter held back

    if (activePage() != tshFolhaDados) {
        if (!pageEnabled(tshFolhaDados))
            setPageEnabled(tshFolhaDados, true);
        SetActivePage(tshFolhaDados);
        mnuFolhaDados->setChecked(true);
        mnuFormulario->setChecked(false);
    }
    setPageEnabled(tshFolhaDados, true);
    mnuFolhaDados->setEnabled(true);
    setPageEnabled(tshFormulario, false);
    mnuFormulario->setEnabled(false);
}

fw::CborItem TfrmPagClie::recalculateBalances(const QString &consumer)
{
    fw::BusyIndicator busy(fw::hostServices().mainWindow, 6);
    return fw::CheckResultServ(
        service().setAtualizaCons(fw::FiliProc(), selectedClient(), consumer, startDate(), fw::Operador()), true, 0);
}

void TfrmPagClie::reloadStatement()
{
    if (m_watched.isEmpty() || m_watched != selectedClient() || !cdsMovCliente->active()) {
        loadWholeStatement();
    } else {
        fw::BusyIndicator busy(fw::hostServices().mainWindow, 6);
        bringStatementUpToDate(true);
    }
    // Reloading took the list away for a moment and the focus with it; the operator goes on in
    // the grid.
    if (activePage() == tshFolhaDados && pageEnabled(tshFolhaDados))
        dbgPadrao->setFocus(Qt::OtherFocusReason);
}

std::pair<QString, QString> TfrmPagClie::statementConsumer() const
{
    if (fw::EmptyString(edtConsumidor->text()))
        return {QString(), QStringLiteral("T")};
    return {edtConsumidor->text(), QString()};
}

void TfrmPagClie::loadWholeStatement()
{
    fw::BusyIndicator busy(fw::hostServices().mainWindow, 6);
    std::tie(stCDCONSUMIDOR, stTCDCONSUMIDOR) = statementConsumer();
    // The panel's enter is held back while it is being left, so the focus put back in it while
    // rows still arrive ends the reading, and the enter runs once the reading is over.
    const auto panelEntered = [this] { return panCliente->isAncestorOf(QApplication::focusWidget()); };
    try {
        loadStatementInParts(service(), *cdsMovCliente, stCDCONSUMIDOR, stTCDCONSUMIDOR, selectedClient(), startDate(),
                             [&] { return !fw::screenClosing(this) && !panelEntered(); });
    } catch (const fw::Abort &) {
        if (!fw::screenClosing(this) && panelEntered())
            panClienteEnter();
        throw;
    }
}

bool TfrmPagClie::returnToMovement()
{
    const bool found = cdsMovCliente->locate(QStringLiteral("NRSEQMOVCLI"), stNrSequMovi, Qt::CaseInsensitive);
    // The balances after it matter as much as its own: not on the grid's edge.
    dbgPadrao->centreCurrent();
    return found;
}

void TfrmPagClie::panClienteExit()
{
    Vd_CdCliente(true);
    Vd_Consumidor(true);
    Vd_DataIni();
    recalculateBalances(edtConsumidor->text());
    watchAccount();
    try {
        reloadStatement();
    } catch (...) {
        stopWatching(); // no statement to keep current
        throw;
    }
    showStatementPages();
}

void TfrmPagClie::showStatementPages()
{
    if (cdsMovCliente->isEmpty()) {
        includeButton()->setEnabled(true);
        copyToTwins({includeButton()});
        setPageEnabled(tshFolhaDados, false);
        setPageEnabled(tshFormulario, false);
        mnuFolhaDados->setEnabled(false);
        mnuFormulario->setEnabled(false);
        // Disabling the list page dropped the focus; the page tabs keep it on the screen, so
        // its keys (F2 to include) still work.
        if (!QApplication::focusWidget())
            pgcPadrao->tabBar()->setFocus(Qt::OtherFocusReason);
    } else {
        setPageEnabled(tshFormulario, true);
        mnuFormulario->setEnabled(true);
    }
}

} // namespace acc00420
