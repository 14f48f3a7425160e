#pragma once

#include <framework/report/reportdefinition.h>
#include <framework/report/reportdesigner.h>
#include <framework/report/reportexport.h>

#include <QPagedPaintDevice>
#include <QVariant>

namespace fw {

// What a run fetched: the query's columns and rows, and the parameters as the screen left them.
struct ReportData
{
    QStringList columns;
    QList<QVariantList> rows;
    ReportParams params;
};

// Draws a report on a paged device (a PDF writer, a printer) and returns the number of pages.
// Placeholders of the title, page header and page footer read the first row. Throws
// ReportError for a placeholder naming a field or parameter the report doesn't have.
FW_REPORT_EXPORT int renderReport(const ReportDefinition &report, const ReportData &data, QPagedPaintDevice &device);

} // namespace fw
