#pragma once

#include <framework/ui/uiexport.h>

#include <QObject>
#include <QPointer>
#include <QWidget>

#include <functional>

namespace fw {

// Enables or disables every control placed directly in the container.
FW_UI_EXPORT void SetChildEnabled(QWidget *container, bool enabled);

// The width a window needs for the window manager to show its whole title (with the
// application's name that the platform may append) beside the title bar's buttons.
FW_UI_EXPORT int widthForTitle(const QWidget &window);

// Keeps a dialog at least as wide as its title needs.
FW_UI_EXPORT void keepTitleVisible(QWidget &dialog);

// Keeps `widget` disabled while `allowed` says no, whatever else enables it: an action the
// operator has no right to stays greyed however the screen's state changes.
FW_UI_EXPORT void keepDisabledUnless(QWidget *widget, std::function<bool()> allowed);

// Raises a panel's enter and exit: enter when the focus moves into the panel from elsewhere in
// the same screen, exit when it moves from inside to elsewhere in the screen. Moves inside the
// panel, and focus going to another window (a message box, another screen), raise nothing.
// While a handler runs, the focus moves it makes (an exit handler putting the focus back on
// an edit of the panel) raise nothing either.
class FW_UI_EXPORT PanelFocusWatcher : public QObject
{
    Q_OBJECT
public:
    PanelFocusWatcher(QWidget *panel, QWidget *screen);

    std::function<void()> onEnter;
    std::function<void()> onExit;

    bool focusInside() const { return m_inside; }

private:
    void focusChanged(QWidget *old, QWidget *now);
    bool contains(const QWidget *widget) const;

    QPointer<QWidget> m_panel;
    QPointer<QWidget> m_screen;
    bool m_inside = false;
    bool m_running = false;
};

} // namespace fw
