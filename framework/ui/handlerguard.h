#pragma once

#include <framework/ui/uiexport.h>

#include <QString>

class QWidget;

#include <functional>

namespace fw {

// Runs an event handler so that no exception crosses Qt's event loop: Abort (the reason was
// already shown) simply ends the handler; any other failure is shown to the operator through
// the dialogs service, then ends it. Returns true when the handler ran to its end.
FW_UI_EXPORT bool guarded(const std::function<void()> &handler);

// A screen marks itself when it closes and when it is destroyed; the handlers of its controls
// (enter, exit, key presses, panel focus) then run no more, so a focus change made by the
// closing never validates anything on a screen whose parts are going away.
FW_UI_EXPORT void markScreenClosing(QWidget *screen);
FW_UI_EXPORT bool screenClosing(const QWidget *widget);

// A handler raised by a focus change from `from` to `to` that put the focus on `chosen` (the
// field it refused) would see Qt finish the change after it and undo that. Puts the focus back
// on `chosen` once the change is over, unless it has gone somewhere else meanwhile.
FW_UI_EXPORT void keepFocusAfterChange(QWidget *from, QWidget *to, QWidget *chosen);

// True while such a focus is on its way back in the widget's window.
FW_UI_EXPORT bool focusBeingPutBack(const QWidget *widget);

// The message shown for a failure that reached the guard.
FW_UI_EXPORT QString failureMessage(const std::exception &failure);

} // namespace fw
