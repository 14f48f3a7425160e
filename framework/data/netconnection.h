#pragma once

#include <framework/data/cboritem.h>
#include <framework/core/detailederror.h>
#include <framework/core/logincontext.h>
#include <framework/data/frame.h>
#include <framework/data/protocol.h>
#include <framework/data/dataexport.h>

#include <QCborArray>
#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QSslCertificate>
#include <QSslError>
#include <QSslSocket>

#include <exception>
#include <functional>
#include <optional>
#include <stdexcept>

namespace fw {

// A server call that did not get an answer (no connection, no reply in time, a broken reply)
// or got the server's error reply. The message says what happened and what to do.
class FW_DATA_EXPORT ServerCallError : public DetailedError
{
public:
    ServerCallError(const QString &message, const QString &details, QString code = {})
        : DetailedError(message, details)
        , m_code(std::move(code))
    {
    }
    // The server's error reply code ("unauthenticated", ...); empty when no reply said why.
    const QString &code() const { return m_code; }

private:
    QString m_code;
};

// One call on a connection that is already open: what a session sends while it opens.
using ConnectionSender = std::function<CborItem(const QString &object, const QString &method, const QCborArray &args)>;

// Whom a connection speaks for at the server. It is told when the connection opens, before
// the first call goes, and asked to sign in again when the server says the session ended.
class FW_DATA_EXPORT ConnectionSession
{
public:
    virtual ~ConnectionSession() = default;
    // Throws ServerCallError when the connection can't be used for this session.
    virtual void opened(const ConnectionSender &send) = 0;
    // True when signed in again: the call that met the end is then repeated, once.
    virtual bool ended(const ConnectionSender &send) = 0;
    // As opened, for a connection coming back by itself: nothing is asked of the operator, and
    // false says that only a new sign-in would open it.
    virtual bool resumeQuietly(const ConnectionSender &send)
    {
        opened(send);
        return true;
    }
};

// The socket connection to the application server. Host and port are set by the
// before-connect event, which runs before every connect; the first call connects, and a
// connection that was closed (by us, by the server, by a timeout) is opened again by the next
// call. Calls wait for their reply while the event loop keeps the window painted but takes
// no input.
//
// Events the server sends unasked (on a connection that asked to be told) are delivered by
// serverEvent from the event loop, never inside a call: one that arrives while a call waits is
// held until it returns, so its handler may call the server.
class FW_DATA_EXPORT TNetConnection : public QObject
{
    Q_OBJECT
public:
    explicit TNetConnection(QObject *parent = nullptr);
    ~TNetConnection() override;

    QString serverName() const { return m_serverName; }
    void setServerName(const QString &name) { m_serverName = name; }
    QString host() const { return m_host; }
    void setHost(const QString &host) { m_host = host; }
    quint16 port() const { return m_port; }
    void setPort(quint16 port) { m_port = port; }
    // When false, a failed open raises nothing: it is seen when the next call fails.
    bool throwException() const { return m_throwException; }
    void setThrowException(bool on) { m_throwException = on; }
    int timeoutMs() const { return m_timeoutMs; }
    void setTimeoutMs(int ms) { m_timeoutMs = ms; }
    qsizetype maxFrameBytes() const { return m_maxFrame; }
    void setMaxFrameBytes(qsizetype bytes) { m_maxFrame = bytes; }
    // TLS 1.2 or later, the server's certificate verified against `trusted` only (the system's
    // authorities when empty) and for `verifyName` (the host when empty). Off: plain TCP.
    bool tls() const { return m_tls; }
    void setTls(bool on, QList<QSslCertificate> trusted = {}, QString verifyName = {})
    {
        m_tls = on;
        m_trusted = std::move(trusted);
        m_verifyName = std::move(verifyName);
    }

    std::function<void(TNetConnection &)> onBeforeConnect;

    // Host, port, timeout and TLS from the logged-in context; throws ServerCallError when its
    // server-ca file can't be read.
    void configure(const LoginContext &context);

    // Not owned; null: calls go without a session.
    void setSession(ConnectionSession *session) { m_session = session; }

    // Runs the before-connect event and connects. Returns false (or throws ServerCallError
    // with throwException) when the server can't be reached.
    bool open();
    // Connects without waiting, for a connection to come back by itself: the session is
    // resumed once the server answers, and opened() says so; a failure is only seen as no
    // opened(). Nothing happens while connected, connecting or calling.
    void openInBackground();
    void close();
    bool connected() const;
    // A call waits for its reply now (another one would be refused).
    bool calling() const { return m_calling || m_exchanging; }
    QString lastError() const { return m_lastError; }

    // Calls a method of the server object with positional arguments and returns its result,
    // still encoded. Throws ServerCallError on any failure.
    CborItem call(const QString &method, const QCborArray &args);
    // Each part of a streamed result, a data packet of the next rows, as it arrives, with the
    // rows of the whole result when the server says; the window repaints between parts. What
    // the handler throws ends the call (the parts still coming are dropped) and is rethrown.
    using ReplyParts = std::function<void(const CborItem &packet, std::optional<quint64> total)>;
    // The same, asking for the result in parts: those the server sends go to `parts`, and the
    // returned result holds the rest (a server that doesn't stream sends it all there).
    CborItem call(const QString &method, const QCborArray &args, const ReplyParts &parts);
    // The same, to another object of the server.
    CborItem call(const QString &object, const QString &method, const QCborArray &args, const ReplyParts &parts = {});

signals:
    void connectedChanged(bool connected);
    // The connection opened and its session is resumed (by a call, open() or openInBackground()).
    // Delivered as events are: outside any call.
    void opened();
    void serverEvent(const QString &name, const QCborMap &fields);

private:
    bool connectSocket();
    // Sends one request and waits for its reply, on an open connection.
    CborItem exchange(const QString &object, const QString &method, const QCborArray &args,
                      const ReplyParts &parts = {});
    enum class Arrival { NeedMore, Part, Reply, TooLarge, Broken, Stopped };
    // Takes the whole frames received: events are held for delivery; the reply to `awaited`
    // (0: none is awaited) ends the reading, what follows it stays for later. A part of it goes
    // to `parts` and ends this reading too, so the window repaints before the next.
    Arrival takeFrames(quint64 awaited, Reply *reply, QString *broken, const ReplyParts &parts = {});
    // Frames that came while no call waits: events, or late replies to calls that gave up.
    void readUnasked();
    // Starts the connection, with the before-connect event, and returns at once.
    void startConnecting();
    void sessionInBackground();
    void deliverLater();
    ConnectionSender sender();
    enum class Progress { Waiting, Advanced, Done };
    // Runs the event loop until `step` says Done or the time runs out; Advanced starts the time
    // again and asks for the next step at once.
    bool waitFor(const std::function<Progress()> &step, int timeoutMs);
    // The operator's message, and the technical detail that goes under it.
    [[noreturn]] void failCall(const QString &method, const QString &message, const QString &technical,
                               const QString &code = {});
    QString where() const;

    QString m_serverName;
    QString m_host = QStringLiteral("127.0.0.1");
    quint16 m_port = 0;
    bool m_throwException = true;
    int m_timeoutMs = 30000;
    qsizetype m_maxFrame = DefaultMaxFrameBytes;
    QSslSocket *m_socket;
    ConnectionSession *m_session = nullptr;
    bool m_tls = false;
    QList<QSslCertificate> m_trusted;
    QString m_verifyName;
    QList<QSslError> m_sslErrors;
    QString m_failure; // the operator's words for the last failed open
    quint64 m_nextId = 1;
    FrameReader m_frames;
    QList<Event> m_events; // received, not yet delivered
    bool m_tellOpened = false;
    bool m_deliveryPosted = false;
    bool m_calling = false;
    bool m_exchanging = false;
    bool m_backgroundOpen = false;
    quint64 m_attempt = 0;
    QString m_lastError;
    std::exception_ptr m_partFailure; // what a parts handler threw, rethrown when its call ends
    static constexpr qint64 PartRepaintMs = 100;
    QElapsedTimer m_sincePartPainted;
};

} // namespace fw
