#include "reportdesigner.h"

#include <stdexcept>

namespace fw {

bool ExistParam(const ReportParams &params, const QString &name)
{
    return std::any_of(params.cbegin(), params.cend(),
                       [&](const ReportParam &p) { return p.name.compare(name, Qt::CaseInsensitive) == 0; });
}

ReportParam &ParamByName(ReportParams &params, const QString &name)
{
    for (ReportParam &p : params) {
        if (p.name.compare(name, Qt::CaseInsensitive) == 0)
            return p;
    }
    throw std::invalid_argument(QStringLiteral("parâmetro %1 não existe no relatório").arg(name).toStdString());
}

void TReportDesignerDialog::fillQueryParams(ReportParams &params)
{
    bool handled = false;
    if (onBeforeGetQueryParams)
        onBeforeGetQueryParams(params, handled);
}

} // namespace fw
