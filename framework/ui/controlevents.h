#pragma once

#include <framework/ui/uiexport.h>

#include <QObject>
#include <QPointer>
#include <QWidget>

#include <functional>

namespace fw {

// A control's enter, exit and key-press events, each run through the handler guard. Enter and
// exit follow the focus moving between controls of the same window; a window losing or getting
// the activation, or a popup, raises neither. While one handler runs, the focus moves it makes
// raise nothing more.
class FW_UI_EXPORT ControlEvents : public QObject
{
    Q_OBJECT
public:
    explicit ControlEvents(QWidget *control);

    std::function<void()> onEnter;
    std::function<void()> onExit;
    // A key that types something (not Tab, not a function key).
    std::function<void()> onKeyPress;
    // While onKeyPress runs, the text of its key ("5", "\b" for Backspace, "\r" for Enter).
    QString keyText() const { return m_keyText; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void run(const std::function<void()> &handler);

    QPointer<QWidget> m_control;
    bool m_running = false;
    QString m_keyText;
};

} // namespace fw
