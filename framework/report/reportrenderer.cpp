#include "reportrenderer.h"

#include <framework/report/amountinwords.h>
#include <framework/core/checks.h>
#include <framework/core/formatsettings.h>

#include <QPainter>
#include <QRegularExpression>

namespace fw {
namespace {

// Integers in date and time formats are milliseconds since the epoch, as the ledger keeps them.
QDateTime asMoment(const QVariant &value)
{
    if (value.typeId() == QMetaType::QDateTime)
        return value.toDateTime();
    bool ok = false;
    const qint64 msecs = value.toLongLong(&ok);
    return ok ? QDateTime::fromMSecsSinceEpoch(msecs) : QDateTime();
}

double asNumber(const QVariant &value)
{
    if (value.typeId() == QMetaType::QString)
        return StrToFloat(value.toString()).value_or(0);
    return value.toDouble();
}

QString formatted(QVariant value, QStringList formats)
{
    if (value.isNull() || (value.typeId() == QMetaType::QString && value.toString().isEmpty()))
        return {};
    // "cents" before another format hands it the amount in reais: {VALOR:cents:words}.
    if (formats.size() > 1 && formats.front() == QLatin1String("cents")) {
        value = asNumber(value) / 100;
        formats.removeFirst();
    }
    if (formats.size() > 1)
        throw ReportError(QStringLiteral("Formato \"%1\" desconhecido no relatório.").arg(formats.join(u':')));
    const QString format = formats.value(0);
    if (format.isEmpty()) {
        if (value.typeId() == QMetaType::Double)
            return FloatToStr(value.toDouble());
        if (value.typeId() == QMetaType::QDateTime)
            return DateTimeToStr(value.toDateTime());
        return value.toString();
    }
    if (format == QLatin1String("money"))
        return FormatFloat(QStringLiteral("#,##0.00"), asNumber(value));
    if (format == QLatin1String("cents"))
        return FormatFloat(QStringLiteral("#,##0.00"), asNumber(value) / 100);
    if (format == QLatin1String("words"))
        return ValorExtenso(asNumber(value));
    if (format == QLatin1String("inscricao")) {
        QString number = value.toString();
        const QString type = Ajusta_Inscricao(number);
        return type == PessoaIndefinida ? value.toString() : FormatInscricao(number, type);
    }
    if (format == QLatin1String("date"))
        return DateToStr(asMoment(value).date());
    if (format == QLatin1String("datetime"))
        return DateTimeToStr(asMoment(value));
    throw ReportError(QStringLiteral("Formato \"%1\" desconhecido no relatório.").arg(format));
}

int columnOf(const ReportData &data, const QString &name)
{
    for (int i = 0; i < data.columns.size(); ++i) {
        if (data.columns[i].compare(name, Qt::CaseInsensitive) == 0)
            return i;
    }
    throw ReportError(QStringLiteral("O campo %1 não existe na consulta do relatório.").arg(name));
}

} // namespace

QString expandReportText(const QString &text, const ReportData &data, int row, int page, int pages)
{
    static const QRegularExpression placeholder(QStringLiteral("\\{([^{}]+)\\}"));
    QString out;
    qsizetype from = 0;
    for (const QRegularExpressionMatch &m : placeholder.globalMatch(text)) {
        out += text.mid(from, m.capturedStart() - from);
        from = m.capturedEnd();
        const QStringList parts = m.captured(1).split(u':');
        const QString &head = parts[0];
        if (head == QLatin1String("page")) {
            out += QString::number(page);
        } else if (head == QLatin1String("pages")) {
            out += QString::number(pages);
        } else if (head == QLatin1String("count")) {
            out += QString::number(data.rows.size());
        } else if (head == QLatin1String("param")) {
            const QString name = parts.value(1);
            if (!ExistParam(data.params, name))
                throw ReportError(QStringLiteral("O parâmetro %1 não está declarado no relatório.").arg(name));
            out += formatted(ParamByName(const_cast<ReportParams &>(data.params), name).value, parts.mid(2));
        } else if (head == QLatin1String("sum")) {
            const int column = columnOf(data, parts.value(1));
            double total = 0;
            for (const QVariantList &r : data.rows)
                total += asNumber(r.value(column));
            out += formatted(total, parts.mid(2));
        } else {
            const int column = columnOf(data, head);
            out += row < data.rows.size() ? formatted(data.rows[row].value(column), parts.mid(1)) : QString();
        }
    }
    return out + text.mid(from);
}

namespace {

// Lays the bands out page by page; paints only when asked, so a first pass can count the pages.
class Layout
{
public:
    Layout(const ReportDefinition &report, const ReportData &data, QPagedPaintDevice &device, QPainter *painter,
           int pages)
        : m_report(report), m_data(data), m_device(device), m_painter(painter), m_pages(pages)
    {
        const double mm = device.logicalDpiX() / 25.4;
        m_left = report.marginMm * mm;
        m_top = report.marginMm * mm;
        m_width = device.width() - 2 * m_left;
        m_bottom = device.height() - report.marginMm * mm;
    }

    int run()
    {
        const ReportBand *footer = m_report.band(ReportBand::Kind::PageFooter);
        m_footerHeight = footer ? height(*footer, 0) : 0;
        startPage();
        if (const ReportBand *title = m_report.band(ReportBand::Kind::Title))
            place(*title, 0);
        if (const ReportBand *detail = m_report.band(ReportBand::Kind::Detail)) {
            for (int row = 0; row < m_data.rows.size(); ++row)
                place(*detail, row);
        }
        if (const ReportBand *summary = m_report.band(ReportBand::Kind::Summary))
            place(*summary, 0);
        endPage();
        return m_page;
    }

private:
    QFont font(const ReportCell &cell) const
    {
        QFont f(QStringLiteral("DejaVu Sans"));
        f.setPointSizeF(cell.size);
        f.setBold(cell.bold);
        return f;
    }

    double lineHeight(const ReportLine &line, int row) const
    {
        double total = 0;
        for (const ReportCell &c : line.cells)
            total += c.width;
        double h = 0;
        for (const ReportCell &c : line.cells) {
            const QFontMetricsF metrics(font(c), &m_device);
            const QRectF box(0, 0, m_width * c.width / total, 1e6);
            const QString text = expandReportText(c.text, m_data, row, m_page, m_pages);
            h = std::max(h, text.isEmpty() ? metrics.height()
                                           : metrics.boundingRect(box, Qt::TextWordWrap, text).height());
        }
        return h * 1.15;
    }

    double height(const ReportBand &band, int row) const
    {
        double h = 0;
        for (const ReportLine &line : band.lines)
            h += lineHeight(line, row);
        return h;
    }

    void paint(const ReportBand &band, int row, double y)
    {
        if (!m_painter)
            return;
        for (const ReportLine &line : band.lines) {
            double total = 0;
            for (const ReportCell &c : line.cells)
                total += c.width;
            const double h = lineHeight(line, row);
            double x = m_left;
            for (const ReportCell &c : line.cells) {
                const double w = m_width * c.width / total;
                m_painter->setFont(font(c));
                m_painter->drawText(QRectF(x, y, w, h), int(c.align | Qt::AlignTop | Qt::TextWordWrap),
                                    expandReportText(c.text, m_data, row, m_page, m_pages));
                x += w;
            }
            y += h;
        }
    }

    void startPage()
    {
        ++m_page;
        m_y = m_top;
        if (const ReportBand *header = m_report.band(ReportBand::Kind::PageHeader)) {
            paint(*header, 0, m_y);
            m_y += height(*header, 0);
        }
        m_pageTop = m_y;
    }

    void endPage()
    {
        if (const ReportBand *footer = m_report.band(ReportBand::Kind::PageFooter))
            paint(*footer, 0, m_bottom - m_footerHeight);
    }

    void place(const ReportBand &band, int row)
    {
        const double h = height(band, row);
        // A band that fits no page is drawn where it starts and cut at the foot.
        if (m_y + h > m_bottom - m_footerHeight && m_y > m_pageTop) {
            endPage();
            if (m_painter)
                m_device.newPage();
            startPage();
        }
        paint(band, row, m_y);
        m_y += h;
    }

    const ReportDefinition &m_report;
    const ReportData &m_data;
    QPagedPaintDevice &m_device;
    QPainter *m_painter;
    int m_pages;
    int m_page = 0;
    double m_left, m_top, m_width, m_bottom;
    double m_footerHeight = 0;
    double m_y = 0, m_pageTop = 0;
};

} // namespace

int renderReport(const ReportDefinition &report, const ReportData &data, QPagedPaintDevice &device)
{
    device.setPageLayout(QPageLayout(QPageSize(report.pageSize), report.orientation, QMarginsF(0, 0, 0, 0)));
    const int pages = Layout(report, data, device, nullptr, 0).run();
    QPainter painter(&device);
    if (!painter.isActive())
        throw ReportError(QStringLiteral("Não foi possível desenhar o relatório %1 no destino escolhido.").arg(report.name));
    return Layout(report, data, device, &painter, pages).run();
}

} // namespace fw
