#pragma once

#include <framework/core/logincontext.h>
#include <framework/data/netconnection.h>
#include <framework/ui/uiexport.h>

namespace fw {

// The back office's sign-in: through the "Entrar" dialog, or with the password the host was
// started with (the demo script and the tests). Once signed in, the context names the operator
// and branch, with the name the server gave, and every connection of the process resumes that
// session; a session the server ended is signed in again the same way, the same operator at the
// same branch.
class FW_UI_EXPORT OperatorSignIn
{
public:
    OperatorSignIn(LoginContext &context, QString password);
    // The session stays; signing in again is no longer this one's to do.
    ~OperatorSignIn();
    OperatorSignIn(const OperatorSignIn &) = delete;
    OperatorSignIn &operator=(const OperatorSignIn &) = delete;

    // False when the operator gave up (Esc at the dialog).
    bool first();
    // Ends the session at the server, as far as it can be reached at once.
    void signOut();

private:
    bool signInAgain(const ConnectionSender &send, bool ended);
    void signInAs(const ConnectionSender &send, const QString &code, const QString &password, const QString &branch);

    LoginContext &m_context;
    QString m_password;
    QString m_terminal;
    TNetConnection m_connection;
};

} // namespace fw
