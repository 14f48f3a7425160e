#include "measure.h"

#include <QElapsedTimer>
#include <QFile>

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace bench {

double median(std::vector<double> values)
{
    return percentile(std::move(values), 0.5);
}

double percentile(std::vector<double> values, double fraction)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const auto at = size_t(std::ceil(fraction * double(values.size()))) - (fraction > 0 ? 1 : 0);
    return values[std::min(at, values.size() - 1)];
}

double timeMs(const std::function<void()> &work)
{
    QElapsedTimer timer;
    timer.start();
    work();
    return double(timer.nsecsElapsed()) / 1e6;
}

qint64 residentBytes()
{
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return 0;
    const QList<QByteArray> parts = statm.readAll().split(' ');
    return parts.value(1).toLongLong() * sysconf(_SC_PAGESIZE);
}

void tableRow(const QString &what, const QString &figure, const QString &baseline, const QString &ratio,
              const QString &target, std::optional<bool> met)
{
    std::printf("| %s | %s | %s | %s | %s | %s |\n", qUtf8Printable(what), qUtf8Printable(figure), qUtf8Printable(baseline),
                qUtf8Printable(ratio), qUtf8Printable(met ? target : QStringLiteral("—")),
                !met ? "—" : *met ? "yes" : "no");
    std::fflush(stdout);
}

QString times(double ratio)
{
    return QString::number(ratio, 'f', 2) + u'x';
}

QString percent(double ratio)
{
    return QString::number(ratio * 100, 'f', 0) + u'%';
}

} // namespace bench
