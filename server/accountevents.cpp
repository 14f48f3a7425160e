#include "accountevents.h"

#include "outcomes.h"

#include <framework/data/frame.h>
#include <framework/data/protocol.h>

#include <QCborMap>
#include <QSqlError>
#include <QSqlQuery>
#include <QSysInfo>
#include <QUuid>

namespace server {
namespace {

quint64 versionOf(const QSqlDatabase &db, const QString &client)
{
    QSqlQuery q = run(db, QStringLiteral("SELECT NRSEQCADEIA FROM NUMMOVCLIE WHERE CDCLIENTE = ?"), {client},
                      "ler a versão da conta");
    return q.next() ? q.value(0).toULongLong() : 0;
}

} // namespace

AccountEvents::AccountEvents(const Storage &storage, QObject *parent)
    : QObject(parent)
    , m_storage(storage)
{
    m_poll.setInterval(PollMs);
    connect(&m_poll, &QTimer::timeout, this, [this] {
        try {
            poll();
        } catch (const fw::DatabaseError &e) {
            qWarning("acc00420-server: acompanhamento das contas: %s", e.what());
        }
    });
}

AccountEvents::~AccountEvents()
{
    if (!m_instance.isEmpty()) {
        try {
            run(m_storage.connection(), QStringLiteral("DELETE FROM CONTAACOMP WHERE DSINSTANCIA = ?"), {m_instance},
                "desmarcar as contas acompanhadas");
        } catch (const fw::DatabaseError &e) {
            qWarning("acc00420-server: acompanhamento das contas: %s", e.what());
        }
    }
    if (!m_listenName.isEmpty()) {
        QSqlDatabase::database(m_listenName, false).close();
        QSqlDatabase::removeDatabase(m_listenName);
    }
}

void AccountEvents::start()
{
    if (m_storage.kind() == fw::DatabaseUrl::Kind::PostgreSQL)
        listen();
    // On SQLite the poll is the feed; on PostgreSQL it only checks that the LISTEN connection
    // still stands, and catches up once it is back.
    m_poll.start(m_storage.kind() == fw::DatabaseUrl::Kind::PostgreSQL ? 1000 : PollMs);
}

void AccountEvents::startOn(AppServer &server)
{
    m_server = &server;
    connect(this, &AccountEvents::event, &server, &AppServer::send);
    connect(&server, &AppServer::connectionClosed, this, &AccountEvents::forget);
    start();
}

QByteArray AccountEvents::encode(const QString &client, quint64 version)
{
    QCborMap fields;
    fields.insert(QLatin1String("cdcliente"), client);
    fields.insert(QLatin1String("versao"), qint64(version));
    return fw::encodeEvent(QStringLiteral("conta"), fields);
}

QHash<QString, Dispatcher::Handler> AccountEvents::handlers()
{
    // The handlers run on a worker; the watches belong to the server's thread.
    return {
        {QStringLiteral("acompanhar"),
         [this](const QCborArray &args, Caller &caller) {
             return enveloped([&] {
                 const QString client = args[0].toString();
                 const quint64 version = versionOf(m_storage.connection(), client);
                 QMetaObject::invokeMethod(this, [this, connection = caller.connection, client, version] {
                     watch(connection, client, version);
                 }, Qt::QueuedConnection);
                 QCborMap answer;
                 answer.insert(QLatin1String("versao"), qint64(version));
                 return fw::encodeEnvelope(true, {}, QCborValue(answer));
             });
         }},
        {QStringLiteral("deixar"),
         [this](const QCborArray &args, Caller &caller) {
             QMetaObject::invokeMethod(this, [this, connection = caller.connection, client = args[0].toString()] {
                 unwatch(connection, client);
             }, Qt::QueuedConnection);
             return Outcome::ok(fw::encodeEnvelope(true, {}, QCborValue(true)));
         }},
    };
}

void AccountEvents::watch(quint64 connection, const QString &client, quint64 version)
{
    // Asked on a connection that closed while the version was read: it was forgotten already.
    if (m_server && !m_server->isOpen(connection))
        return;
    Watch &w = m_watches[connection][client];
    w.sent = std::max(w.sent, version); // it knows that one: the reply said so
    const bool first = !m_watchers.contains(client);
    m_watchers[client].insert(connection);
    if (m_known.value(client) < version)
        m_known[client] = version;
    offer(connection, client); // a version seen past the one it read
    try {
        if (first && m_storage.kind() == fw::DatabaseUrl::Kind::PostgreSQL)
            changed(client, follow(client));
        else
            recheck({client});
    } catch (const fw::DatabaseError &e) {
        qWarning("acc00420-server: acompanhamento das contas: %s", e.what());
    }
}

quint64 AccountEvents::follow(const QString &client)
{
    m_unmarked.insert(client);
    // A writer holds the account's lock from its head's update to its commit: the mark waits
    // for it and reads what it committed, and a writer after it sees the mark.
    QSqlQuery q = run(m_storage.connection(),
                      QStringLiteral("WITH marked AS (INSERT INTO CONTAACOMP (CDCLIENTE, DSINSTANCIA) VALUES (?, ?)"
                                     " ON CONFLICT DO NOTHING) SELECT NRSEQCADEIA FROM NUMMOVCLIE WHERE CDCLIENTE = ? FOR SHARE"),
                      {client, instance(), client}, "marcar a conta acompanhada");
    m_unmarked.remove(client);
    return q.next() ? q.value(0).toULongLong() : 0;
}

const QString &AccountEvents::instance()
{
    if (!m_instance.isEmpty())
        return m_instance;
    if (!m_server || m_server->port() == 0) {
        m_instance = QUuid::createUuid().toString(QUuid::WithoutBraces);
        return m_instance;
    }
    const QString name = QStringLiteral("%1 %2:%3")
                             .arg(QSysInfo::machineHostName(), m_server->address().toString())
                             .arg(m_server->port());
    run(m_storage.connection(), QStringLiteral("DELETE FROM CONTAACOMP WHERE DSINSTANCIA = ?"), {name},
        "desmarcar as contas de antes");
    m_instance = name;
    return m_instance;
}

void AccountEvents::unfollow(const QString &client)
{
    m_unmarked.remove(client);
    try {
        run(m_storage.connection(), QStringLiteral("DELETE FROM CONTAACOMP WHERE CDCLIENTE = ? AND DSINSTANCIA = ?"),
            {client, m_instance}, "desmarcar a conta acompanhada");
    } catch (const fw::DatabaseError &e) {
        qWarning("acc00420-server: acompanhamento das contas: %s", e.what()); // only a notification too many
    }
}

void AccountEvents::unwatch(quint64 connection, const QString &client)
{
    auto watches = m_watches.find(connection);
    if (watches == m_watches.end())
        return;
    watches->remove(client);
    if (watches->isEmpty())
        m_watches.erase(watches);
    auto watchers = m_watchers.find(client);
    if (watchers != m_watchers.end()) {
        watchers->remove(connection);
        if (watchers->isEmpty()) {
            m_watchers.erase(watchers);
            m_known.remove(client);
            if (m_storage.kind() == fw::DatabaseUrl::Kind::PostgreSQL)
                unfollow(client);
        }
    }
}

void AccountEvents::forget(quint64 connection)
{
    const QStringList clients = m_watches.value(connection).keys();
    for (const QString &client : clients)
        unwatch(connection, client);
}

void AccountEvents::changed(const QString &client, quint64 version)
{
    auto known = m_known.find(client);
    if (known == m_known.end() || *known >= version)
        return; // not watched here, or nothing new
    *known = version;
    for (const quint64 connection : m_watchers.value(client))
        offer(connection, client);
}

void AccountEvents::offer(quint64 connection, const QString &client)
{
    auto watches = m_watches.find(connection);
    if (watches == m_watches.end() || !watches->contains(client))
        return;
    Watch &w = (*watches)[client];
    const quint64 latest = m_known.value(client);
    if (latest <= w.sent || w.scheduled)
        return; // told already, or a send is due that will carry the latest
    const qint64 wait = w.sinceSent.isValid() ? CoalesceMs - w.sinceSent.elapsed() : 0;
    if (wait > 0) {
        w.scheduled = true;
        QTimer::singleShot(int(wait), this, [this, connection, client] {
            auto still = m_watches.find(connection);
            if (still == m_watches.end() || !still->contains(client))
                return;
            (*still)[client].scheduled = false;
            offer(connection, client);
        });
        return;
    }
    w.sent = latest;
    w.sinceSent.start();
    emit event(connection, fw::encodeFrame(encode(client, latest)));
}

void AccountEvents::recheck(const QStringList &clients)
{
    if (clients.isEmpty())
        return;
    const QSqlDatabase db = m_storage.connection();
    for (const QString &client : clients)
        changed(client, versionOf(db, client));
}

void AccountEvents::poll()
{
    if (m_storage.kind() == fw::DatabaseUrl::Kind::PostgreSQL) {
        const QSqlDatabase db = QSqlDatabase::database(m_listenName, false);
        QSqlQuery alive(db);
        if (db.isOpen() && alive.exec(QStringLiteral("SELECT 1"))) {
            for (const QString &client : QStringList(m_unmarked.begin(), m_unmarked.end()))
                changed(client, follow(client));
            return;
        }
        listen(); // lost: listening again, then what was missed meanwhile
        recheck(m_watchers.keys());
        return;
    }
    // Another connection's commit, of this process or another, moves the file's data_version.
    QSqlQuery version = run(m_storage.connection(), QStringLiteral("PRAGMA data_version"), {}, "ler a versão do banco");
    const qint64 now = version.next() ? version.value(0).toLongLong() : -1;
    version.finish();
    if (now == m_dataVersion)
        return;
    m_dataVersion = now;
    recheck(m_watchers.keys());
}

void AccountEvents::listen()
{
    if (m_listenName.isEmpty())
        m_listenName = QStringLiteral("acc00420-events-%1").arg(quintptr(this));
    else
        QSqlDatabase::removeDatabase(m_listenName);
    QSqlDatabase db = fw::openDatabase(m_storage.url(), m_listenName);
    connect(db.driver(), &QSqlDriver::notification, this, &AccountEvents::notified);
    if (!db.driver()->subscribeToNotification(QLatin1String(Channel)))
        throw fw::DatabaseError(QStringLiteral("não foi possível acompanhar as contas: %1")
                                    .arg(db.driver()->lastError().text()).toStdString());
}

void AccountEvents::notified(const QString &channel, QSqlDriver::NotificationSource, const QVariant &payload)
{
    if (channel != QLatin1String(Channel))
        return;
    // "client/version", as the trigger writes it.
    const QString text = payload.toString();
    const qsizetype slash = text.lastIndexOf(u'/');
    bool ok = false;
    const quint64 version = text.mid(slash + 1).toULongLong(&ok);
    if (slash > 0 && ok)
        changed(text.left(slash), version);
}

} // namespace server
