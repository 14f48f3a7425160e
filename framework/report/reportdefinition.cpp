#include "reportdefinition.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace fw {
namespace {

[[noreturn]] void fail(const QString &source, const QString &what)
{
    throw ReportError(QStringLiteral("O relatório %1 é inválido: %2. Corrija o arquivo do relatório.").arg(source, what));
}

ReportBand::Kind bandKind(const QString &source, const QString &name)
{
    static const QHash<QString, ReportBand::Kind> kinds{
        {QStringLiteral("title"), ReportBand::Kind::Title},
        {QStringLiteral("pageHeader"), ReportBand::Kind::PageHeader},
        {QStringLiteral("detail"), ReportBand::Kind::Detail},
        {QStringLiteral("summary"), ReportBand::Kind::Summary},
        {QStringLiteral("pageFooter"), ReportBand::Kind::PageFooter}};
    const auto kind = kinds.constFind(name);
    if (kind == kinds.cend())
        fail(source, QStringLiteral("faixa de tipo \"%1\" desconhecido").arg(name));
    return *kind;
}

Qt::Alignment alignment(const QString &source, const QString &name)
{
    if (name.isEmpty() || name == QLatin1String("left"))
        return Qt::AlignLeft;
    if (name == QLatin1String("center"))
        return Qt::AlignHCenter;
    if (name == QLatin1String("right"))
        return Qt::AlignRight;
    fail(source, QStringLiteral("alinhamento \"%1\" desconhecido").arg(name));
}

ReportCell cell(const QString &source, const QJsonValue &value)
{
    if (value.isString())
        return {value.toString()};
    if (!value.isObject())
        fail(source, QStringLiteral("uma célula deve ser um texto ou um objeto"));
    const QJsonObject o = value.toObject();
    ReportCell c;
    c.text = o.value(QLatin1String("text")).toString();
    c.width = o.value(QLatin1String("width")).toDouble(1);
    c.align = alignment(source, o.value(QLatin1String("align")).toString());
    c.bold = o.value(QLatin1String("bold")).toBool();
    c.size = o.value(QLatin1String("size")).toDouble(10);
    if (c.width <= 0 || c.size <= 0)
        fail(source, QStringLiteral("largura e tamanho de célula devem ser positivos"));
    return c;
}

} // namespace

const ReportBand *ReportDefinition::band(ReportBand::Kind kind) const
{
    for (const ReportBand &b : bands) {
        if (b.kind == kind)
            return &b;
    }
    return nullptr;
}

ReportDefinition ReportDefinition::load(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw ReportError(QStringLiteral("O relatório %1 não pôde ser aberto (%2). Verifique se o arquivo existe.")
                              .arg(path, file.errorString()));
    return parse(file.readAll(), path);
}

ReportDefinition ReportDefinition::parse(const QByteArray &json, const QString &source)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError)
        fail(source, QStringLiteral("%1 na posição %2").arg(error.errorString()).arg(error.offset));
    if (!document.isObject())
        fail(source, QStringLiteral("o conteúdo deve ser um objeto JSON"));
    const QJsonObject root = document.object();
    ReportDefinition r;
    r.name = root.value(QLatin1String("report")).toString();
    r.database = root.value(QLatin1String("database")).toString();
    r.sql = root.value(QLatin1String("sql")).toString();
    if (r.name.isEmpty() || r.database.isEmpty())
        fail(source, QStringLiteral("\"report\" e \"database\" são obrigatórios"));
    for (const QJsonValue &p : root.value(QLatin1String("parameters")).toArray()) {
        if (!p.isString() || p.toString().isEmpty())
            fail(source, QStringLiteral("cada parâmetro deve ser um nome"));
        r.parameters.append(p.toString());
    }
    const QJsonObject page = root.value(QLatin1String("page")).toObject();
    const QString size = page.value(QLatin1String("size")).toString(QStringLiteral("A4"));
    if (size == QLatin1String("A4"))
        r.pageSize = QPageSize::A4;
    else if (size == QLatin1String("A5"))
        r.pageSize = QPageSize::A5;
    else if (size == QLatin1String("Letter"))
        r.pageSize = QPageSize::Letter;
    else
        fail(source, QStringLiteral("tamanho de página \"%1\" desconhecido").arg(size));
    const QString orientation = page.value(QLatin1String("orientation")).toString(QStringLiteral("portrait"));
    if (orientation != QLatin1String("portrait") && orientation != QLatin1String("landscape"))
        fail(source, QStringLiteral("orientação \"%1\" desconhecida").arg(orientation));
    r.orientation = orientation == QLatin1String("landscape") ? QPageLayout::Landscape : QPageLayout::Portrait;
    r.marginMm = page.value(QLatin1String("marginMm")).toDouble(15);
    const QJsonValue bands = root.value(QLatin1String("bands"));
    if (!bands.isArray() || bands.toArray().isEmpty())
        fail(source, QStringLiteral("\"bands\" deve listar ao menos uma faixa"));
    for (const QJsonValue &b : bands.toArray()) {
        const QJsonObject o = b.toObject();
        ReportBand band;
        band.kind = bandKind(source, o.value(QLatin1String("type")).toString());
        for (const QJsonValue &l : o.value(QLatin1String("lines")).toArray()) {
            ReportLine line;
            const QJsonArray cells = l.isArray() ? l.toArray() : QJsonArray{l};
            for (const QJsonValue &c : cells)
                line.cells.append(cell(source, c));
            band.lines.append(line);
        }
        r.bands.append(band);
    }
    return r;
}

} // namespace fw
