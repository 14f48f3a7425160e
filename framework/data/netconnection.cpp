#include "netconnection.h"

#include <framework/data/protocol.h>
#include <framework/data/sessioncontract.h>

#include <QEventLoop>
#include <QTimer>

namespace fw {
namespace {

QString withFullStop(QString text)
{
    if (!text.endsWith(u'.') && !text.endsWith(u'?') && !text.endsWith(u'!'))
        text += u'.';
    return text;
}

} // namespace

TNetConnection::TNetConnection(QObject *parent)
    : QObject(parent)
    , m_socket(new QTcpSocket(this))
{
    connect(m_socket, &QTcpSocket::stateChanged, this, [this](QAbstractSocket::SocketState s) {
        if (s == QAbstractSocket::ConnectedState || s == QAbstractSocket::UnconnectedState)
            emit connectedChanged(s == QAbstractSocket::ConnectedState);
    });
}

TNetConnection::~TNetConnection()
{
    m_socket->abort();
}

QString TNetConnection::where() const
{
    return QStringLiteral("%1:%2").arg(m_host).arg(m_port);
}

bool TNetConnection::connected() const
{
    return m_socket->state() == QAbstractSocket::ConnectedState;
}

// Runs the event loop until done() or the time runs out, leaving user input queued: the
// window repaints and the busy indicator moves, but no other handler starts meanwhile.
bool TNetConnection::waitFor(const std::function<bool()> &done, int timeoutMs)
{
    if (done())
        return true;
    QEventLoop loop;
    QTimer timer;
    timer.setSingleShot(true);
    bool timedOut = false;
    connect(&timer, &QTimer::timeout, &loop, [&] {
        timedOut = true;
        loop.quit();
    });
    auto check = [&] {
        if (done())
            loop.quit();
    };
    const auto c1 = connect(m_socket, &QTcpSocket::readyRead, &loop, check);
    const auto c2 = connect(m_socket, &QTcpSocket::stateChanged, &loop, check);
    const auto c3 = connect(m_socket, &QTcpSocket::errorOccurred, &loop, check);
    timer.start(timeoutMs);
    loop.exec(QEventLoop::ExcludeUserInputEvents);
    disconnect(c1);
    disconnect(c2);
    disconnect(c3);
    return !timedOut || done();
}

bool TNetConnection::open()
{
    if (connected())
        return true;
    if (!connectSocket())
        return false;
    if (m_session) {
        try {
            m_session->opened(sender());
        } catch (const ServerCallError &) {
            m_socket->abort();
            throw;
        }
    }
    return true;
}

bool TNetConnection::connectSocket()
{
    m_socket->abort();
    if (onBeforeConnect)
        onBeforeConnect(*this);
    m_lastError.clear();
    m_socket->connectToHost(m_host, m_port);
    const bool finished = waitFor([this] {
        const auto s = m_socket->state();
        return s == QAbstractSocket::ConnectedState || s == QAbstractSocket::UnconnectedState;
    }, m_timeoutMs);
    if (connected())
        return true;
    m_lastError = finished ? m_socket->errorString()
                           : QStringLiteral("sem resposta em %1 s").arg(m_timeoutMs / 1000.0);
    m_socket->abort();
    if (m_throwException)
        throw ServerCallError(QStringLiteral("Servidor de aplicação indisponível em %1. Verifique se ele está em "
                                             "execução e tente de novo.").arg(where()),
                              QStringLiteral("conexão com %1: %2").arg(where(), m_lastError));
    return false;
}

void TNetConnection::close()
{
    m_socket->abort();
}

void TNetConnection::failCall(const QString &method, const QString &message, const QString &technical,
                              const QString &code)
{
    m_lastError = technical;
    throw ServerCallError(message, QStringLiteral("%1 em %2: %3").arg(method, where(), technical), code);
}

ConnectionSender TNetConnection::sender()
{
    return [this](const QString &object, const QString &method, const QCborArray &args) {
        return exchange(object, method, args);
    };
}

CborItem TNetConnection::call(const QString &method, const QCborArray &args)
{
    return call(m_serverName, method, args);
}

CborItem TNetConnection::call(const QString &object, const QString &method, const QCborArray &args)
{
    if (m_calling)
        failCall(method, QStringLiteral("Outra chamada ao servidor de aplicação ainda está em andamento. Aguarde e tente de novo."),
                 QStringLiteral("outra chamada ainda está em andamento"));
    m_calling = true;
    struct Reset { bool &flag; ~Reset() { flag = false; } } reset{m_calling};

    if (!connected()) {
        const bool wasThrowing = m_throwException;
        m_throwException = false;
        const bool opened = open();
        m_throwException = wasThrowing;
        if (!opened)
            failCall(method, QStringLiteral("Servidor de aplicação indisponível em %1. Verifique se ele está em "
                                            "execução e tente de novo.").arg(where()),
                     QStringLiteral("não foi possível conectar (%1)").arg(m_lastError));
    }
    try {
        return exchange(object, method, args);
    } catch (const ServerCallError &e) {
        if (e.code() != QLatin1String(UnauthenticatedCode) || !m_session || !m_session->ended(sender()))
            throw;
    }
    return exchange(object, method, args);
}

CborItem TNetConnection::exchange(const QString &object, const QString &method, const QCborArray &args)
{
    if (!connected())
        failCall(method, QStringLiteral("A conexão com o servidor de aplicação em %1 caiu. Tente de novo.").arg(where()),
                 QStringLiteral("a conexão não está aberta"));
    const quint64 id = m_nextId++;
    m_socket->write(encodeFrame(encodeRequest({id, object, method, args})));

    FrameReader frames(m_maxFrame);
    QByteArray frame;
    bool gotReply = false;
    bool tooLarge = false;
    Reply reply;
    QString broken;
    auto replyArrived = [&] {
        frames.append(m_socket->readAll());
        frames.reserveAnnounced();
        while (true) {
            const auto status = frames.next(&frame);
            if (status == FrameReader::Status::TooLarge) {
                tooLarge = true;
                return true;
            }
            if (status == FrameReader::Status::NeedMore)
                return m_socket->state() != QAbstractSocket::ConnectedState;
            try {
                reply = decodeReply(frame);
            } catch (const ProtocolError &e) {
                broken = QString::fromStdString(e.what());
                return true;
            }
            if (reply.id == id) {
                gotReply = true;
                return true;
            }
            // A reply to an earlier call that gave up waiting: not ours, keep reading.
        }
    };
    const bool finished = waitFor(replyArrived, m_timeoutMs);

    if (gotReply) {
        if (reply.error)
            failCall(method, withFullStop(QStringLiteral("O servidor de aplicação recusou o pedido: %1").arg(reply.error->message)),
                     reply.error->code, reply.error->code);
        return reply.result;
    }
    // Whatever else happened, the stream can no longer be trusted: the next call reconnects.
    m_socket->abort();
    if (tooLarge)
        failCall(method, QStringLiteral("A resposta do servidor de aplicação excede o limite de %1 bytes. Consulte "
                                        "um período menor ou peça ao suporte para aumentar o limite.").arg(m_maxFrame),
                 QStringLiteral("resposta de %1 bytes").arg(frames.announcedLength()));
    if (!broken.isEmpty())
        failCall(method, QStringLiteral("O servidor de aplicação deu uma resposta inválida. Tente de novo; se "
                                        "persistir, chame o suporte."),
                 QStringLiteral("resposta inválida (%1)").arg(broken));
    if (!finished)
        failCall(method, QStringLiteral("O servidor de aplicação em %1 não respondeu em %2 s. Tente de novo.")
                             .arg(where()).arg(m_timeoutMs / 1000.0),
                 QStringLiteral("sem resposta em %1 s; a conexão foi fechada").arg(m_timeoutMs / 1000.0));
    failCall(method, QStringLiteral("A conexão com o servidor de aplicação em %1 caiu antes da resposta. Tente de novo.")
                         .arg(where()),
             QStringLiteral("a conexão foi encerrada antes da resposta"));
}

} // namespace fw
