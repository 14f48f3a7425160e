// The verify button: the balances brought up to date again and the statement reloaded on the
// same movement.

#include "acc00420module.h"
#include "screen.h"

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
}

} // namespace acc00420
