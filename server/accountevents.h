#pragma once

#include "appserver.h"
#include "dispatcher.h"
#include "storage.h"

#include <QElapsedTimer>
#include <QHash>
#include <QObject>
#include <QSet>
#include <QSqlDatabase>
#include <QSqlDriver>
#include <QTimer>

namespace server {

// Who watches which account, and what tells this instance that an account changed, whichever
// instance changed it: on PostgreSQL a LISTEN on a connection of its own (a trigger notifies
// each new chain head at commit), on SQLite the file's data_version polled on one connection.
// Events to a connection are coalesced: at most one per account every CoalesceMs, the last
// always carrying the latest version. Lives on the server's thread.
class AccountEvents : public QObject
{
    Q_OBJECT
public:
    static constexpr int CoalesceMs = 200;
    static constexpr int PollMs = 50;
    static constexpr const char *Channel = "acc00420_conta";

    explicit AccountEvents(const Storage &storage, QObject *parent = nullptr);
    ~AccountEvents() override;

    // Starts following the database; throws fw::DatabaseError when its connection can't open.
    void start();
    // Starts, the events written to their connections of `server`, forgotten with them.
    void startOn(AppServer &server);
    // acompanhar and deixar: handlers for the ledger to publish behind its checks.
    QHash<QString, Dispatcher::Handler> handlers();
    // A connection gone: it watches nothing any more.
    void forget(quint64 connection);

    // The event message (not yet framed) of an account's version.
    static QByteArray encode(const QString &client, quint64 version);

signals:
    // A framed event for a connection, to be written as it stands.
    void event(quint64 connection, const QByteArray &frame);

private:
    struct Watch
    {
        quint64 sent = 0; // the version the connection was last told
        QElapsedTimer sinceSent;
        bool scheduled = false;
    };

    void watch(quint64 connection, const QString &client, quint64 version);
    void unwatch(quint64 connection, const QString &client);
    // On PostgreSQL: the account marked as followed by this instance, so that its changes are
    // notified, under the account's lock, a change in progress waited for; and its version then.
    quint64 follow(const QString &client);
    void unfollow(const QString &client);
    // This instance's name in the marks: its host, address and port once it listens ("host
    // address:port"), the marks a run before on them left cleared first; a name of its own
    // when it serves no port.
    const QString &instance();
    // An account is at `version` now (versions only grow: an older one says nothing new).
    void changed(const QString &client, quint64 version);
    void offer(quint64 connection, const QString &client);
    // The watched accounts' versions read again: after data_version moved, after a watch began
    // (a change just before it must not be lost), after the LISTEN connection came back.
    void recheck(const QStringList &clients);
    void poll();
    void listen();
    void notified(const QString &channel, QSqlDriver::NotificationSource, const QVariant &payload);

    const Storage &m_storage;
    QHash<quint64, QHash<QString, Watch>> m_watches; // by connection, then client
    QHash<QString, QSet<quint64>> m_watchers;         // by client
    QHash<QString, quint64> m_known;                  // the latest version seen of each watched account
    QTimer m_poll;
    qint64 m_dataVersion = -1;
    QString m_listenName;
    QString m_instance;
    QSet<QString> m_unmarked; // followed, but their mark failed: tried again at the next poll
    const AppServer *m_server = nullptr;
};

} // namespace server
