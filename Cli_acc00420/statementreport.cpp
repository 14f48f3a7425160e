#include "statementreport.h"

#include "statementcsv.h"

#include <QPdfWriter>

static void loadReportResources()
{
    // The report lives in this library's resources, also for a tool that opens no screen.
    Q_INIT_RESOURCE(acc00420);
}

namespace acc00420 {

fw::ReportData statementReportData(const StatementPrint &print, const Statement &s)
{
    fw::ReportData data;
    data.columns = {"DTMOVCLI", "NRSEQMOVCLI", "DSTIPO", "CDCONSUMIDOR", "DSHISTMOV", "VRMOVCLI", "VRMOVPESCONS",
                    "VRSALDOCONS", "VRSALDPECONS"};
    for (const StatementLine &line : s.lines) {
        const StatementMovement &m = line.movement;
        if (!print.showCancelled && m.type == QLatin1String("X"))
            continue;
        data.rows.append({m.moment, m.number, movementTypeName(m.type), m.consumer, m.history, m.company, m.personal,
                          line.balance.company, line.balance.personal});
    }
    const StatementHolder &h = print.holder;
    const QString date = QStringLiteral("dd/MM/yyyy");
    auto param = [&data](const char *name, const QVariant &value) { data.params.append({QLatin1String(name), value}); };
    param("P_FILIAL", print.branchName);
    param("P_CLIENTE", h.clientName);
    param("P_INSCRICAO", h.registration);
    param("P_CONSUMIDOR", h.consumer.isEmpty() ? QStringLiteral("todos os consumidores") : h.consumer + u' ' + h.consumerName);
    param("P_PERIODO", QStringLiteral("%1 a %2").arg(print.from.toString(date), print.to.toString(date)));
    param("P_EMISSAO", print.issuedAt.toString(QStringLiteral("dd/MM/yyyy HH:mm")));
    param("P_OPERADOR", print.issuedBy);
    param("P_ANTEMP", s.carried.company);
    param("P_ANTPES", s.carried.personal);
    param("P_CREDEMP", s.credits.company);
    param("P_CREDPES", s.credits.personal);
    param("P_DEBEMP", s.debits.company);
    param("P_DEBPES", s.debits.personal);
    param("P_FINALEMP", s.closing.company);
    param("P_FINALPES", s.closing.personal);
    const char *const company[] = {"P_EMP030", "P_EMP060", "P_EMP090", "P_EMP91"};
    const char *const personal[] = {"P_PES030", "P_PES060", "P_PES090", "P_PES91"};
    for (int i = 0; i < 4; ++i) {
        param(company[i], s.owedCompany.buckets[i]);
        param(personal[i], s.owedPersonal.buckets[i]);
    }
    return data;
}

int printStatementToPdf(const QString &file, const StatementPrint &print, const Statement &statement)
{
    loadReportResources();
    const fw::ReportDefinition report = fw::ReportDefinition::load(StatementReport);
    const fw::ReportData data = statementReportData(print, statement);
    QPdfWriter writer(file);
    writer.setResolution(300);
    writer.setTitle(report.name);
    return fw::renderReport(report, data, writer);
}

} // namespace acc00420
