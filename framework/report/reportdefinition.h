#pragma once

#include <framework/report/reportexport.h>

#include <QList>
#include <QPageLayout>
#include <QPageSize>
#include <QStringList>

#include <stdexcept>

namespace fw {

// A report that can't be read, run or drawn; the message says which report and what to do.
class FW_REPORT_EXPORT ReportError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
    explicit ReportError(const QString &message) : std::runtime_error(message.toStdString()) {}
};

// One piece of text of a report line. Its text may hold placeholders (docs/reports.md):
// {FIELD}, {FIELD:format}, {param:NAME[:format]}, {sum:FIELD[:format]}, {count}, {page},
// {pages}.
struct ReportCell
{
    QString text;
    double width = 1;                    // a share of the line's width
    Qt::Alignment align = Qt::AlignLeft;
    bool bold = false;
    double size = 10;                    // points
};

struct ReportLine
{
    QList<ReportCell> cells;
};

// Title: once, at the top of the first page; page header: at the top of every page (under the
// title on the first); detail: once per row; summary: once, after the rows (totals); page
// footer: at the foot of every page.
struct ReportBand
{
    enum class Kind { Title, PageHeader, Detail, Summary, PageFooter };
    Kind kind = Kind::Detail;
    QList<ReportLine> lines;
};

// A report file (".QR2"): a JSON document naming the report, its parameters, its SQL against a
// database alias and its layout. docs/reports.md gives the format.
struct FW_REPORT_EXPORT ReportDefinition
{
    QString name;
    QString database;
    QStringList parameters;
    QString sql; // empty: the program that prints the report gives its rows
    QPageSize::PageSizeId pageSize = QPageSize::A4;
    QPageLayout::Orientation orientation = QPageLayout::Portrait;
    double marginMm = 15;
    QList<ReportBand> bands;

    const ReportBand *band(ReportBand::Kind kind) const;

    // Throw ReportError naming the file and what is wrong in it.
    static ReportDefinition load(const QString &path);
    static ReportDefinition parse(const QByteArray &json, const QString &source);
};

} // namespace fw
