#pragma once

#include <QString>

#include <functional>
#include <optional>
#include <vector>

// What every benchmark needs to measure and report: medians, percentiles, resident memory,
// and the results table that scripts/bench.sh gathers.
namespace bench {

double median(std::vector<double> values);
// The value below which `fraction` of them lie (0.99: the 99th percentile).
double percentile(std::vector<double> values, double fraction);
// Milliseconds `work` takes, once.
double timeMs(const std::function<void()> &work);
qint64 residentBytes();

// One line of the results table: "| what | figure | baseline | ratio | target | met? |"; a
// figure without a target of its own has "—" in both.
void tableRow(const QString &what, const QString &figure, const QString &baseline, const QString &ratio,
              const QString &target, std::optional<bool> met);
QString times(double ratio);   // "2.31x"
QString percent(double ratio); // "61%"

} // namespace bench
