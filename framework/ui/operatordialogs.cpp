#include "operatordialogs.h"

#include <framework/ui/btnpesquisa.h>

namespace fw {

namespace {

std::optional<int> showSearchList(QWidget *parent, const QString &title, RecordSet &recordSet)
{
    SearchListDialog dialog(title, recordSet, parent);
    if (dialog.exec() != QDialog::Accepted || dialog.currentRow() < 0)
        return std::nullopt;
    return dialog.currentRow();
}

} // namespace

std::optional<int> OperatorDialogs::chooseRow(QWidget *parent, const QString &title, RecordSet &recordSet)
{
    return showSearchList(parent, title, recordSet);
}

std::optional<int> chooseSearchRow(QWidget *parent, const QString &title, RecordSet &recordSet)
{
    if (auto *responder = dynamic_cast<OperatorDialogs *>(&dialogs()))
        return responder->chooseRow(parent, title, recordSet);
    return showSearchList(parent, title, recordSet);
}

} // namespace fw
