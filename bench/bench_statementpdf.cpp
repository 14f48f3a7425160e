// A 10,000-movement statement written as a PDF through its report, beside QPdfWriter drawing
// the same lines bare (each cell's text at its place, a page at a time), in one run.
//
//   bench_statementpdf

#include "measure.h"
#include "statementreport.h"
#include <framework/core/largebuffers.h>

#include <QDateTime>
#include <QGuiApplication>
#include <QPainter>
#include <QPdfWriter>
#include <QTemporaryDir>

#include <cstdio>

using namespace acc00420;

namespace {

constexpr int Movements = 10000;
constexpr int Runs = 5;

QList<StatementMovement> account()
{
    QList<StatementMovement> movements;
    const qint64 first = QDateTime(QDate(2026, 1, 1), QTime(8, 0)).toMSecsSinceEpoch();
    for (int i = 0; i < Movements; ++i)
        movements.append({QString::number(i + 1).rightJustified(10, u'0'), first + qint64(i) * 1800000,
                          i % 7 == 0 ? QStringLiteral("C") : QStringLiteral("D"), QStringLiteral("000000000000000000003"),
                          QStringLiteral("Consumo na cantina"), 500 + i % 3000, i % 3 ? 0 : 250});
    return movements;
}

// The same cells the report draws, as plain text at fixed places: nine columns, 40 lines a page.
int drawBare(const QString &file, const fw::ReportData &data)
{
    QPdfWriter writer(file);
    writer.setResolution(300);
    writer.setPageOrientation(QPageLayout::Landscape);
    QPainter painter(&writer);
    const int width = painter.viewport().width(), lineHeight = painter.fontMetrics().height() * 3 / 2;
    int pages = 1, y = lineHeight;
    for (const QVariantList &row : data.rows) {
        if (y + lineHeight > painter.viewport().height()) {
            writer.newPage();
            ++pages;
            y = lineHeight;
        }
        for (int c = 0; c < row.size(); ++c)
            painter.drawText(QRect(c * width / row.size(), y, width / row.size(), lineHeight), Qt::AlignLeft, row.at(c).toString());
        y += lineHeight;
    }
    return pages;
}

} // namespace

int main(int argc, char **argv)
{
    fw::keepLargeBuffersForReuse();
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QTemporaryDir dir;
    const QList<StatementMovement> movements = account();
    StatementPrint print{{QStringLiteral("1"), QStringLiteral("Cantina"), QStringLiteral("11222333000181"), QStringLiteral("J")},
                         QStringLiteral("Matriz"), QDate(2026, 1, 1), QDate(2027, 12, 31), true, QStringLiteral("bench"),
                         QDateTime::currentDateTime()};
    std::vector<double> report, bare;
    int reportPages = 0, barePages = 0;
    for (int run = 0; run <= Runs; ++run) { // the first one warms up
        const double r = bench::timeMs([&] {
            reportPages = printStatementToPdf(dir.filePath("report.pdf"), print, buildStatement(movements, print.from, print.to));
        });
        const fw::ReportData data = statementReportData(print, buildStatement(movements, print.from, print.to));
        const double b = bench::timeMs([&] { barePages = drawBare(dir.filePath("bare.pdf"), data); });
        if (run > 0) {
            report.push_back(r);
            bare.push_back(b);
        }
    }
    const double figure = bench::median(report), baseline = bench::median(bare);
    std::printf("statement of %d movements to PDF: %.1f ms (%d pages), bare QPdfWriter %.1f ms (%d pages), ratio %.2fx"
                " (target: <= 2x)\n", Movements, figure, reportPages, baseline, barePages, figure / baseline);
    bench::tableRow(QStringLiteral("statement, 10000 movements to PDF vs bare QPdfWriter"),
                    QStringLiteral("%1 ms").arg(figure, 0, 'f', 1), QStringLiteral("%1 ms").arg(baseline, 0, 'f', 1),
                    bench::times(figure / baseline), QStringLiteral("≤ 2x"), figure / baseline <= 2);
    return 0;
}
