#pragma once

#include <framework/core/coreexport.h>

#include <exception>

namespace fw {

// Raised to end the running operation quietly after its reason was shown to the operator.
// The handler guard at each event boundary catches it; it never reaches Qt's event loop.
class FW_CORE_EXPORT Abort : public std::exception
{
public:
    const char *what() const noexcept override { return "operação interrompida"; }
};

} // namespace fw
