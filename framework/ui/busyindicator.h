#pragma once

#include <framework/ui/uiexport.h>

#include <QString>

#include <optional>

class QWidget;

namespace fw {

// The busy indicator: a small frameless window with a moving bar, centred over the given
// window while a server call runs. Kinds: 0 connecting, 1 sending changes, 6 reading or
// recalculating; any other shows a plain "Aguarde". Calls nest; the window goes away when the
// last one is undone.
FW_UI_EXPORT void ActiveShowAvi(QWidget *window, int kind);
FW_UI_EXPORT void DeactiveShowAvi();
FW_UI_EXPORT bool busyIndicatorVisible();
// The kind of the indicator showing now (the innermost of nested calls); -1 when none shows.
FW_UI_EXPORT int busyIndicatorKind();
// Rows read so far by the call showing now, of the total when it is known (its bar then fills).
FW_UI_EXPORT void setBusyProgress(qint64 rows, std::optional<quint64> total);
// The words the indicator shows ("Consultando... 4.296 de 100.000 lançamentos"); empty when hidden.
FW_UI_EXPORT QString busyIndicatorText();

// Takes the indicator off the screen for its lifetime (a message shown during a call would be
// under it), and puts it back while calls are still open.
class FW_UI_EXPORT BusyIndicatorPause
{
public:
    BusyIndicatorPause();
    ~BusyIndicatorPause();
    BusyIndicatorPause(const BusyIndicatorPause &) = delete;
    BusyIndicatorPause &operator=(const BusyIndicatorPause &) = delete;

private:
    bool m_wasVisible;
};

// Shows the indicator for its lifetime, so every path out of a call (a failing one too)
// hides it again.
class BusyIndicator
{
public:
    BusyIndicator(QWidget *window, int kind) { ActiveShowAvi(window, kind); }
    ~BusyIndicator() { DeactiveShowAvi(); }
    BusyIndicator(const BusyIndicator &) = delete;
    BusyIndicator &operator=(const BusyIndicator &) = delete;
};

} // namespace fw
