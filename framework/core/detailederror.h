#pragma once

#include <framework/core/coreexport.h>

#include <QString>

#include <stdexcept>

namespace fw {

// A failure told to the operator in words they can act on, with the technical detail (the
// call, the system's own text) kept apart for the dialog's "Detalhes".
class FW_CORE_EXPORT DetailedError : public std::runtime_error
{
public:
    DetailedError(const QString &message, const QString &details)
        : std::runtime_error(message.toStdString()), m_details(details)
    {
    }
    const QString &details() const { return m_details; }

private:
    QString m_details;
};

} // namespace fw
