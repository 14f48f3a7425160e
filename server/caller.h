#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

namespace server {

// Who made a change, as the history records it: the session's operator and terminal.
struct Actor
{
    QString operatorCode;
    QString terminal;
};

// Where the parts of a streamed result go, ahead of its reply: a data packet of the next rows
// and, once known, the rows of the whole result.
using ReplyParts = std::function<void(QByteArray packet, std::optional<quint64> total)>;

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
    ReplyParts replyParts; // set while a request that takes its result in parts runs

    bool signedIn() const { return !tokenHash.isEmpty(); }
    bool may(const QString &right) const { return rights.contains(right); }
    Actor actor() const { return {operatorCode, terminal}; }
    void signOut()
    {
        Caller out{peer, connection};
        out.replyParts = std::move(replyParts);
        *this = std::move(out);
    }
};

} // namespace server
