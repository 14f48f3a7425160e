#include "appserver.h"

#include <framework/data/protocol.h>
#include <framework/data/sessioncontract.h>

#include <QSslServer>
#include <QTcpSocket>
#include <QTimer>

#include <deque>

namespace server {

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
        connect(&m_idle, &QTimer::timeout, this, [this] { m_socket->abort(); });
        connect(socket, &QTcpSocket::readyRead, this, [this] {
            m_idle.start();
            pull();
        });
        connect(socket, &QTcpSocket::disconnected, this, [this] { m_owner.closed(m_id); });
        m_idle.start();
        if (options.signInTimeoutMs > 0) {
            m_signIn.setSingleShot(true);
            connect(&m_signIn, &QTimer::timeout, this, [this, seconds = options.signInTimeoutMs / 1000] {
                m_owner.refuse(m_socket, QLatin1String(fw::UnauthenticatedCode),
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
    // Bytes of the frame still arriving.
    qsizetype unfinishedBytes() const { return m_frames.buffered(); }
    // Dropped to make room for the others: told so, its bytes let go.
    void drop(const QString &why)
    {
        m_dropped = true;
        m_waiting.clear();
        m_waitingBytes = 0;
        m_frames = fw::FrameReader(m_maxFrame);
        m_owner.refuse(m_socket, QStringLiteral("server-busy"), why);
    }
    int queued() const { return int(m_waiting.size()); }
    qsizetype queuedBytes() const { return m_waitingBytes + m_frames.buffered(); }

private:
    static constexpr qsizetype ReadChunk = 64 * 1024;

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
                m_waiting.push_back(std::move(frame));
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
        m_socket->write(fw::encodeFrame(fw::encodeErrorReply(
            0, QStringLiteral("frame-too-large"),
            QStringLiteral("mensagem de %1 bytes excede o limite de %2 bytes; conexão encerrada")
                .arg(m_frames.announcedLength()).arg(m_maxFrame))));
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
        QByteArray frame = std::move(m_waiting.front());
        m_waiting.pop_front();
        m_waitingBytes -= frame.size();
        m_owner.run(m_id, m_caller, std::move(frame));
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
    std::deque<QByteArray> m_waiting;
    qsizetype m_waitingBytes = 0;
    QTimer m_idle;
    QTimer m_signIn;
    // Whom the requests of this connection speak for; shared with the worker running one.
    std::shared_ptr<Caller> m_caller;
    bool m_busy = false;
    bool m_dropped = false;
};

AppServer::AppServer(const Dispatcher &dispatcher, Options options, QObject *parent)
    : QObject(parent)
    , m_dispatcher(dispatcher)
    , m_options(options)
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
            refuse(socket, QStringLiteral("too-many-connections"), over);
            continue;
        }
        const quint64 id = m_nextSession++;
        ++m_perPeer[peer];
        m_sessions.insert(id, new Session(*this, id, socket, m_options));
    }
}

void AppServer::refuse(QTcpSocket *socket, const QString &code, const QString &why)
{
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

void AppServer::run(quint64 session, std::shared_ptr<Caller> caller, QByteArray frame)
{
    m_pool.start([this, session, caller = std::move(caller), frame = std::move(frame)] {
        quint64 id = 0;
        QByteArray reply;
        try {
            const fw::Request request = fw::decodeRequest(frame, &id);
            const Outcome outcome = m_dispatcher.dispatch(request.object, request.method, request.args, *caller);
            reply = outcome.failed()
                ? fw::encodeFrame(fw::encodeErrorReply(id, outcome.errorCode, outcome.errorMessage))
                : fw::encodeFrame({fw::encodeReplyHead(id), outcome.result});
        } catch (const fw::ProtocolError &e) {
            reply = fw::encodeFrame(fw::encodeErrorReply(id, QStringLiteral("malformed-request"),
                                         QStringLiteral("requisição inválida: %1").arg(QString::fromUtf8(e.what()))));
        } catch (const std::exception &e) {
            reply = fw::encodeFrame(fw::encodeErrorReply(id, QStringLiteral("internal-error"),
                                         QStringLiteral("erro interno do servidor: %1").arg(QString::fromUtf8(e.what()))));
        }
        // Back on the server's thread; a session gone meanwhile simply gets nothing.
        QMetaObject::invokeMethod(this, [this, session, reply = std::move(reply)] {
            finished(session, reply);
        }, Qt::QueuedConnection);
    });
}

void AppServer::finished(quint64 session, QByteArray reply)
{
    if (Session *s = m_sessions.value(session))
        s->replied(reply);
}

void AppServer::closed(quint64 session)
{
    if (Session *s = m_sessions.take(session)) {
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
