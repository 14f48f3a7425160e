#include "reportdesigner.h"

#include <framework/data/adoibquery.h>
#include <framework/data/database.h>
#include <framework/core/dialogs.h>
#include <framework/report/reportpreview.h>
#include <framework/report/reportrenderer.h>

#include <QPdfWriter>
#include <QPrintPreviewDialog>
#include <QPrinter>

#include <stdexcept>

namespace fw {

bool ExistParam(const ReportParams &params, const QString &name)
{
    return std::any_of(params.cbegin(), params.cend(),
                       [&](const ReportParam &p) { return p.name.compare(name, Qt::CaseInsensitive) == 0; });
}

ReportParam &ParamByName(ReportParams &params, const QString &name)
{
    for (ReportParam &p : params) {
        if (p.name.compare(name, Qt::CaseInsensitive) == 0)
            return p;
    }
    throw std::invalid_argument(QStringLiteral("parâmetro %1 não existe no relatório").arg(name).toStdString());
}

void TReportDesignerDialog::fillQueryParams(ReportParams &params)
{
    bool handled = false;
    if (onBeforeGetQueryParams)
        onBeforeGetQueryParams(params, handled);
}

} // namespace fw

namespace fw {
namespace {

// The database aliases reports run against: "dbVelmora" is the shared database.
QString connectionOfAlias(const QString &alias)
{
    if (alias.compare(QLatin1String("dbVelmora"), Qt::CaseInsensitive) == 0)
        return QString(); // the shared database module's connection
    throw ReportError(QStringLiteral("O banco de dados \"%1\" do relatório não é conhecido; use \"dbVelmora\".").arg(alias));
}

QVariant toVariant(const Field &field)
{
    const Value v = field.value();
    if (const auto *text = std::get_if<QString>(&v))
        return *text;
    if (const auto *number = std::get_if<double>(&v))
        return field.dataType() == FieldType::DateTime ? QVariant(field.asDateTime()) : QVariant(*number);
    if (const auto *integer = std::get_if<qint64>(&v))
        return field.dataType() == FieldType::DateTime ? QVariant(field.asDateTime()) : QVariant(*integer);
    return {};
}

} // namespace

ReportData TReportDesignerDialog::fetch(const QString &reportFile)
{
    const ReportDefinition report = ReportDefinition::load(reportFile);
    if (defaultDatabaseOnly && report.database.compare(defaultDatabaseName, Qt::CaseInsensitive) != 0)
        throw ReportError(QStringLiteral("O relatório %1 usa o banco \"%2\"; aqui só \"%3\" está disponível.")
                              .arg(report.name, report.database, defaultDatabaseName));
    if (report.sql.isEmpty())
        throw ReportError(QStringLiteral("O relatório %1 não tem consulta: só o imprime o programa que dá as suas linhas.")
                              .arg(report.name));
    ReportData data;
    for (const QString &name : report.parameters)
        data.params.append({name, QVariant()});
    fillQueryParams(data.params);

    TADOIBQuery query;
    query.setObjectName(report.name);
    query.setConnectionName(connectionOfAlias(report.database));
    query.setSql(report.sql);
    for (const QString &name : query.paramNames()) {
        if (!ExistParam(data.params, name))
            throw ReportError(QStringLiteral("O relatório %1 usa o parâmetro %2 na consulta sem declará-lo.")
                                  .arg(report.name, name));
        query.ParamByName(name).value = ParamByName(data.params, name).value;
    }
    try {
        query.Open();
    } catch (const std::exception &failure) {
        throw ReportError(QStringLiteral("A consulta do relatório %1 falhou: %2").arg(report.name, QString::fromUtf8(failure.what())));
    }
    for (int i = 0; i < query.fieldCount(); ++i)
        data.columns.append(query.field(i).fieldName());
    for (query.first(); !query.eof(); query.next()) {
        QVariantList row;
        for (int i = 0; i < query.fieldCount(); ++i)
            row.append(toVariant(query.field(i)));
        data.rows.append(row);
    }
    if (data.rows.isEmpty() && !printIfEmpty)
        throw ReportError(QStringLiteral("Não há dados para o relatório %1.").arg(report.name));
    return data;
}

int TReportDesignerDialog::printToPdf(const QString &reportFile, const QString &pdfFile)
{
    const ReportDefinition report = ReportDefinition::load(reportFile);
    const ReportData data = fetch(reportFile);
    QPdfWriter writer(pdfFile);
    writer.setResolution(300);
    writer.setTitle(report.name);
    writer.setCreator(QStringLiteral("Retaguarda"));
    return renderReport(report, data, writer);
}

void TReportDesignerDialog::applyPrinterSettings(QPrinter &printer) const
{
    if (!printer.isValid() || !this->printer.used)
        return;
    printer.setCopyCount(this->printer.copies);
    printer.setDuplex(this->printer.duplex ? QPrinter::DuplexAuto : QPrinter::DuplexNone);
    if (this->printer.firstPage > 0 || this->printer.lastPage > 0)
        printer.setFromTo(this->printer.firstPage, this->printer.lastPage);
    printer.setPaperSource(this->printer.outputBin == 0 ? QPrinter::Upper : QPrinter::PaperSource(this->printer.outputBin));
}

int TReportDesignerDialog::print(const QString &reportFile, QPrinter &printer)
{
    const ReportDefinition report = ReportDefinition::load(reportFile);
    const ReportData data = fetch(reportFile);
    applyPrinterSettings(printer);
    return renderReport(report, data, printer);
}

void TReportDesignerDialog::preview(const QString &reportFile, QWidget *parent)
{
    // Everything that can fail does so before the window opens.
    const ReportDefinition report = ReportDefinition::load(reportFile);
    preview(report, fetch(reportFile), parent);
}

void TReportDesignerDialog::preview(const ReportDefinition &report, const ReportData &data, QWidget *parent)
{
    auto *printer = new QPrinter(QPrinter::HighResolution);
    applyPrinterSettings(*printer);
    QPrintPreviewDialog *dialog = createReportPreview(printer, parent);
    dialog->setWindowTitle(report.name);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    QObject::connect(dialog, &QObject::destroyed, [printer] { delete printer; });
    QObject::connect(dialog, &QPrintPreviewDialog::paintRequested, dialog, [report, data](QPrinter *target) {
        try {
            renderReport(report, data, *target);
        } catch (const ReportError &failure) {
            showError(QString::fromUtf8(failure.what()));
        }
    });
    if (modalPreview) {
        dialog->exec();
    } else {
        dialog->open();
    }
}

} // namespace fw
