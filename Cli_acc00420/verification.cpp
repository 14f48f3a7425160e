// The verify button: the balances brought up to date again, the statement reloaded on the same
// movement, and the account's history checked on the server.

#include "acc00420module.h"
#include "screen.h"

#include <framework/core/dialogs.h>
#include <framework/data/checkresultserv.h>
#include <framework/ui/busyindicator.h>
#include <framework/ui/hostservices.h>

#include <QCborMap>

namespace acc00420 {

void TfrmPagClie::sbtVerificarClick()
{
    // The reload would lose what a failed send left pending: asked first.
    if (!discardPendingChangesFirst())
        return;
    // 1. The consumer of the consumer record set, not the edit's text.
    recalculateBalances(cdsConsumidorFilial->isEmpty()
                            ? QString()
                            : cdsConsumidorFilial->fieldByName(QStringLiteral("CDCONSUMIDOR")).asString());
    // 2 to 4.
    stNrSequMovi = cdsMovCliente->fieldByName(QStringLiteral("NRSEQMOVCLI")).asString();
    reloadStatement();
    returnToMovement();
    // 5. The history: an intact one says so in the status bar, a broken one stops the operator.
    QCborMap checked;
    {
        fw::BusyIndicator busy(fw::hostServices().mainWindow, 6);
        checked = fw::CheckResultServ(service().verificaHistorico(selectedClient()), true, 0).toValue().toMap();
    }
    const QCborValue intact = checked.value(QStringLiteral("integro"));
    if (!intact.isBool())
        return; // a server that keeps no chain says nothing about it
    if (intact.toBool()) {
        showStatus(QStringLiteral("Histórico da conta íntegro: %1 entradas verificadas.")
                       .arg(checked.value(QStringLiteral("entradas")).toInteger()));
        return;
    }
    fw::showError(QStringLiteral("O histórico desta conta não confere com os lançamentos gravados: %1. Não altere a conta "
                                 "e chame o responsável pelo sistema.")
                      .arg(checked.value(QStringLiteral("diferenca")).toString()));
}

} // namespace acc00420
