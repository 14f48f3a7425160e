// The receipt of the current movement: the report's parameters, and the maintenance-menu
// entry that prints it.

#include "receiptreport.h"
#include "screen.h"

namespace acc00420 {

void TfrmPagClie::bindPrintingEvents()
{
    rpddPadrao->onBeforeGetQueryParams = [this](fw::ReportParams &params, bool &handled) {
        rpddPadraoBeforeGetQueryParams(params, handled);
    };
    mnuImprimirRecibo = addReportItem("mnuImprimirRecibo", QStringLiteral("Imprimir &Recibo"),
                                      QKeySequence(Qt::CTRL | Qt::Key_R), [this] { printReceipt(); });
}

void TfrmPagClie::rpddPadraoBeforeGetQueryParams(fw::ReportParams &params, bool &)
{
    const fw::Field &personal = cdsMovCliente->fieldByName(QStringLiteral("VRMOVPESCONS"));
    supplyReceiptParams(params, {cdsMovCliente->fieldByName(QStringLiteral("CDCLIENTE")).asString(),
                                 cdsMovCliente->fieldByName(QStringLiteral("NRSEQMOVCLI")).asString(),
                                 personal.isNull() ? std::nullopt : std::optional(personal.asFloat())});
}

void TfrmPagClie::printReceipt()
{
    rpddPadrao->preview(ReceiptReport, this);
}

} // namespace acc00420
