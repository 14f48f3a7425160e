// The receipt of the current movement: the report's parameters, and the maintenance-menu
// entry that prints it.

#include <framework/core/formatsettings.h>
#include <framework/core/logincontext.h>
#include "screen.h"

namespace acc00420 {

const QString TfrmPagClie::ReceiptReport = QStringLiteral(":/acc00420/Recibo.QR2");

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
    auto supply = [&params](const char *name, const QString &value) {
        if (fw::ExistParam(params, QLatin1String(name)))
            fw::ParamByName(params, QLatin1String(name)).setAsString(value);
    };
    const fw::Field &personal = cdsMovCliente->fieldByName(QStringLiteral("VRMOVPESCONS"));
    supply("P_CDCLIENTE", cdsMovCliente->fieldByName(QStringLiteral("CDCLIENTE")).asString());
    supply("P_CDFILIAL", fw::FiliProc());
    supply("P_NRSEQMOVCLI", cdsMovCliente->fieldByName(QStringLiteral("NRSEQMOVCLI")).asString());
    // The number as plain text, not as displayed: 12.5 is "12,5"; the report writes it out.
    supply("P_VREXTENSO", personal.isNull() ? QString() : fw::FloatToStr(personal.asFloat()));
}

void TfrmPagClie::printReceipt()
{
    rpddPadrao->preview(ReceiptReport, this);
}

int TfrmPagClie::printReceiptToPdf(const QString &pdfFile)
{
    return rpddPadrao->printToPdf(ReceiptReport, pdfFile);
}

} // namespace acc00420
