#pragma once

#include "caller.h"
#include "dispatcher.h"
#include "passwords.h"
#include "storage.h"

#include <QDateTime>

#include <functional>
#include <optional>

namespace server {

// The object "Acc00420.Sessao": operators sign in with their password and get a token; a
// connection that opens later, on this instance or another, resumes the session with it.
// Sessions, failed sign-ins and lockouts are kept in the ledger database, so every instance on
// it sees the same. docs/security.md gives the rules.
class Sessions
{
public:
    struct Options
    {
        qint64 idleMs = 12 * 3600 * 1000LL; // a session unused this long has ended
        int failuresBeforeLockout = 5;
        qint64 lockoutMs = 15 * 60 * 1000LL;
        // Written down at most this often per connection, not at every request.
        qint64 touchEveryMs = 60 * 1000;
        std::function<qint64()> now = [] { return QDateTime::currentMSecsSinceEpoch(); };
    };

    Sessions(const Storage &storage, const Passwords &passwords, Options options);
    Sessions(const Storage &storage, const Passwords &passwords);

    void publish(Dispatcher &dispatcher) const;

    Outcome entrar(const QCborArray &args, Caller &caller) const;
    Outcome retomar(const QCborArray &args, Caller &caller) const;
    Outcome sair(const QCborArray &args, Caller &caller) const;

    // A value another check of the request needs, read in the session check's own round trip:
    // a scalar subquery and its values.
    struct AskedAlong
    {
        QString sql;
        QVariantList values;
    };

    // Before any other object's request: nothing when the caller's session still holds (its
    // rights read again); the unauthenticated reply otherwise. With `along`, its value goes to
    // `answer` (null when the session does not hold). Throws fw::DatabaseError.
    std::optional<Outcome> admit(Caller &caller, const std::optional<AskedAlong> &along = std::nullopt,
                                 QVariant *answer = nullptr) const;

private:
    struct Held;
    std::optional<Held> held(const QSqlDatabase &db, const QString &tokenHash,
                             const std::optional<AskedAlong> &along = std::nullopt) const;
    QByteArray granted(const Caller &caller, const QString &name, const QString &token) const;
    void failed(const QSqlDatabase &db, const QString &code) const;

    const Storage &m_storage;
    const Passwords &m_passwords;
    Options m_options;
};

} // namespace server
