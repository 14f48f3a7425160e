#pragma once

#include "dispatcher.h"
#include "requestlog.h"
#include <framework/data/frame.h>

#include <QElapsedTimer>
#include <QHash>
#include <QHostAddress>
#include <QSslConfiguration>
#include <QTcpServer>
#include <QThreadPool>

#include <memory>

namespace server {

class Session;

// The application server's network side: accepts any number of clients, reads their framed
// requests, runs each on a worker thread through the dispatcher (one request at a time per
// client, in order, with a bounded queue) and writes the replies back. A broken request gets an error reply; a
// frame over the limit gets one and its connection is closed; a client silent for the idle
// time is dropped. No client can stall the others.
class AppServer : public QObject
{
    Q_OBJECT
public:
    struct Options
    {
        QHostAddress address = QHostAddress::LocalHost;
        quint16 port = 0;
        qsizetype maxFrameBytes = fw::DefaultMaxFrameBytes;
        int idleTimeoutMs = 10 * 60 * 1000;
        int workers = 4;
        int workerExpiryMs = 30000; // an idle worker thread ends, and closes its connection
        // Requests a client may have waiting behind the one running, by count and by bytes
        // (a single frame up to the frame limit is always taken); past either the server
        // stops reading from that client, whose writes then block.
        int maxQueuedRequests = 16;
        qsizetype maxQueuedBytes = fw::DefaultMaxFrameBytes;
        // Connections held at once, in all and from one address (behind a balancer every
        // terminal comes from its address); past either a new one is told so and closed.
        int maxConnections = 1024;
        int maxConnectionsPerPeer = 256;
        // Bytes held for all connections together (frames still arriving, requests waiting).
        // Past it the connection holding the largest unfinished frame is dropped, so a few
        // clients sending endless frames can't exhaust the server's memory nor crowd out the
        // small requests of the others.
        qsizetype maxHeldBytes = 2 * fw::DefaultMaxFrameBytes;
        // A connection that has not signed in by then is closed (0: never).
        int signInTimeoutMs = 30000;
        // TLS 1.2 or later with this certificate and key; none (null): plain TCP. A client that
        // has not finished the handshake in handshakeTimeoutMs is dropped.
        QSslConfiguration tls;
        int handshakeTimeoutMs = 10000;
        // What goes to standard error: a line per request and per connection opened and closed
        // from info on (the program's default), failures always (docs/operations.md). Servers
        // made in a process of their own (tests, benchmarks) say only what went wrong.
        LogLevel logLevel = LogLevel::Warning;
    };

    AppServer(const Dispatcher &dispatcher, Options options, QObject *parent = nullptr);
    ~AppServer() override;

    // Starts listening; false with *error set when the address can't be used.
    bool listen(QString *error);
    quint16 port() const { return m_server->serverPort(); }
    QHostAddress address() const { return m_server->serverAddress(); }
    int sessionCount() const { return int(m_sessions.size()); }
    // Received requests waiting behind a running one, and their bytes, over all clients.
    int queuedRequests() const;
    qsizetype queuedBytes() const;
    // Waits for the requests still running (for an orderly stop).
    void waitForWorkers() { m_pool.waitForDone(); }
    // Writes a frame the client did not ask for (an event) to a connection, if it is still there.
    void send(quint64 connection, const QByteArray &frame);
    bool isOpen(quint64 connection) const { return m_sessions.contains(connection); }

signals:
    void sessionClosed();
    void connectionClosed(quint64 connection);

private:
    friend class Session;
    struct Served;
    void accept();
    // The connection's "open" line, once.
    void announce(quint64 session);
    void run(quint64 session, std::shared_ptr<Caller> caller, QByteArray frame, QElapsedTimer received);
    void finished(quint64 session, QByteArray reply, const Served &served);
    void closed(quint64 session);

    const Dispatcher &m_dispatcher;
    Options m_options;
    RequestLog m_log;
    std::unique_ptr<QTcpServer> m_server;
    QThreadPool m_pool;
    // Tells a connection over the limits why it goes, and closes it; `who` names it in the log.
    void refuse(QTcpSocket *socket, const QString &who, const QString &code, const QString &why);
    // Makes room for `bytes` more held by `asking`, dropping the largest unfinished frames while
    // the bound would be passed; false when `asking` itself is the one dropped.
    bool makeRoom(Session *asking, qsizetype bytes);

    quint64 m_nextSession = 1;
    QHash<quint64, Session *> m_sessions;
    QHash<QHostAddress, int> m_perPeer;
};

} // namespace server
