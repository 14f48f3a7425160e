#pragma once

#include <framework/ui/operatordialogs.h>
#include <framework/ui/uiexport.h>

#include <QPointer>
#include <QWidget>

namespace fw {

// The dialogs service as the operator sees it: a modal QMessageBox per message, the search list
// dialog for a search.
class FW_UI_EXPORT MessageBoxDialogs final : public OperatorDialogs
{
public:
    explicit MessageBoxDialogs(QWidget *parent = nullptr) : m_parent(parent) {}
    int messageDlg(const QString &text, MsgDlgType type, MsgDlgButtons buttons, int helpContext) override;
    int messageDlg(const QString &text, const QString &details, MsgDlgType type, MsgDlgButtons buttons) override;

private:
    QPointer<QWidget> m_parent;
};

} // namespace fw
