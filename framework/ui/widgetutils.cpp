#include "widgetutils.h"

#include <QEvent>

#include <framework/ui/handlerguard.h>

#include <QApplication>

namespace fw {

void SetChildEnabled(QWidget *container, bool enabled)
{
    for (QWidget *child : container->findChildren<QWidget *>(Qt::FindDirectChildrenOnly))
        child->setEnabled(enabled);
}

int widthForTitle(const QWidget &window)
{
    QString shown = window.windowTitle();
    const QString application = QGuiApplication::applicationDisplayName();
    if (!application.isEmpty() && !shown.endsWith(application))
        shown += QStringLiteral(" — ") + application;
    // Title bars draw in a bold font of about the application's size, beside an icon and
    // three buttons.
    QFont title = QApplication::font();
    title.setBold(true);
    const int buttons = 4 * (QFontMetrics(title).height() + 8);
    return QFontMetrics(title).horizontalAdvance(shown) + buttons + 24;
}

void keepTitleVisible(QWidget &dialog)
{
    dialog.setMinimumWidth(std::max(dialog.minimumWidth(), widthForTitle(dialog)));
}

PanelFocusWatcher::PanelFocusWatcher(QWidget *panel, QWidget *screen)
    : QObject(panel)
    , m_panel(panel)
    , m_screen(screen)
{
    connect(qApp, &QApplication::focusChanged, this, &PanelFocusWatcher::focusChanged);
    m_inside = contains(QApplication::focusWidget());
}

bool PanelFocusWatcher::contains(const QWidget *widget) const
{
    return widget && m_panel && (widget == m_panel || m_panel->isAncestorOf(widget));
}

void PanelFocusWatcher::focusChanged(QWidget *old, QWidget *)
{
    // Where the focus is now, not where this change sent it: a control's own check (a date
    // that is no real day) may have taken it back already.
    QWidget *now = QApplication::focusWidget();
    if (m_running || !now || !m_screen || (now != m_screen && !m_screen->isAncestorOf(now)) || screenClosing(m_screen)
        || focusBeingPutBack(m_screen))
        return;
    const bool inside = contains(now);
    if (inside == m_inside)
        return;
    m_inside = inside;
    const auto &handler = inside ? onEnter : onExit;
    if (!handler)
        return;
    m_running = true;
    guarded(handler);
    m_running = false;
    // Where the handler left the focus is where it is now, without raising anything; and there
    // it stays once Qt has finished the change that raised it.
    QWidget *left = QApplication::focusWidget();
    const bool asked = !left; // a message box has the activation: the field chosen waits in its window
    if (asked)
        left = m_screen->window()->focusWidget();
    m_inside = contains(left);
    if (left != now)
        keepFocusAfterChange(old, now, left);
    else if (asked) // the window coming back may give the focus elsewhere: the operator's field it is
        keepFocusAfterChange(old, nullptr, left);
}

namespace {

class DisabledUnless : public QObject
{
public:
    DisabledUnless(QWidget *widget, std::function<bool()> allowed)
        : QObject(widget)
        , m_allowed(std::move(allowed))
    {
        widget->installEventFilter(this);
        if (!m_allowed())
            widget->setEnabled(false);
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        auto *widget = static_cast<QWidget *>(watched);
        if (event->type() == QEvent::EnabledChange && widget->isEnabled() && !m_allowed())
            widget->setEnabled(false);
        return false;
    }

private:
    std::function<bool()> m_allowed;
};

} // namespace

void keepDisabledUnless(QWidget *widget, std::function<bool()> allowed)
{
    new DisabledUnless(widget, std::move(allowed));
}

} // namespace fw
