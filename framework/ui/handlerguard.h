#pragma once

#include <QString>

#include <functional>

namespace fw {

// Runs an event handler so that no exception crosses Qt's event loop: Abort (the reason was
// already shown) simply ends the handler; any other failure is shown to the operator through
// the dialogs service, then ends it. Returns true when the handler ran to its end.
bool guarded(const std::function<void()> &handler);

// The message shown for a failure that reached the guard.
QString failureMessage(const std::exception &failure);

} // namespace fw
