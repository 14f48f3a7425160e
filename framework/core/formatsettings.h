#pragma once

#include <framework/core/coreexport.h>

#include <QChar>
#include <QDateTime>
#include <QString>

#include <optional>

namespace fw {

// How dates, times and numbers are written for the operator. Brazilian defaults; a host may
// replace them from its context. Screens format through these, never through literals.
struct FormatSettings
{
    QString shortDateFormat = QStringLiteral("dd/MM/yyyy");
    QString longTimeFormat = QStringLiteral("HH:mm:ss");
    QChar decimalSeparator = u',';
};

FW_CORE_EXPORT const FormatSettings &formatSettings();
FW_CORE_EXPORT void setFormatSettings(const FormatSettings &settings);

FW_CORE_EXPORT QString DateToStr(const QDate &date);
FW_CORE_EXPORT QString TimeToStr(const QTime &time);
// Short date, a blank, long time.
FW_CORE_EXPORT QString DateTimeToStr(const QDateTime &moment);

// Fixed decimals as a "0.00"-style format asks (the number of zeros after the point), rounded
// half away from zero, with the settings' decimal separator. A comma in the format ("#,##0.00")
// groups the thousands with the other mark ("1.234,56"); without one there is no thousands
// separator. An empty format writes FloatToStr.
FW_CORE_EXPORT QString FormatFloat(const QString &format, double value);
// The shortest text that reads back as the same value, with the settings' decimal separator.
FW_CORE_EXPORT QString FloatToStr(double value);
// Reads a number typed with the settings' separator (a dot is taken as well); nullopt when the
// text is not a number.
FW_CORE_EXPORT std::optional<double> StrToFloat(const QString &text);

} // namespace fw
