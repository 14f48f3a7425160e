#pragma once

#include <framework/report/reportexport.h>

#include <QObject>
#include <QString>
#include <QVariant>

#include <functional>

class QPrinter;
class QWidget;

namespace fw {

struct ReportData;
struct ReportDefinition;

// One query parameter of a report.
struct ReportParam
{
    QString name;
    QVariant value;
    void setAsString(const QString &text) { value = text; }
};
using ReportParams = QList<ReportParam>;

// True when the list holds a parameter of that name (without regard to case).
FW_REPORT_EXPORT bool ExistParam(const ReportParams &params, const QString &name);
// The parameter of that name; std::invalid_argument when the list has none.
FW_REPORT_EXPORT ReportParam &ParamByName(ReportParams &params, const QString &name);

// The report designer and printing component of a screen: its settings, and the event raised
// before a stored report asks for its query parameters, where the screen fills them.
class FW_REPORT_EXPORT TReportDesignerDialog : public QObject
{
    Q_OBJECT
public:
    explicit TReportDesignerDialog(QObject *parent = nullptr) : QObject(parent) {}

    struct PrinterSettings
    {
        bool used = true;
        int copies = 1;
        bool duplex = false;
        int firstPage = 0; // 0 and 0: every page
        int lastPage = 0;
        int outputBin = 0;  // the first
    };

    QString defaultDatabaseName;
    bool defaultDatabaseOnly = false;
    bool filterBeforePrinting = false;
    bool printIfEmpty = true;
    bool scriptsEnabled = true;
    bool useDataModules = false;
    bool savePrinterSetup = false;
    PrinterSettings printer;
    bool modalPreview = true;
    bool userMayEditSql = true, userMayEditDataSets = true, userMayEditBlocks = true, userMayEditScripts = true;
    bool editAfterInsert = false, showDataFieldList = false, sortDataFields = false;
    bool customSqlDelimiter = false;
    int firstLabel = 0;
    int labelCount = 0;
    QString defaultExtension = QStringLiteral(".QR2");
    QString fileFilter = QStringLiteral("Reports|*.QR2");

    std::function<void(ReportParams &params, bool &handled)> onBeforeGetQueryParams;

    // What a report run does before its queries: raise the event over the report's parameters.
    void fillQueryParams(ReportParams &params);

    // A run: the report file read (".QR2", a file or a resource), its parameters offered to
    // the before-get-query-params event, its SQL run on the database its alias names with the
    // parameters bound, then drawn. Each throws ReportError with a message for the operator.
    ReportData fetch(const QString &reportFile);
    // Returns the number of pages written.
    int printToPdf(const QString &reportFile, const QString &pdfFile);
    // On the printer, with the printer settings above when they are used.
    int print(const QString &reportFile, QPrinter &printer);
    // A preview window over `parent`, from which the operator prints (modal as modalPreview says).
    void preview(const QString &reportFile, QWidget *parent);
    // The same for a report whose rows its program gives.
    void preview(const ReportDefinition &report, const ReportData &data, QWidget *parent);
    void applyPrinterSettings(QPrinter &printer) const;
};

} // namespace fw
