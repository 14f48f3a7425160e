#include "receiptreport.h"

#include <framework/core/formatsettings.h>
#include <framework/core/logincontext.h>

static void loadReceiptResources()
{
    // The report lives in this library's resources, also for a tool that opens no screen.
    Q_INIT_RESOURCE(acc00420);
}

namespace acc00420 {

void supplyReceiptParams(fw::ReportParams &params, const ReceiptOf &receipt)
{
    auto supply = [&params](const char *name, const QString &value) {
        if (fw::ExistParam(params, QLatin1String(name)))
            fw::ParamByName(params, QLatin1String(name)).setAsString(value);
    };
    supply("P_CDCLIENTE", receipt.client);
    supply("P_CDFILIAL", fw::FiliProc());
    supply("P_NRSEQMOVCLI", receipt.number);
    supply("P_VREXTENSO", receipt.personal ? fw::FloatToStr(*receipt.personal) : QString());
}

int printReceiptToPdf(const QString &file, const ReceiptOf &receipt)
{
    loadReceiptResources();
    fw::TReportDesignerDialog report;
    report.onBeforeGetQueryParams = [&receipt](fw::ReportParams &params, bool &) { supplyReceiptParams(params, receipt); };
    return report.printToPdf(ReceiptReport, file);
}

} // namespace acc00420
