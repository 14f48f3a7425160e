#include "reportrenderer.h"

#include <framework/report/amountinwords.h>
#include <framework/core/checks.h>
#include <framework/core/formatsettings.h>

#include <QPainter>
#include <optional>
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

// A cell's text read once: its literal pieces and its placeholders, each with its column or
// parameter already found, so that a row costs formatting only.
class CellText
{
public:
    CellText(const QString &text, const ReportData &data)
    {
        static const QRegularExpression placeholder(QStringLiteral("\\{([^{}]+)\\}"));
        qsizetype from = 0;
        for (const QRegularExpressionMatch &m : placeholder.globalMatch(text)) {
            literal(text.mid(from, m.capturedStart() - from));
            from = m.capturedEnd();
            QStringList parts = m.captured(1).split(u':');
            const QString head = parts.takeFirst();
            if (head == QLatin1String("page") || head == QLatin1String("pages")) {
                m_pieces.append(Piece{head == QLatin1String("page") ? Piece::Page : Piece::Pages});
                m_byPage = true;
            } else if (head == QLatin1String("count")) {
                literal(QString::number(data.rows.size()));
            } else if (head == QLatin1String("param")) {
                const QString name = parts.isEmpty() ? QString() : parts.takeFirst();
                if (!ExistParam(data.params, name))
                    throw ReportError(QStringLiteral("O parâmetro %1 não está declarado no relatório.").arg(name));
                m_pieces.append(Piece{Piece::Value, {}, -1, ParamByName(const_cast<ReportParams &>(data.params), name).value, parts});
            } else if (head == QLatin1String("sum")) {
                const int column = columnOf(data, parts.isEmpty() ? QString() : parts.takeFirst());
                double total = 0;
                for (const QVariantList &r : data.rows)
                    total += asNumber(r.value(column));
                m_pieces.append(Piece{Piece::Value, {}, -1, total, parts});
            } else {
                m_pieces.append(Piece{Piece::Column, {}, columnOf(data, head), {}, parts});
            }
        }
        literal(text.mid(from));
    }

    // Whether the text changes from page to page ({page}, {pages}).
    bool byPage() const { return m_byPage; }

    QString expand(const ReportData &data, int row, int page, int pages) const
    {
        QString out;
        for (const Piece &p : m_pieces) {
            switch (p.kind) {
            case Piece::Literal: out += p.literal; break;
            case Piece::Page: out += QString::number(page); break;
            case Piece::Pages: out += QString::number(pages); break;
            case Piece::Value: out += formatted(p.value, p.formats); break;
            case Piece::Column:
                if (row < data.rows.size())
                    out += formatted(data.rows[row].value(p.column), p.formats);
                break;
            }
        }
        return out;
    }

private:
    struct Piece
    {
        enum Kind { Literal, Page, Pages, Value, Column } kind;
        QString literal;
        int column = -1;
        QVariant value;
        QStringList formats;
    };

    void literal(const QString &text)
    {
        if (!text.isEmpty())
            m_pieces.append(Piece{Piece::Literal, text});
    }

    QList<Piece> m_pieces;
    bool m_byPage = false;
};

// A cell as it is drawn: its text read once, its font and metrics on the device.
struct CellLook
{
    CellText text;
    QFont font;
    QFontMetricsF metrics;
    Qt::Alignment align;
    double width; // in device units
};

using BandLook = QList<QList<CellLook>>; // its lines, each a list of cells

// A cell's text for one row, and its width when it fits one line (negative: it wraps).
struct CellRun
{
    QString text;
    double advance;
};

// A band for one row: its texts and line heights as measured, and where it was placed.
struct PlacedBand
{
    const BandLook *lines;
    int row;
    QList<QList<CellRun>> texts;
    QList<double> heights;
    double height = 0;
    double y = 0;
};

QFont cellFont(const ReportCell &cell)
{
    QFont f(QStringLiteral("DejaVu Sans"));
    f.setPointSizeF(cell.size);
    f.setBold(cell.bold);
    return f;
}

// Lays the bands out page by page once, then paints the pages from that plan: the number of
// pages is known before the first footer is drawn.
class Layout
{
public:
    Layout(const ReportDefinition &report, const ReportData &data, QPagedPaintDevice &device)
        : m_data(data)
    {
        const double mm = device.logicalDpiX() / 25.4;
        m_left = report.marginMm * mm;
        m_top = report.marginMm * mm;
        m_width = device.width() - 2 * m_left;
        m_bottom = device.height() - report.marginMm * mm;
        for (const ReportBand &band : report.bands) {
            if (!m_bands[int(band.kind)]) // the first of each kind, as ReportDefinition::band finds
                m_bands[int(band.kind)] = look(band, device);
        }
    }

    int plan()
    {
        const auto &footer = m_bands[int(ReportBand::Kind::PageFooter)];
        m_footerHeight = footer ? measure(*footer, 0).height : 0;
        // The first page opens with the title, the page header under it.
        m_pages.emplace_back();
        m_y = m_pageTop = m_top;
        place(ReportBand::Kind::Title, 0);
        placeHeader();
        for (int row = 0; m_bands[int(ReportBand::Kind::Detail)] && row < m_data.rows.size(); ++row)
            place(ReportBand::Kind::Detail, row);
        place(ReportBand::Kind::Summary, 0);
        return int(m_pages.size());
    }

    void paint(QPainter &painter, QPagedPaintDevice &device) const
    {
        const int pages = int(m_pages.size());
        for (int page = 1; page <= pages; ++page) {
            if (page > 1)
                device.newPage();
            if (const auto &header = m_bands[int(ReportBand::Kind::PageHeader)])
                paintBand(painter, measure(*header, 0, page, pages), m_headerAt[page - 1]);
            for (const PlacedBand &band : m_pages[page - 1])
                paintBand(painter, band, band.y);
            if (const auto &footer = m_bands[int(ReportBand::Kind::PageFooter)])
                paintBand(painter, measure(*footer, 0, page, pages), m_bottom - m_footerHeight);
        }
    }

private:
    BandLook look(const ReportBand &band, QPagedPaintDevice &device) const
    {
        BandLook lines;
        for (const ReportLine &line : band.lines) {
            double total = 0;
            for (const ReportCell &c : line.cells)
                total += c.width;
            QList<CellLook> cells;
            for (const ReportCell &c : line.cells) {
                const QFont font = cellFont(c);
                cells.append({CellText(c.text, m_data), font, QFontMetricsF(font, &device), c.align, m_width * c.width / total});
            }
            lines.append(cells);
        }
        return lines;
    }

    // The band's texts for a row and the height of each line: as high as its tallest cell, a
    // long text wrapping inside its cell.
    PlacedBand measure(const BandLook &lines, int row, int page = 0, int pages = 0) const
    {
        PlacedBand placed{&lines, row, {}, {}};
        for (const QList<CellLook> &line : lines) {
            QList<CellRun> texts;
            double h = 0;
            for (const CellLook &c : line) {
                QString text = c.text.expand(m_data, row, page, pages);
                double advance = text.contains(u'\n') ? -1 : c.metrics.horizontalAdvance(text);
                if (advance > c.width)
                    advance = -1;
                h = std::max(h, advance >= 0 ? c.metrics.height()
                                             : c.metrics.boundingRect(QRectF(0, 0, c.width, 1e6), Qt::TextWordWrap, text).height());
                texts.append({std::move(text), advance});
            }
            placed.texts.append(texts);
            placed.heights.append(h * 1.15);
            placed.height += h * 1.15;
        }
        return placed;
    }

    void paintBand(QPainter &painter, const PlacedBand &band, double y) const
    {
        for (qsizetype l = 0; l < band.lines->size(); ++l) {
            const QList<CellLook> &line = band.lines->at(l);
            double x = m_left;
            for (qsizetype c = 0; c < line.size(); ++c) {
                const CellLook &cell = line[c];
                const CellRun &run = band.texts[l][c];
                painter.setFont(cell.font);
                if (run.advance >= 0) {
                    // One line: drawn at its baseline, without laying the text out again.
                    const double room = cell.width - run.advance;
                    const double left = cell.align & Qt::AlignRight     ? x + room
                                        : cell.align & Qt::AlignHCenter ? x + room / 2
                                                                        : x;
                    painter.drawText(QPointF(left, y + cell.metrics.ascent()), run.text);
                } else {
                    painter.drawText(QRectF(x, y, cell.width, band.heights[l]),
                                     int(cell.align | Qt::AlignTop | Qt::TextWordWrap), run.text);
                }
                x += cell.width;
            }
            y += band.heights[l];
        }
    }

    void startPage()
    {
        m_pages.emplace_back();
        m_y = m_top;
        placeHeader();
    }

    void placeHeader()
    {
        m_headerAt.append(m_y);
        if (const auto &header = m_bands[int(ReportBand::Kind::PageHeader)])
            m_y += measure(*header, 0).height;
        m_pageTop = m_y;
    }

    void place(ReportBand::Kind kind, int row)
    {
        const auto &lines = m_bands[int(kind)];
        if (!lines)
            return;
        PlacedBand band = measure(*lines, row);
        // A band that fits no page is drawn where it starts and cut at the foot.
        if (m_y + band.height > m_bottom - m_footerHeight && m_y > m_pageTop)
            startPage();
        band.y = m_y;
        m_y += band.height;
        m_pages.last().append(std::move(band));
    }

    const ReportData &m_data;
    std::optional<BandLook> m_bands[5];
    QList<QList<PlacedBand>> m_pages;
    QList<double> m_headerAt; // each page's
    double m_left, m_top, m_width, m_bottom;
    double m_footerHeight = 0;
    double m_y = 0, m_pageTop = 0;
};

} // namespace

int renderReport(const ReportDefinition &report, const ReportData &data, QPagedPaintDevice &device)
{
    device.setPageLayout(QPageLayout(QPageSize(report.pageSize), report.orientation, QMarginsF(0, 0, 0, 0)));
    Layout layout(report, data, device);
    const int pages = layout.plan();
    QPainter painter(&device);
    if (!painter.isActive())
        throw ReportError(QStringLiteral("Não foi possível desenhar o relatório %1 no destino escolhido.").arg(report.name));
    layout.paint(painter, device);
    return pages;
}

} // namespace fw
