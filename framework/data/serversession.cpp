#include "serversession.h"

#include <framework/data/protocol.h>
#include <framework/data/sessioncontract.h>

#include <QCborArray>
#include <QCborMap>

namespace fw {
namespace {

const QString Object = QLatin1String(SessionObjectName);

// The grant in a sign-in or resume envelope; the refusal as a ServerCallError.
SessionGrant grantOf(const CborItem &result, const QString &method)
{
    const QCborMap envelope = result.toValue().toMap();
    const QString message = envelope.value(QStringLiteral("message")).toString();
    if (!envelope.value(QStringLiteral("ok")).toBool())
        throw ServerCallError(message.isEmpty() ? QStringLiteral("O servidor recusou a entrada.") : message,
                              QStringLiteral("%1: recusado").arg(method), QLatin1String(UnauthenticatedCode));
    const QCborMap payload = envelope.value(QStringLiteral("payload")).toMap();
    SessionGrant grant;
    grant.token = payload.value(QStringLiteral("token")).toString();
    grant.nome = payload.value(QStringLiteral("nome")).toString();
    for (const QCborValue &right : payload.value(QStringLiteral("permissoes")).toArray())
        grant.permissoes << right.toString();
    grant.expira = dateTimeFromCbor(payload.value(QStringLiteral("expira"))).value_or(QDateTime());
    if (grant.token.isEmpty())
        throw ServerCallError(QStringLiteral("O servidor de aplicação deu uma resposta inválida à entrada. Tente de novo; se "
                                             "persistir, chame o suporte."),
                              QStringLiteral("%1: resposta sem token").arg(method));
    return grant;
}

} // namespace

void ServerSession::signIn(const ConnectionSender &send, const QString &operador, const QString &senha,
                           const QString &filial, const QString &terminal)
{
    m_grant = grantOf(send(Object, QStringLiteral("entrar"), {operador, senha, filial, terminal}), QStringLiteral("entrar"));
}

void ServerSession::signIn(TNetConnection &connection, const QString &operador, const QString &senha,
                           const QString &filial, const QString &terminal)
{
    // Opened without resuming: whatever session there was is being replaced.
    forget();
    signIn([&](const QString &object, const QString &method, const QCborArray &args) {
        return connection.call(object, method, args);
    }, operador, senha, filial, terminal);
}

void ServerSession::signOut(TNetConnection &connection)
{
    if (!signedIn())
        return;
    try {
        if (connection.connected())
            connection.call(Object, QStringLiteral("sair"), {});
    } catch (const ServerCallError &) {
        // The session ends by itself at the server once unused.
    }
    forget();
}

void ServerSession::opened(const ConnectionSender &send)
{
    if (signedIn()) {
        try {
            const QString token = m_grant.token;
            m_grant = grantOf(send(Object, QStringLiteral("retomar"), {token}), QStringLiteral("retomar"));
            return;
        } catch (const ServerCallError &e) {
            if (e.code() != QLatin1String(UnauthenticatedCode))
                throw;
        }
    }
    if (!m_signInAgain)
        return; // the server tells each call that nobody signed in
    if (!ended(send))
        throw ServerCallError(QStringLiteral("Sessão encerrada; entre de novo."),
                              QStringLiteral("retomar: a entrada foi cancelada"), QLatin1String(UnauthenticatedCode));
}

bool ServerSession::resumeQuietly(const ConnectionSender &send)
{
    if (!signedIn())
        return !m_signInAgain; // with a prompt, opening would ask for a sign-in
    try {
        m_grant = grantOf(send(Object, QStringLiteral("retomar"), {m_grant.token}), QStringLiteral("retomar"));
        return true;
    } catch (const ServerCallError &e) {
        if (e.code() != QLatin1String(UnauthenticatedCode))
            throw;
        return false; // ended at the server: the operator's next call signs in again
    }
}

bool ServerSession::ended(const ConnectionSender &send)
{
    forget();
    return m_signInAgain && m_signInAgain(send) && signedIn();
}

ServerSession &serverSession()
{
    static ServerSession session;
    return session;
}

} // namespace fw
