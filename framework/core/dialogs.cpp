#include "dialogs.h"

#include <cstdio>

namespace fw {
namespace {

class StandardErrorDialogs final : public Dialogs
{
public:
    int messageDlg(const QString &text, MsgDlgType, MsgDlgButtons buttons, int) override
    {
        std::fprintf(stderr, "%s\n", text.toLocal8Bit().constData());
        if (buttons & mbNo)
            return mrNo;
        if (buttons & mbCancel)
            return mrCancel;
        return mrOk;
    }
};

StandardErrorDialogs standardErrorDialogs;
Dialogs *current = &standardErrorDialogs;

} // namespace

Dialogs &dialogs()
{
    return *current;
}

void setDialogs(Dialogs *service)
{
    current = service ? service : &standardErrorDialogs;
}

void showError(const QString &text)
{
    dialogs().messageDlg(text, MsgDlgType::Error, mbOK, 0);
}

void showError(const QString &text, const QString &details)
{
    dialogs().messageDlg(text, details, MsgDlgType::Error, mbOK);
}

void showInformation(const QString &text)
{
    dialogs().messageDlg(text, MsgDlgType::Information, mbOK, 0);
}

} // namespace fw
