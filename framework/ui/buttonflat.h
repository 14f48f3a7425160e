#pragma once

#include <framework/ui/uiexport.h>

#include <QToolButton>

namespace fw {

// A flat toolbar button: raised only under the mouse, its hint shown as tooltip and status tip.
class FW_UI_EXPORT TButtonFlat : public QToolButton
{
    Q_OBJECT
public:
    explicit TButtonFlat(QWidget *parent = nullptr) : QToolButton(parent)
    {
        setAutoRaise(true);
        setFocusPolicy(Qt::NoFocus);
    }
    void setHint(const QString &hint)
    {
        setToolTip(hint);
        setStatusTip(hint);
    }
    QString hint() const { return toolTip(); }
};

} // namespace fw
