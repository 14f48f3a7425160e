// Cancelling the current movement, then, for a movement that came from a sale, the sale and
// its receipt.

#include <framework/ui/busyindicator.h>
#include <framework/data/checkresultserv.h>
#include <framework/core/checks.h>
#include <framework/core/clock.h>
#include <framework/core/formatsettings.h>
#include <framework/ui/handlerguard.h>
#include <framework/ui/hostservices.h>
#include <framework/core/logincontext.h>
#include "acc00420module.h"
#include "screen.h"

namespace acc00420 {

void TfrmPagClie::bindCancellationEvents()
{
    connect(btfCancelamento, &QToolButton::clicked, this, [this] { fw::guarded([this] { btfCancelamentoClick(); }); });
    connect(mnuCancelamento, &QAction::triggered, this, [this] { fw::guarded([this] { mnuCancelamentoClick(); }); });
}

void TfrmPagClie::mnuCancelamentoClick()
{
    btfCancelamentoClick();
}

void TfrmPagClie::btfCancelamentoClick()
{
    auto field = [this](const char *name) -> fw::Field & { return cdsMovCliente->fieldByName(QLatin1String(name)); };
    QWidget *window = fw::hostServices().mainWindow;
    // The reload below would lose what a failed send left pending: asked first.
    if (!discardPendingChangesFirst())
        return;
    // 1.
    if (msgPadrao->ShowMsg(QStringLiteral("Cancel"), fw::MsgDlgType::Confirmation, fw::mbYes | fw::mbNo, 0) != fw::mrYes)
        return;
    // 2.
    {
        fw::BusyIndicator busy(window, 6);
        fw::CheckResultServ(service().setCancelamento(QStringLiteral("X"), fw::Operador(), fw::Now(),
                                                      msgPadrao->Msg(QStringLiteral("cancelado")),
                                                      field("CDCLIENTE").asString(), field("NRSEQMOVCLI").asString()),
                            true, 0);
    }
    // 3.
    dtDataMovto = field("DTMOVCLI").asDateTime();
    // 4.
    recalculateBalances(edtConsumidor->text());
    // 5. The statement still holds the movement as it was before the cancellation.
    stNrSequMovi = field("NRSEQMOVCLI").asString();
    // 6.
    reloadStatement();
    // 7. When the reload lost the movement, the current record is another one: its sale is not
    // the one to cancel.
    if (!returnToMovement())
        return;
    // 8.
    if (fw::EmptyString(field("NRSEQVENDA").asString()))
        return;
    if (msgPadrao->ShowMsg(QStringLiteral("CancelVenda"), fw::MsgDlgType::Confirmation, fw::mbYes | fw::mbNo, 0)
        != fw::mrYes)
        return;
    const QString branch = field("CDFILIAL").asString();
    const QString till = field("CDCAIXA").asString();
    const QString sale = field("NRSEQVENDA").asString();
    // 9.
    {
        const QString text = msgPadrao->Msg(QStringLiteral("cancela")) + u'-' + fw::Operador() + u'-'
            + fw::NomeOperador() + u'-' + fw::DateTimeToStr(fw::Now());
        fw::BusyIndicator busy(window, 6);
        fw::CheckResultServ(service().setCancelaVenda(text, branch, till, sale), true, 0);
    }
    // 10.
    fw::BusyIndicator busy(window, 6);
    fw::CheckResultServ(service().setCancelaReceb(branch, till, sale), true, 0);
}

} // namespace acc00420
