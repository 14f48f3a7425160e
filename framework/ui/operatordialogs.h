#pragma once

#include <framework/core/dialogs.h>
#include <framework/ui/uiexport.h>

#include <optional>

class QWidget;

namespace fw {

class RecordSet;

// The dialogs responder of a host with screens: the messages and, beside them, the search
// lists. A host installs one with setDialogs, so a scripted host or a test replaces both in
// that one place.
class FW_UI_EXPORT OperatorDialogs : public Dialogs
{
public:
    // The row of a search list the operator chooses; nullopt when they give up. The default
    // shows SearchListDialog.
    virtual std::optional<int> chooseRow(QWidget *parent, const QString &title, RecordSet &recordSet);
};

// Asks the responder installed; a responder without search lists gets the dialog.
FW_UI_EXPORT std::optional<int> chooseSearchRow(QWidget *parent, const QString &title, RecordSet &recordSet);

} // namespace fw
