#pragma once

#include <framework/report/reportexport.h>

#include <QString>

namespace fw {

// An amount of money written out in Portuguese words, in reais and centavos, rounded to the
// cent: 12.5 → "doze reais e cinquenta centavos", 1000000 → "um milhão de reais".
FW_REPORT_EXPORT QString ValorExtenso(double amount);

} // namespace fw
