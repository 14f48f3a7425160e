#include "netconnection.h"

#include <framework/data/protocol.h>
#include <framework/data/sessioncontract.h>
#include <framework/data/tlsfailure.h>

#include <QEventLoop>
#include <QSslConfiguration>
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
    , m_socket(new QSslSocket(this))
{
    // Kept to tell the operator why; the socket refuses the connection on any of them.
    connect(m_socket, &QSslSocket::sslErrors, this, [this](const QList<QSslError> &errors) { m_sslErrors = errors; });
    connect(m_socket, &QTcpSocket::stateChanged, this, [this](QAbstractSocket::SocketState s) {
        if (s == QAbstractSocket::ConnectedState || s == QAbstractSocket::UnconnectedState)
            emit connectedChanged(s == QAbstractSocket::ConnectedState);
    });
    connect(m_socket, &QTcpSocket::readyRead, this, &TNetConnection::readUnasked);
    // Not inside the socket's own signal: the session's call reads from that socket.
    const auto backgroundReady = [this] {
        if (m_backgroundOpen && connected())
            QMetaObject::invokeMethod(this, &TNetConnection::sessionInBackground, Qt::QueuedConnection);
    };
    connect(m_socket, &QSslSocket::connected, this, backgroundReady);
    connect(m_socket, &QSslSocket::encrypted, this, backgroundReady);
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
    return m_socket->state() == QAbstractSocket::ConnectedState && (!m_tls || m_socket->isEncrypted());
}

// Runs the event loop until `step` is done or the time runs out, leaving user input queued: the
// window repaints and the busy indicator moves, but no other handler starts meanwhile.
bool TNetConnection::waitFor(const std::function<Progress()> &step, int timeoutMs)
{
    Progress progress = step();
    if (progress == Progress::Done)
        return true;
    QEventLoop loop;
    QTimer timer, again;
    timer.setSingleShot(true);
    again.setSingleShot(true);
    bool timedOut = false;
    connect(&timer, &QTimer::timeout, &loop, [&] {
        timedOut = true;
        loop.quit();
    });
    // A TLS socket may signal from inside the read a step makes: that signal asks for one more
    // step once this one is over, never for a step inside it (which would take the reply and
    // leave this one to say none came).
    bool stepping = false, signalled = false;
    auto check = [&] {
        // A signal dispatched in the same turn as the one that finished: the step that finished
        // took what it waited for, and another would take it back.
        if (progress == Progress::Done)
            return;
        if (stepping) {
            signalled = true;
            return;
        }
        stepping = true;
        do {
            signalled = false;
            progress = step();
        } while (signalled && progress == Progress::Waiting);
        stepping = false;
        if (progress == Progress::Done) {
            loop.quit();
        } else if (progress == Progress::Advanced || signalled) {
            if (progress == Progress::Advanced)
                timer.start(timeoutMs);
            again.start(0); // what is already received, after the window has repainted
        }
    };
    connect(&again, &QTimer::timeout, &loop, check);
    const auto c1 = connect(m_socket, &QTcpSocket::readyRead, &loop, check);
    const auto c2 = connect(m_socket, &QTcpSocket::stateChanged, &loop, check);
    const auto c3 = connect(m_socket, &QTcpSocket::errorOccurred, &loop, check);
    const auto c4 = connect(m_socket, &QSslSocket::encrypted, &loop, check);
    timer.start(timeoutMs);
    again.start(0); // what came while the first step read, before these were connected
    loop.exec(QEventLoop::ExcludeUserInputEvents);
    for (const auto &c : {c1, c2, c3, c4})
        disconnect(c);
    return !timedOut || progress == Progress::Done;
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
    m_tellOpened = true;
    deliverLater();
    return true;
}

void TNetConnection::openInBackground()
{
    if (m_calling || m_exchanging || m_socket->state() != QAbstractSocket::UnconnectedState)
        return;
    startConnecting();
    m_backgroundOpen = true;
    // A server that neither answers nor refuses: given up after the calls' own timeout.
    QTimer::singleShot(m_timeoutMs, this, [this, attempt = m_attempt] {
        if (m_backgroundOpen && attempt == m_attempt) {
            m_backgroundOpen = false;
            m_socket->abort();
        }
    });
}

void TNetConnection::sessionInBackground()
{
    if (!m_backgroundOpen || !connected() || m_calling)
        return; // a call took the connection over meanwhile
    m_backgroundOpen = false;
    // The session's own calls are a call like any other: no second one starts beside them.
    m_calling = true;
    {
        struct Reset { bool &flag; ~Reset() { flag = false; } } reset{m_calling};
        try {
            if (m_session && !m_session->resumeQuietly(sender())) {
                m_socket->abort();
                return;
            }
        } catch (const ServerCallError &) {
            m_socket->abort();
            return;
        }
    }
    m_tellOpened = true;
    deliverLater();
}

void TNetConnection::startConnecting()
{
    m_socket->abort();
    if (onBeforeConnect)
        onBeforeConnect(*this);
    ++m_attempt;
    m_backgroundOpen = false;
    m_frames = FrameReader(m_maxFrame);
    m_lastError.clear();
    m_sslErrors.clear();
    if (m_tls) {
        QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
        tls.setProtocol(QSsl::TlsV1_2OrLater);
        tls.setPeerVerifyMode(QSslSocket::VerifyPeer);
        if (!m_trusted.isEmpty())
            tls.setCaCertificates(m_trusted); // nothing else is trusted for this connection
        m_socket->setSslConfiguration(tls);
        m_socket->connectToHostEncrypted(m_host, m_port, m_verifyName.isEmpty() ? m_host : m_verifyName);
    } else {
        m_socket->connectToHost(m_host, m_port);
    }
}

bool TNetConnection::connectSocket()
{
    bool reached = false; // TCP connected: a failure past it is the TLS handshake's
    const auto tcp = connect(m_socket, &QSslSocket::connected, this, [&reached] { reached = true; });
    startConnecting();
    const bool finished = waitFor([this] {
        return connected() || m_socket->state() == QAbstractSocket::UnconnectedState ? Progress::Done : Progress::Waiting;
    }, m_timeoutMs);
    disconnect(tcp);
    if (connected())
        return true;
    const QString socketError = finished ? m_socket->errorString()
                                         : QStringLiteral("sem resposta em %1 s").arg(m_timeoutMs / 1000.0);
    if (m_tls && reached) {
        m_failure = tlsFailureMessage(where(), m_sslErrors);
        m_lastError = tlsFailureDetails(m_sslErrors, socketError);
    } else {
        m_failure = QStringLiteral("Servidor de aplicação indisponível em %1. Verifique se ele está em execução e tente "
                                   "de novo.").arg(where());
        m_lastError = socketError;
    }
    m_socket->abort();
    if (m_throwException)
        throw ServerCallError(m_failure, QStringLiteral("conexão com %1: %2").arg(where(), m_lastError));
    return false;
}

void TNetConnection::configure(const LoginContext &context)
{
    m_host = context.webUrl;
    m_port = context.webPort;
    m_timeoutMs = context.serverTimeoutMs;
    QList<QSslCertificate> trusted;
    if (context.serverTls && !context.serverCa.isEmpty()) {
        trusted = QSslCertificate::fromPath(context.serverCa, QSsl::Pem);
        if (trusted.isEmpty())
            throw ServerCallError(QStringLiteral("A autoridade de certificados em server-ca (%1) não pôde ser lida. Corrija "
                                                 "o caminho na configuração ou avise o suporte.").arg(context.serverCa),
                                  QStringLiteral("server-ca %1: nenhum certificado PEM").arg(context.serverCa));
    }
    setTls(context.serverTls, trusted, context.serverName);
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

CborItem TNetConnection::call(const QString &method, const QCborArray &args, const ReplyParts &parts)
{
    return call(m_serverName, method, args, parts);
}

CborItem TNetConnection::call(const QString &object, const QString &method, const QCborArray &args, const ReplyParts &parts)
{
    if (m_calling)
        failCall(method, QStringLiteral("Outra chamada ao servidor de aplicação ainda está em andamento. Aguarde e tente de novo."),
                 QStringLiteral("outra chamada ainda está em andamento"));
    m_calling = true;
    // Events held while the call waited go out once it is over.
    struct Reset
    {
        TNetConnection &connection;
        ~Reset()
        {
            connection.m_calling = false;
            connection.deliverLater();
        }
    } reset{*this};

    if (!connected()) {
        const bool wasThrowing = m_throwException;
        m_throwException = false;
        const bool opened = open();
        m_throwException = wasThrowing;
        if (!opened)
            failCall(method, m_failure, QStringLiteral("não foi possível conectar (%1)").arg(m_lastError));
    }
    try {
        return exchange(object, method, args, parts);
    } catch (const ServerCallError &e) {
        if (e.code() != QLatin1String(UnauthenticatedCode) || !m_session || !m_session->ended(sender()))
            throw;
    }
    return exchange(object, method, args, parts);
}

TNetConnection::Arrival TNetConnection::takeFrames(quint64 awaited, Reply *reply, QString *broken, const ReplyParts &parts)
{
    QByteArray frame;
    while (true) {
        m_frames.readFrom(*m_socket);
        const auto status = m_frames.next(&frame);
        if (status == FrameReader::Status::TooLarge)
            return Arrival::TooLarge;
        if (status == FrameReader::Status::NeedMore)
            return Arrival::NeedMore;
        try {
            if (std::optional<Event> event = decodeEvent(frame)) {
                m_events.append(std::move(*event));
                continue;
            }
            Reply got = decodeReply(frame);
            if (awaited != 0 && got.id == awaited && got.part) {
                if (!parts) {
                    *broken = QStringLiteral("parte de um resultado não pedido em partes");
                    return Arrival::Broken;
                }
                try {
                    parts(got.result, got.total);
                } catch (...) {
                    m_partFailure = std::current_exception();
                    return Arrival::Stopped;
                }
                // The window repaints after the first part, then every PartRepaintMs at most:
                // a repaint after each part would cost as much as reading it.
                if (!m_sincePartPainted.isValid() || m_sincePartPainted.elapsed() >= PartRepaintMs) {
                    m_sincePartPainted.start();
                    return Arrival::Part;
                }
                continue;
            }
            if (awaited != 0 && got.id == awaited) {
                *reply = std::move(got);
                return Arrival::Reply;
            }
            // A reply to an earlier call that gave up waiting: not ours, keep reading.
        } catch (const ProtocolError &e) {
            *broken = QString::fromStdString(e.what());
            return Arrival::Broken;
        }
    }
}

void TNetConnection::readUnasked()
{
    if (m_exchanging)
        return; // the call waiting reads
    Reply none;
    QString broken;
    const Arrival arrival = takeFrames(0, &none, &broken);
    // A stream that broke can't be trusted: the next call reconnects.
    if (arrival == Arrival::TooLarge || arrival == Arrival::Broken)
        m_socket->abort();
    deliverLater();
}

void TNetConnection::deliverLater()
{
    if (m_deliveryPosted || (m_events.isEmpty() && !m_tellOpened))
        return;
    m_deliveryPosted = true;
    QMetaObject::invokeMethod(this, [this] {
        m_deliveryPosted = false;
        if (m_calling || m_exchanging)
            return; // the call's end posts them again
        const QPointer<TNetConnection> alive(this);
        if (std::exchange(m_tellOpened, false))
            emit opened();
        while (alive && !m_events.isEmpty() && !m_calling) {
            const Event event = m_events.takeFirst();
            emit serverEvent(event.name, event.fields);
        }
    }, Qt::QueuedConnection);
}

CborItem TNetConnection::exchange(const QString &object, const QString &method, const QCborArray &args,
                                  const ReplyParts &parts)
{
    if (!connected())
        failCall(method, QStringLiteral("A conexão com o servidor de aplicação em %1 caiu. Tente de novo.").arg(where()),
                 QStringLiteral("a conexão não está aberta"));
    const quint64 id = m_nextId++;
    m_socket->write(encodeFrame(encodeRequest({id, object, method, args, bool(parts)})));

    Reply reply;
    QString broken;
    Arrival arrival = Arrival::NeedMore;
    m_sincePartPainted.invalidate();
    m_exchanging = true;
    const bool finished = waitFor([&] {
        arrival = takeFrames(id, &reply, &broken, parts);
        if (arrival == Arrival::Part)
            return Progress::Advanced;
        return arrival != Arrival::NeedMore || m_socket->state() != QAbstractSocket::ConnectedState ? Progress::Done
                                                                                                      : Progress::Waiting;
    }, m_timeoutMs);
    m_exchanging = false;

    if (arrival == Arrival::Stopped) {
        // The rest of this result comes as replies to a call no longer waited for: dropped.
        readUnasked();
        std::rethrow_exception(std::exchange(m_partFailure, nullptr));
    }

    if (arrival == Arrival::Reply) {
        readUnasked(); // what came after the reply, read with it

        if (reply.error)
            failCall(method, withFullStop(QStringLiteral("O servidor de aplicação recusou o pedido: %1").arg(reply.error->message)),
                     reply.error->code, reply.error->code);
        return reply.result;
    }
    // Whatever else happened, the stream can no longer be trusted: the next call reconnects.
    m_socket->abort();
    if (arrival == Arrival::TooLarge)
        failCall(method, QStringLiteral("A resposta do servidor de aplicação excede o limite de %1 bytes. Consulte "
                                        "um período menor ou peça ao suporte para aumentar o limite.").arg(m_maxFrame),
                 QStringLiteral("resposta de %1 bytes").arg(m_frames.announcedLength()));
    if (arrival == Arrival::Broken)
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
