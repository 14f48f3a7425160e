#include "testoperator.h"

#include "operators.h"


void grantTestOperator(const server::Storage &storage, const QString &code, const QStringList &rights)
{
    QStringList branches;
    QSqlQuery q = server::run(storage.connection(), QStringLiteral("SELECT CDFILIAL FROM FILIAL ORDER BY CDFILIAL"));
    while (q.next())
        branches << q.value(0).toString();
    q.finish();
    const server::Passwords passwords;
    const server::Operators operators(storage, passwords);
    server::run(storage.connection(), QStringLiteral("UPDATE OPERADOR SET DSSENHA = NULL WHERE CDOPERADOR = ?"), {code});
    operators.add({code, QStringLiteral("Operador %1").arg(code), true, branches, rights.isEmpty() ? server::rightNames() : rights},
                  TestPassword);
}

namespace {

class SessionOfConnection : public QObject, public fw::ServerSession
{
public:
    explicit SessionOfConnection(QObject *parent)
        : QObject(parent)
    {
    }
};

} // namespace

void signInWith(fw::ServerSession &session, const QString &code, const QString &branch, const QString &password)
{
    session.forget();
    session.setSignInAgain([&session, code, branch, password](const fw::ConnectionSender &send) {
        session.signIn(send, code, password, branch, QStringLiteral("teste"));
        return true;
    });
}

void signInOnOpen(fw::TNetConnection &connection, const QString &code, const QString &branch, const QString &password)
{
    auto *session = new SessionOfConnection(&connection);
    signInWith(*session, code, branch, password);
    connection.setSession(session);
}
