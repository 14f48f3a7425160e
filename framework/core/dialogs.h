#pragma once

#include <framework/core/coreexport.h>

#include <QFlags>
#include <QString>

namespace fw {

enum class MsgDlgType { Warning, Error, Information, Confirmation, Custom };

enum MsgDlgBtn {
    mbYes = 0x01,
    mbNo = 0x02,
    mbOK = 0x04,
    mbCancel = 0x08,
};
Q_DECLARE_FLAGS(MsgDlgButtons, MsgDlgBtn)
Q_DECLARE_OPERATORS_FOR_FLAGS(MsgDlgButtons)

// Button results, numbered as the host's dialogs have always answered (Yes is 6).
enum ModalResult { mrNone = 0, mrOk = 1, mrCancel = 2, mrYes = 6, mrNo = 7 };

// Every message the framework shows goes through this service, so a host can show real
// dialogs and a test can answer them and read what was shown without a modal loop.
class FW_CORE_EXPORT Dialogs
{
public:
    virtual ~Dialogs() = default;
    virtual int messageDlg(const QString &text, MsgDlgType type, MsgDlgButtons buttons,
                           int helpContext) = 0;
    // The same with technical detail the operator may open ("Detalhes"); by default the text
    // alone is shown.
    virtual int messageDlg(const QString &text, const QString &details, MsgDlgType type, MsgDlgButtons buttons)
    {
        Q_UNUSED(details);
        return messageDlg(text, type, buttons, 0);
    }
};

// The service in use. Until a host installs one, messages go to standard error and
// questions are answered with the safe choice (No, Cancel or OK).
FW_CORE_EXPORT Dialogs &dialogs();
// Installs a service; nullptr restores the standard-error one. The caller keeps ownership.
FW_CORE_EXPORT void setDialogs(Dialogs *service);

FW_CORE_EXPORT void showError(const QString &text);
FW_CORE_EXPORT void showError(const QString &text, const QString &details);
FW_CORE_EXPORT void showInformation(const QString &text);

} // namespace fw
