#include "controlevents.h"

#include <framework/ui/handlerguard.h>

#include <QApplication>
#include <QFocusEvent>
#include <QKeyEvent>

namespace fw {

ControlEvents::ControlEvents(QWidget *control)
    : QObject(control)
    , m_control(control)
{
    control->installEventFilter(this);
}

void ControlEvents::run(const std::function<void()> &handler)
{
    if (!handler || m_running || !m_control || screenClosing(m_control) || focusBeingPutBack(m_control))
        return;
    QWidget *before = QApplication::focusWidget();
    m_running = true;
    guarded(handler);
    m_running = false;
    QWidget *left = QApplication::focusWidget();
    if (!left && m_control) // a message box has the activation: the field chosen waits in its window
        left = m_control->window()->focusWidget();
    if (left != before)
        keepFocusAfterChange(m_control, before, left);
}

bool ControlEvents::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != m_control)
        return false;
    switch (event->type()) {
    case QEvent::FocusIn:
    case QEvent::FocusOut: {
        const Qt::FocusReason reason = static_cast<QFocusEvent *>(event)->reason();
        if (reason == Qt::ActiveWindowFocusReason || reason == Qt::PopupFocusReason)
            break;
        run(event->type() == QEvent::FocusIn ? onEnter : onExit);
        break;
    }
    case QEvent::KeyPress: {
        const auto *key = static_cast<QKeyEvent *>(event);
        if (!key->text().isEmpty() && key->key() != Qt::Key_Tab && key->key() != Qt::Key_Backtab) {
            m_keyText = key->text();
            run(onKeyPress);
            m_keyText.clear();
        }
        break;
    }
    default:
        break;
    }
    return false;
}

} // namespace fw
