#pragma once

#include <framework/data/netconnection.h>
#include <framework/data/dataexport.h>

#include <QDateTime>
#include <QStringList>

#include <functional>

namespace fw {

// What the server granted at sign-in.
struct SessionGrant
{
    QString token;
    QString nome;
    QStringList permissoes;
    QDateTime expira;
};

// The operator's session with the application server, shared by every connection of the
// process: signed in once, resumed with its token by each connection that opens (also on
// another server instance, also after the server restarted), and signed in again through the
// host's prompt when the server ended it.
class FW_DATA_EXPORT ServerSession : public ConnectionSession
{
public:
    // Signs in and keeps the grant. Throws ServerCallError: the server's refusal in its own
    // words ("Operador ou senha inválidos."), or why the call did not get an answer.
    void signIn(const ConnectionSender &send, const QString &operador, const QString &senha, const QString &filial,
                const QString &terminal);
    void signIn(TNetConnection &connection, const QString &operador, const QString &senha, const QString &filial,
                const QString &terminal);
    // Ends the session at the server (as far as it can be reached) and forgets it.
    void signOut(TNetConnection &connection);
    void forget() { m_grant = {}; }

    bool signedIn() const { return !m_grant.token.isEmpty(); }
    const SessionGrant &grant() const { return m_grant; }
    // Whether the operator has the right; true while nobody signed in, for the server decides.
    bool may(const QString &right) const { return !signedIn() || m_grant.permissoes.contains(right); }

    // How the host signs in when a connection opens without a session it can resume, and when
    // the server ends one (its dialog, or the password it was started with); true when it
    // did. Without one, calls go unsigned and the server refuses them.
    void setSignInAgain(std::function<bool(const ConnectionSender &send)> signInAgain)
    {
        m_signInAgain = std::move(signInAgain);
    }

    void opened(const ConnectionSender &send) override;
    bool ended(const ConnectionSender &send) override;
    bool resumeQuietly(const ConnectionSender &send) override;

private:
    SessionGrant m_grant;
    std::function<bool(const ConnectionSender &)> m_signInAgain;
};

FW_DATA_EXPORT ServerSession &serverSession();

} // namespace fw
