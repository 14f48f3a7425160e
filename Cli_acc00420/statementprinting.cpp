// The customer's statement of any period, from the maintenance menu: printed through its
// report's preview, or exported as CSV for a spreadsheet.

#include "screen.h"
#include "statementcsv.h"
#include "statementdialog.h"
#include "statementreport.h"

#include <framework/core/checks.h>
#include <framework/core/clock.h>
#include <framework/core/logincontext.h>
#include <framework/data/checkresultserv.h>
#include <framework/ui/busyindicator.h>
#include <framework/ui/hostservices.h>

#include <QFileDialog>
#include <QSaveFile>

#include <cmath>

namespace acc00420 {
namespace {

qint64 cents(const fw::Field &field)
{
    return field.isNull() ? 0 : std::llround(field.asFloat() * 100);
}

} // namespace

void TfrmPagClie::bindStatementEvents()
{
    mnuImprimirExtrato = addReportItem("mnuImprimirExtrato", QStringLiteral("Imprimir &Extrato"),
                                       QKeySequence(Qt::CTRL | Qt::Key_E), [this] { printStatement(); }, ReportOf::DataSet);
    mnuExportarExtrato = addReportItem("mnuExportarExtrato", QStringLiteral("E&xportar Extrato..."),
                                       QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_E), [this] { exportStatement(); },
                                       ReportOf::DataSet);
    askExportFile = [this](const QString &suggested) {
        return QFileDialog::getSaveFileName(this, QStringLiteral("Exportar Extrato"), suggested,
                                            QStringLiteral("Planilha CSV (*.csv)"));
    };
}

std::optional<std::pair<StatementPrint, Statement>> TfrmPagClie::askStatement()
{
    const QString consumer = fw::EmptyString(edtConsumidor->text()) ? QString() : edtConsumidor->text();
    TdlgExtrato dialog(startDate().date(), fw::Date(),
                       consumer.isEmpty() ? QString() : QStringLiteral("%1 %2").arg(consumer, edtNmConsum->text()), this);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    const StatementRequest request = dialog.request();
    fw::BusyIndicator busy(fw::hostServices().mainWindow, 6);
    // The whole account (or the consumer's), so the balance carried in follows the ledger's
    // rule from the first movement on.
    QString code = request.everyConsumer ? QString() : consumer;
    QString all = request.everyConsumer ? QStringLiteral("T") : QString();
    const fw::CborItem payload = fw::CheckResultServ(
        service().getMovCliente(code, all, selectedClient(), QDateTime(QDate(1900, 1, 1), QTime(0, 0))), true, 0);
    fw::RecordSet rows;
    rows.loadFromPacket(payload.bytes());
    QList<StatementMovement> movements;
    for (rows.first(); !rows.eof(); rows.next()) {
        movements.append({rows.fieldByName(QStringLiteral("NRSEQMOVCLI")).asString(),
                          rows.fieldByName(QStringLiteral("DTMOVCLI")).asDateTime().toMSecsSinceEpoch(),
                          rows.fieldByName(QStringLiteral("IDTIPMOCVLI")).asString(),
                          rows.fieldByName(QStringLiteral("CDCONSUMIDOR")).asString(),
                          rows.fieldByName(QStringLiteral("DSHISTMOV")).asString(),
                          cents(rows.fieldByName(QStringLiteral("VRMOVCLI"))),
                          cents(rows.fieldByName(QStringLiteral("VRMOVPESCONS")))});
    }
    StatementPrint print;
    print.holder = {selectedClient(), qryCliente->FieldByName(QStringLiteral("NMFANTCLIE")).asString(),
                    qryCliente->FieldByName(QStringLiteral("NRINSJURCLIE")).asString(),
                    qryCliente->FieldByName(QStringLiteral("IDTPIJURCLIE")).asString(),
                    request.everyConsumer ? QString() : consumer, request.everyConsumer ? QString() : edtNmConsum->text()};
    print.branchName = branchName();
    print.from = request.from;
    print.to = request.to;
    print.showCancelled = request.showCancelled;
    print.issuedBy = QStringLiteral("%1 %2").arg(fw::Operador(), fw::NomeOperador()).trimmed();
    print.issuedAt = fw::Now();
    return std::pair{print, buildStatement(movements, request.from, request.to)};
}

QString TfrmPagClie::branchName() const
{
    fw::TADOIBQuery branch;
    branch.setSql(QStringLiteral("SELECT NMFILIAL FROM FILIAL WHERE CDFILIAL = :P_CDFILIAL"));
    branch.ParamByName(QStringLiteral("P_CDFILIAL")).setAsString(fw::FiliProc());
    branch.Open();
    return branch.IsEmpty() ? fw::FiliProc() : branch.FieldByName(QStringLiteral("NMFILIAL")).asString();
}

void TfrmPagClie::printStatement()
{
    const auto asked = askStatement();
    if (!asked)
        return;
    const fw::ReportDefinition report = fw::ReportDefinition::load(StatementReport);
    rpddPadrao->preview(report, statementReportData(asked->first, asked->second), this);
}

void TfrmPagClie::exportStatement()
{
    const auto asked = askStatement();
    if (!asked)
        return;
    const QString file = askExportFile(QStringLiteral("extrato-%1.csv").arg(asked->first.to.toString(QStringLiteral("yyyy-MM-dd"))));
    if (file.isEmpty())
        return;
    Statement shown = asked->second;
    if (!asked->first.showCancelled)
        shown.lines.removeIf([](const StatementLine &line) { return line.movement.type == QLatin1String("X"); });
    QSaveFile out(file);
    if (!out.open(QIODevice::WriteOnly) || out.write(statementCsv(shown)) < 0 || !out.commit())
        fw::MensErro(QStringLiteral("Não foi possível gravar %1: %2. Escolha outra pasta.").arg(file, out.errorString()));
    showStatus(QStringLiteral("Extrato exportado: %1 lançamento(s) em %2.").arg(shown.lines.size()).arg(file));
}

} // namespace acc00420
