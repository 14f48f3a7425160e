#pragma once

#include <QHostAddress>
#include <QString>
#include <QStringList>

namespace server {

// Who made a change, as the history records it: the session's operator and terminal.
struct Actor
{
    QString operatorCode;
    QString terminal;
};

// Who a connection speaks for: nobody until it signs in or resumes a session. Requests of one
// connection run one at a time, so its caller is never read and written at once.
struct Caller
{
    QHostAddress peer;
    quint64 connection = 0; // the server's number for the connection, for what is sent to it unasked
    QString tokenHash; // the session's key in the database; empty before sign-in
    QString operatorCode;
    QString branch;
    QString terminal;
    QStringList rights;
    qint64 lastTouched = 0; // when the session's last use was written down

    bool signedIn() const { return !tokenHash.isEmpty(); }
    bool may(const QString &right) const { return rights.contains(right); }
    Actor actor() const { return {operatorCode, terminal}; }
    void signOut() { *this = Caller{peer, connection}; }
};

} // namespace server
