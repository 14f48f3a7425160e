#include "formatsettings.h"

#include <QLocale>

#include <cmath>
#include <optional>

namespace fw {
namespace {

FormatSettings current;

QString withSeparator(QString text)
{
    if (current.decimalSeparator != u'.')
        text.replace(u'.', current.decimalSeparator);
    return text;
}

// Thousands are grouped with the mark the decimal separator leaves free: "1.234,56", "1,234.56".
QString grouped(const QString &plain)
{
    const QChar thousands = current.decimalSeparator == u',' ? u'.' : u',';
    const qsizetype sign = plain.startsWith(u'-') ? 1 : 0;
    qsizetype end = plain.indexOf(current.decimalSeparator);
    if (end < 0)
        end = plain.size();
    QString text = plain;
    for (qsizetype at = end - 3; at > sign; at -= 3)
        text.insert(at, thousands);
    return text;
}

} // namespace

const FormatSettings &formatSettings()
{
    return current;
}

void setFormatSettings(const FormatSettings &settings)
{
    current = settings;
}

QString DateToStr(const QDate &date)
{
    return date.toString(current.shortDateFormat);
}

QString TimeToStr(const QTime &time)
{
    return time.toString(current.longTimeFormat);
}

QString DateTimeToStr(const QDateTime &moment)
{
    return DateToStr(moment.date()) + u' ' + TimeToStr(moment.time());
}

QString FormatFloat(const QString &format, double value)
{
    if (format.isEmpty())
        return FloatToStr(value);
    const qsizetype point = format.indexOf(u'.');
    const int decimals = point < 0 ? 0 : int(format.size() - point - 1);
    const double scale = std::pow(10.0, decimals);
    // Rounded here, half away from zero, so 0.125 shows 0.13 as a person expects; adding 0.0
    // turns a rounded -0 into 0.
    const double rounded = std::round(value * scale) / scale + 0.0;
    const QString plain = withSeparator(QString::number(rounded, 'f', decimals));
    return format.contains(u',') ? grouped(plain) : plain;
}

QString FloatToStr(double value)
{
    return withSeparator(QString::number(value + 0.0, 'f', QLocale::FloatingPointShortest));
}

std::optional<double> StrToFloat(const QString &text)
{
    QString normal = text.trimmed();
    normal.replace(current.decimalSeparator, u'.');
    bool ok = false;
    const double value = normal.toDouble(&ok);
    if (!ok || !std::isfinite(value))
        return std::nullopt;
    return value;
}

} // namespace fw
