#include "appserver.h"

#include <framework/data/protocol.h>
#include <framework/data/sessioncontract.h>

#include <QSslServer>
#include <QTcpSocket>
#include <QTimer>

#include <deque>

namespace server {
namespace {

// Where a connection comes from, as the log names it; "-" once it is gone (a TLS handshake
// that timed out is closed before it is told).
QString peerText(const QTcpSocket &socket)
{
    const QHostAddress address = socket.peerAddress();
    if (address.isNull())
        return QStringLiteral("-");
    const QString host = address.protocol() == QAbstractSocket::IPv6Protocol ? u'[' + address.toString() + u']'
                                                                             : address.toString();
    return host + u':' + QString::number(socket.peerPort());
}

QString connectionText(quint64 id)
{
    return QStringLiteral("conn=") + QString::number(id);
}

} // namespace

// What the log says of a request once its reply is written.
struct AppServer::Served
{
    QString method = QStringLiteral("-"); // the object's and the method's names, once read
    QString operatorCode;
    QString outcome;
    QElapsedTimer received;
};

// One connected client: its socket, the frames it sent that wait their turn, and its idle
// timer. Bytes are taken from the socket only while the queue has room, so a client that
// pipelines without end fills its own socket buffers, not the server's memory.
class Session : public QObject
{
public:
    Session(AppServer &owner, quint64 id, QTcpSocket *socket, const AppServer::Options &options)
        : QObject(&owner)
        , m_owner(owner)
        , m_id(id)
        , m_socket(socket)
        , m_peer(socket->peerAddress())
        , m_frames(options.maxFrameBytes)
        , m_maxFrame(options.maxFrameBytes)
        , m_maxQueued(std::max(1, options.maxQueuedRequests))
        , m_maxQueuedBytes(options.maxQueuedBytes)
        , m_caller(std::make_shared<Caller>(Caller{socket->peerAddress(), id}))
    {
        socket->setParent(this);
        // What Qt holds for us beyond that stays in the kernel, and TCP makes the client wait.
        socket->setReadBufferSize(ReadChunk);
        m_idle.setSingleShot(true);
        m_idle.setInterval(options.idleTimeoutMs);
        connect(&m_idle, &QTimer::timeout, this, [this] {
            m_ending = "idle";
            m_socket->abort();
        });
        connect(socket, &QTcpSocket::readyRead, this, [this] {
            m_idle.start();
            pull();
        });
        connect(socket, &QTcpSocket::disconnected, this, [this] { m_owner.closed(m_id); });
        m_idle.start();
        if (options.signInTimeoutMs > 0) {
            m_signIn.setSingleShot(true);
            connect(&m_signIn, &QTimer::timeout, this, [this, seconds = options.signInTimeoutMs / 1000] {
                m_ending = "sign-in-timeout";
                m_owner.refuse(m_socket, connectionText(m_id), QLatin1String(fw::UnauthenticatedCode),
                               QStringLiteral("nenhuma entrada com operador e senha em %1 s; conexão encerrada").arg(seconds));
            });
            m_signIn.start(options.signInTimeoutMs);
        }
    }

    void replied(const QByteArray &reply)
    {
        m_busy = false;
        if (m_caller->signedIn())
            m_signIn.stop();
        m_socket->write(reply);
        m_idle.start();
        next();
    }

    // A frame the client did not ask for (an event): whole, between replies.
    void write(const QByteArray &frame) { m_socket->write(frame); }
    QHostAddress peer() const { return m_peer; }
    // Where it comes from, as the log says it (taken at the start: a socket gone has no peer).
    QString peerText;
    // Its "open" line is written at its first request, or when the server ends it: a balancer's
    // health check, which connects and leaves, is not worth two lines a second.
    bool announced = false;
    // Why the connection went, for the log: the client left unless the server ended it.
    const char *ending() const { return m_ending; }
    // Bytes of the frame still arriving.
    qsizetype unfinishedBytes() const { return m_frames.buffered(); }
    // Dropped to make room for the others: told so, its bytes let go.
    void drop(const QString &why)
    {
        m_dropped = true;
        m_ending = "server-busy";
        m_waiting.clear();
        m_waitingBytes = 0;
        m_frames = fw::FrameReader(m_maxFrame);
        m_owner.refuse(m_socket, connectionText(m_id), QStringLiteral("server-busy"), why);
    }
    int queued() const { return int(m_waiting.size()); }
    qsizetype queuedBytes() const { return m_waitingBytes + m_frames.buffered(); }

private:
    static constexpr qsizetype ReadChunk = 64 * 1024;

    struct Waiting
    {
        QByteArray frame;
        QElapsedTimer received; // a request's time in the log counts its wait in the queue
    };

    bool roomForFrame() const { return queued() < m_maxQueued; }
    bool roomForBytes() const { return roomForFrame() && (m_waiting.empty() || queuedBytes() < m_maxQueuedBytes); }

    void pull()
    {
        if (m_dropped)
            return; // what it still sends goes nowhere
        while (true) {
            QByteArray frame;
            while (roomForFrame()) {
                const auto status = m_frames.next(&frame);
                if (status == fw::FrameReader::Status::NeedMore)
                    break;
                if (status == fw::FrameReader::Status::TooLarge) {
                    refuseTooLarge();
                    return;
                }
                m_waitingBytes += frame.size();
                QElapsedTimer received;
                received.start();
                m_waiting.push_back({std::move(frame), received});
            }
            if (!roomForBytes() || m_socket->bytesAvailable() == 0)
                break;
            const qsizetype chunk = std::min(ReadChunk, m_socket->bytesAvailable());
            if (!m_owner.makeRoom(this, chunk))
                return;
            m_frames.append(m_socket->read(chunk));
        }
        next();
    }

    void refuseTooLarge()
    {
        const QString code = QStringLiteral("frame-too-large");
        const QString why = QStringLiteral("mensagem de %1 bytes excede o limite de %2 bytes; conexão encerrada")
                                .arg(m_frames.announcedLength()).arg(m_maxFrame);
        m_owner.m_log.write(LogLevel::Error, QStringLiteral("%1 refused=%2 %3").arg(connectionText(m_id), code, why));
        m_ending = "frame-too-large";
        m_socket->write(fw::encodeFrame(fw::encodeErrorReply(0, code, why)));
        m_socket->disconnectFromHost();
        m_waiting.clear();
        m_waitingBytes = 0;
    }

    void next()
    {
        if (m_busy || m_waiting.empty())
            return;
        m_busy = true;
        m_idle.stop(); // a long request is not idleness
        Waiting request = std::move(m_waiting.front());
        m_waiting.pop_front();
        m_waitingBytes -= request.frame.size();
        m_owner.run(m_id, m_caller, std::move(request.frame), request.received);
        pull(); // room again: take what the client sent meanwhile
    }

    AppServer &m_owner;
    quint64 m_id;
    QTcpSocket *m_socket;
    QHostAddress m_peer;
    fw::FrameReader m_frames;
    qsizetype m_maxFrame;
    int m_maxQueued;
    qsizetype m_maxQueuedBytes;
    std::deque<Waiting> m_waiting;
    qsizetype m_waitingBytes = 0;
    QTimer m_idle;
    QTimer m_signIn;
    // Whom the requests of this connection speak for; shared with the worker running one.
    std::shared_ptr<Caller> m_caller;
    bool m_busy = false;
    bool m_dropped = false;
    const char *m_ending = "client";
};

AppServer::AppServer(const Dispatcher &dispatcher, Options options, QObject *parent)
    : QObject(parent)
    , m_dispatcher(dispatcher)
    , m_options(options)
    , m_log(options.logLevel)
{
    m_pool.setMaxThreadCount(std::max(1, options.workers));
    m_pool.setExpiryTimeout(options.workerExpiryMs);
    if (options.tls.localCertificate().isNull()) {
        m_server = std::make_unique<QTcpServer>();
    } else {
        auto tls = std::make_unique<QSslServer>();
        QSslConfiguration configuration = options.tls;
        configuration.setProtocol(QSsl::TlsV1_2OrLater);
        configuration.setPeerVerifyMode(QSslSocket::VerifyNone); // clients prove who they are by signing in
        tls->setSslConfiguration(configuration);
        tls->setHandshakeTimeout(options.handshakeTimeoutMs);
        connect(tls.get(), &QSslServer::errorOccurred, this, [this](QSslSocket *socket, QAbstractSocket::SocketError error) {
            // A balancer's health check connects and leaves before any handshake: no failure.
            const LogLevel level = error == QAbstractSocket::RemoteHostClosedError ? LogLevel::Debug : LogLevel::Error;
            const QString why = error == QAbstractSocket::SocketTimeoutError
                ? QStringLiteral("o handshake não terminou em %1 ms").arg(m_options.handshakeTimeoutMs)
                : socket->errorString();
            m_log.write(level, QStringLiteral("peer=%1 tls %2").arg(peerText(*socket), why));
        });
        m_server = std::move(tls);
    }
    // Connections still in their handshake wait apart; only finished ones are counted here.
    m_server->setMaxPendingConnections(std::max(30, options.maxConnections));
    // A TLS connection is pending once its handshake is done, not when it arrives.
    connect(m_server.get(), &QTcpServer::pendingConnectionAvailable, this, &AppServer::accept);
}

AppServer::~AppServer()
{
    m_server->close();
    m_pool.waitForDone();
}

bool AppServer::listen(QString *error)
{
    if (m_server->listen(m_options.address, m_options.port))
        return true;
    if (error)
        *error = QStringLiteral("não foi possível escutar em %1:%2: %3")
                     .arg(m_options.address.toString()).arg(m_options.port).arg(m_server->errorString());
    return false;
}

int AppServer::queuedRequests() const
{
    int total = 0;
    for (const Session *s : m_sessions)
        total += s->queued();
    return total;
}

qsizetype AppServer::queuedBytes() const
{
    qsizetype total = 0;
    for (const Session *s : m_sessions)
        total += s->queuedBytes();
    return total;
}

void AppServer::accept()
{
    while (QTcpSocket *socket = m_server->nextPendingConnection()) {
        const QHostAddress peer = socket->peerAddress();
        QString over;
        if (m_sessions.size() >= m_options.maxConnections)
            over = QStringLiteral("o servidor atingiu o limite de %1 conexões").arg(m_options.maxConnections);
        else if (m_perPeer.value(peer) >= m_options.maxConnectionsPerPeer)
            over = QStringLiteral("o endereço %1 atingiu o limite de %2 conexões")
                       .arg(peer.toString()).arg(m_options.maxConnectionsPerPeer);
        if (!over.isEmpty()) {
            connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            refuse(socket, QStringLiteral("peer=") + peerText(*socket), QStringLiteral("too-many-connections"), over);
            continue;
        }
        const quint64 id = m_nextSession++;
        ++m_perPeer[peer];
        Session *session = new Session(*this, id, socket, m_options);
        session->peerText = peerText(*socket);
        m_sessions.insert(id, session);
    }
}

void AppServer::refuse(QTcpSocket *socket, const QString &who, const QString &code, const QString &why)
{
    m_log.write(LogLevel::Warning, QStringLiteral("%1 refused=%2 %3").arg(who, code, why));
    socket->write(fw::encodeFrame(fw::encodeErrorReply(0, code, QStringLiteral("%1; tente de novo em instantes").arg(why))));
    socket->disconnectFromHost();
}

bool AppServer::makeRoom(Session *asking, qsizetype bytes)
{
    qsizetype held = queuedBytes();
    while (held + bytes > m_options.maxHeldBytes) {
        Session *largest = asking;
        for (Session *s : std::as_const(m_sessions)) {
            if (s->unfinishedBytes() > largest->unfinishedBytes())
                largest = s;
        }
        held -= largest->queuedBytes();
        largest->drop(QStringLiteral("o servidor não pode guardar mais mensagens incompletas (limite de %1 bytes)")
                          .arg(m_options.maxHeldBytes));
        if (largest == asking)
            return false;
    }
    return true;
}

void AppServer::announce(quint64 session)
{
    Session *s = m_sessions.value(session);
    if (!s || s->announced)
        return;
    s->announced = true;
    m_log.write(LogLevel::Info, QStringLiteral("%1 open peer=%2").arg(connectionText(session), s->peerText));
}

void AppServer::run(quint64 session, std::shared_ptr<Caller> caller, QByteArray frame, QElapsedTimer received)
{
    announce(session);
    m_pool.start([this, session, caller = std::move(caller), frame = std::move(frame), received] {
        quint64 id = 0;
        QByteArray reply;
        // The operator the request came under; a sign-in's is the one who signed in.
        Served served{.operatorCode = caller->operatorCode, .received = received};
        const RequestLog::During during(m_log, session, served.method);
        try {
            const fw::Request request = fw::decodeRequest(frame, &id);
            // Names only: what a request carries (passwords, tokens, observations) never reaches the log.
            served.method = logName(request.object + u'.' + request.method);
            if (request.streamed) {
                // Each part goes out as it is written, before the reply, in the order written.
                caller->replyParts = [this, session, id](QByteArray packet, std::optional<quint64> total) {
                    QMetaObject::invokeMethod(this, [this, session, frame = fw::encodeFrame(fw::encodeReplyPart(id, total, packet))] {
                        send(session, frame);
                    }, Qt::QueuedConnection);
                };
            }
            const Outcome outcome = m_dispatcher.dispatch(request.object, request.method, request.args, *caller);
            caller->replyParts = {};
            served.outcome = outcome.failed() ? outcome.errorCode
                : outcome.refusal             ? QStringLiteral("refused")
                                              : QStringLiteral("ok");
            reply = outcome.failed()
                ? fw::encodeFrame(fw::encodeErrorReply(id, outcome.errorCode, outcome.errorMessage))
                : fw::encodeFrame({fw::encodeReplyHead(id), outcome.result});
        } catch (const fw::ProtocolError &e) {
            served.outcome = QStringLiteral("malformed-request");
            const QString why = QStringLiteral("requisição inválida: %1").arg(QString::fromUtf8(e.what()));
            m_log.write(LogLevel::Warning, QStringLiteral("%1 %2").arg(connectionText(session), why));
            reply = fw::encodeFrame(fw::encodeErrorReply(id, served.outcome, why));
        } catch (const std::exception &e) {
            served.outcome = QStringLiteral("internal-error");
            logFailure(QStringLiteral("erro interno: %1").arg(QString::fromUtf8(e.what())));
            reply = fw::encodeFrame(fw::encodeErrorReply(id, served.outcome,
                                         QStringLiteral("erro interno do servidor: %1").arg(QString::fromUtf8(e.what()))));
        }
        if (caller->signedIn())
            served.operatorCode = caller->operatorCode;
        // Back on the server's thread; a session gone meanwhile simply gets nothing.
        QMetaObject::invokeMethod(this, [this, session, reply = std::move(reply), served] {
            finished(session, reply, served);
        }, Qt::QueuedConnection);
    });
}

void AppServer::finished(quint64 session, QByteArray reply, const Served &served)
{
    if (Session *s = m_sessions.value(session))
        s->replied(reply);
    if (m_log.enabled(LogLevel::Info))
        m_log.write(LogLevel::Info, QStringLiteral("%1 op=%2 method=%3 ms=%4 outcome=%5")
                                        .arg(connectionText(session),
                                             served.operatorCode.isEmpty() ? QStringLiteral("-") : served.operatorCode,
                                             served.method, QString::number(served.received.elapsed()), served.outcome));
}

void AppServer::closed(quint64 session)
{
    if (Session *s = m_sessions.value(session)) {
        const bool quietVisit = !s->announced && qstrcmp(s->ending(), "client") == 0;
        if (!quietVisit)
            announce(session);
        m_log.write(quietVisit ? LogLevel::Debug : LogLevel::Info,
                    QStringLiteral("%1 close reason=%2%3")
                        .arg(connectionText(session), QLatin1String(s->ending()),
                             quietVisit ? QStringLiteral(" peer=%1 no-request").arg(s->peerText) : QString()));
        m_sessions.remove(session);
        if (--m_perPeer[s->peer()] <= 0)
            m_perPeer.remove(s->peer());
        s->deleteLater();
        emit connectionClosed(session);
    }
    emit sessionClosed();
}

void AppServer::send(quint64 session, const QByteArray &frame)
{
    if (Session *s = m_sessions.value(session))
        s->write(frame);
}

} // namespace server
