#include "operatorsignin.h"

#include "hostservices.h"
#include "signindialog.h"

#include <framework/data/serversession.h>

#include <QSysInfo>

namespace fw {

OperatorSignIn::OperatorSignIn(LoginContext &context, QString password)
    : m_context(context)
    , m_password(std::move(password))
    , m_terminal(QSysInfo::machineHostName().left(40))
{
    m_connection.onBeforeConnect = [this](TNetConnection &c) { c.configure(m_context); };
}

OperatorSignIn::~OperatorSignIn()
{
    serverSession().setSignInAgain({});
}

bool OperatorSignIn::first()
{
    serverSession().forget();
    const auto send = [this](const QString &object, const QString &method, const QCborArray &args) {
        return m_connection.call(object, method, args);
    };
    if (!signInAgain(send, false))
        return false;
    // From now on this connection resumes the session too, to end it at the close.
    m_connection.setSession(&serverSession());
    serverSession().setSignInAgain([this](const ConnectionSender &again) { return signInAgain(again, true); });
    return true;
}

void OperatorSignIn::signOut()
{
    m_connection.setTimeoutMs(3000); // the close is not held up by a server that is gone
    serverSession().setSignInAgain({});
    serverSession().signOut(m_connection);
}

bool OperatorSignIn::signInAgain(const ConnectionSender &send, bool ended)
{
    QString why = ended ? QStringLiteral("Sessão encerrada; entre de novo.") : QString();
    if (!m_password.isEmpty()) {
        try {
            signInAs(send, m_context.operador, m_password, m_context.filial);
            return true;
        } catch (const ServerCallError &e) {
            why = QString::fromUtf8(e.what());
        }
    }
    SignInDialog dialog([&](const QString &code, const QString &password, const QString &branch) {
        signInAs(send, code, password, branch);
    }, hostServices().mainWindow);
    dialog.setOperator(m_context.operador);
    dialog.setBranch(m_context.filial);
    dialog.setMessage(why);
    if (ended)
        dialog.fixIdentity();
    return dialog.exec() == QDialog::Accepted;
}

void OperatorSignIn::signInAs(const ConnectionSender &send, const QString &code, const QString &password,
                              const QString &branch)
{
    serverSession().signIn(send, code, password, branch, m_terminal);
    m_context.operador = code;
    m_context.filial = branch;
    m_context.nomeOperador = serverSession().grant().nome;
    setLoginContext(m_context);
}

} // namespace fw
