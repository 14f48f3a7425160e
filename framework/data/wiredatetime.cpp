#include "wiredatetime.h"

#include <QTimeZone>

#include <algorithm>
#include <stdexcept>

namespace fw {
namespace {

// Days since 1970-01-01 of a civil date (proleptic Gregorian), after Howard Hinnant.
qint64 daysFromCivil(qint64 y, unsigned m, unsigned d)
{
    y -= m <= 2;
    const qint64 era = (y >= 0 ? y : y - 399) / 400;
    const auto yoe = unsigned(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + qint64(doe) - 719468;
}

void civilFromDays(qint64 z, int *year, unsigned *month, unsigned *day)
{
    z += 719468;
    const qint64 era = (z >= 0 ? z : z - 146096) / 146097;
    const auto doe = unsigned(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    *day = doy - (153 * mp + 2) / 5 + 1;
    *month = mp < 10 ? mp + 3 : mp - 9;
    *year = int(qint64(yoe) + era * 400 + (*month <= 2));
}

bool digits(const char *p, int count, int *out)
{
    int v = 0;
    for (int i = 0; i < count; ++i) {
        if (p[i] < '0' || p[i] > '9')
            return false;
        v = v * 10 + (p[i] - '0');
    }
    *out = v;
    return true;
}

int daysInMonth(int year, int month)
{
    static constexpr int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : days[month - 1];
}

// The local offset of an instant. Offsets change only at the zone's transitions, so one
// look-up serves every instant up to the next one: a whole statement usually costs one.
int localOffsetSeconds(qint64 msecs)
{
    struct Span
    {
        qint64 from = INT64_MAX;
        qint64 until = INT64_MIN;
        int offset = 0;
    };
    static thread_local Span span;
    if (msecs >= span.from && msecs < span.until)
        return span.offset;
    const QDateTime instant = QDateTime::fromMSecsSinceEpoch(msecs, Qt::UTC);
    const QTimeZone zone = QTimeZone::systemTimeZone();
    span.offset = QDateTime::fromMSecsSinceEpoch(msecs).offsetFromUtc();
    if (zone.hasTransitions()) {
        const auto next = zone.nextTransition(instant);
        const auto previous = zone.previousTransition(instant.addMSecs(1));
        span.until = next.atUtc.isValid() ? next.atUtc.toMSecsSinceEpoch() : INT64_MAX;
        span.from = previous.atUtc.isValid() ? previous.atUtc.toMSecsSinceEpoch() : INT64_MIN;
    } else {
        // Without the zone's transitions, trust the offset for the quarter hour only.
        span.from = msecs - (msecs % 900000 + 900000) % 900000;
        span.until = span.from + 900000;
    }
    return span.offset;
}

char *writeDigits(char *out, int value, int width)
{
    for (int i = width - 1; i >= 0; --i) {
        out[i] = char('0' + value % 10);
        value /= 10;
    }
    return out + width;
}

} // namespace

std::optional<qint64> parseWireDateTime(const char *p, qsizetype n)
{
    int year, month, day, hour, minute, second;
    if (n < 20 || !digits(p, 4, &year) || p[4] != '-' || !digits(p + 5, 2, &month)
        || p[7] != '-' || !digits(p + 8, 2, &day) || (p[10] != 'T' && p[10] != 't')
        || !digits(p + 11, 2, &hour) || p[13] != ':' || !digits(p + 14, 2, &minute)
        || p[16] != ':' || !digits(p + 17, 2, &second))
        return std::nullopt;
    if (month < 1 || month > 12 || day < 1 || day > daysInMonth(year, month) || hour > 23
        || minute > 59 || second > 59)
        return std::nullopt;
    qsizetype i = 19;
    int millis = 0;
    if (p[i] == '.') {
        ++i;
        int count = 0;
        while (i < n && p[i] >= '0' && p[i] <= '9') {
            if (count < 3)
                millis = millis * 10 + (p[i] - '0');
            ++count;
            ++i;
        }
        if (count == 0)
            return std::nullopt;
        for (; count < 3; ++count)
            millis *= 10;
    }
    int offsetMinutes = 0;
    if (i < n && (p[i] == 'Z' || p[i] == 'z')) {
        ++i;
    } else if (i + 6 <= n && (p[i] == '+' || p[i] == '-') && p[i + 3] == ':') {
        int oh, om;
        if (!digits(p + i + 1, 2, &oh) || !digits(p + i + 4, 2, &om) || oh > 23 || om > 59)
            return std::nullopt;
        offsetMinutes = (oh * 60 + om) * (p[i] == '-' ? -1 : 1);
        i += 6;
    } else {
        return std::nullopt;
    }
    if (i != n)
        return std::nullopt;
    const qint64 seconds = daysFromCivil(year, unsigned(month), unsigned(day)) * 86400
        + hour * 3600 + minute * 60 + second - qint64(offsetMinutes) * 60;
    return seconds * 1000 + millis;
}

QByteArray formatWireDateTime(qint64 msecs)
{
    char text[WireDateTimeMaxLength];
    const qsizetype length = formatWireDateTime(msecs, text);
    return QByteArray(text, length);
}

qsizetype formatWireDateTime(qint64 msecs, char (&buffer)[WireDateTimeMaxLength])
{
    int offset = localOffsetSeconds(msecs);
    // Old local mean times had offsets in seconds, which RFC 3339 can't write: such an
    // instant goes in UTC, so it still reads back exactly.
    if (offset % 60 != 0)
        offset = 0;
    const qint64 local = msecs + qint64(offset) * 1000;
    qint64 days = local >= 0 ? local / 86400000 : (local - 86399999) / 86400000;
    const qint64 msOfDay = local - days * 86400000;
    int year;
    unsigned month, day;
    civilFromDays(days, &year, &month, &day);
    const int absOffset = offset < 0 ? -offset : offset;
    // Four digits of year are all RFC 3339 writes: another year would read back as a
    // different instant.
    if (year < 0 || year > 9999)
        throw std::out_of_range(QStringLiteral("A data do ano %1 está fora dos anos 0000 a 9999 que o protocolo transmite.")
                                    .arg(year).toStdString());
    const auto ms = int(msOfDay);
    char *p = writeDigits(buffer, year, 4);
    *p++ = '-';
    p = writeDigits(p, int(month), 2);
    *p++ = '-';
    p = writeDigits(p, int(day), 2);
    *p++ = 'T';
    p = writeDigits(p, ms / 3600000, 2);
    *p++ = ':';
    p = writeDigits(p, ms / 60000 % 60, 2);
    *p++ = ':';
    p = writeDigits(p, ms / 1000 % 60, 2);
    *p++ = '.';
    p = writeDigits(p, ms % 1000, 3);
    *p++ = offset < 0 ? '-' : '+';
    p = writeDigits(p, absOffset / 3600, 2);
    *p++ = ':';
    p = writeDigits(p, absOffset / 60 % 60, 2);
    return p - buffer;
}

} // namespace fw
