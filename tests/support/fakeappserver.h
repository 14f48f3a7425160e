#pragma once

#include <framework/data/protocol.h>

#include <QCborArray>
#include <QHash>
#include <QSet>
#include <QList>
#include <QPointer>
#include <QTcpSocket>
#include <QTcpServer>

#include <functional>

// A stand-in application server on an ephemeral loopback port: records every request and
// answers each method as the test scripts it (an ok envelope with no payload by default).
class FakeAppServer : public QObject
{
    Q_OBJECT
public:
    struct Call
    {
        QString object;
        QString method;
        QCborArray args;
        int busyKind; // the busy indicator showing while the call ran; -1 for none
    };
    // What to send back for a request: the encoded result, or nothing for a server that
    // never answers.
    using Handler = std::function<std::optional<QByteArray>(const fw::Request &)>;

    explicit FakeAppServer(QObject *parent = nullptr);

    quint16 port() const { return m_server.serverPort(); }
    void close() { m_server.close(); }

    void answer(const QString &method, Handler handler) { m_handlers.insert(method, std::move(handler)); }
    // The result is an envelope around the payload.
    void answerOk(const QString &method, const QCborValue &payload = {});
    void answerOkPacket(const QString &method, const QByteArray &packet);
    void answerFailure(const QString &method, const QString &message);
    void answerBare(const QString &method, const QCborValue &value);
    void neverAnswer(const QString &method);
    // Sends raw bytes instead of a reply frame.
    void answerRaw(const QString &method, const QByteArray &bytes);
    // To a request that asks for its result in parts: these packets as parts, the first at once
    // and each next `gapMs` later, then the method's reply; `total` is told with each part.
    void answerInParts(const QString &method, QList<QByteArray> packets, quint64 total, int gapMs);
    // Closes the connection instead of answering.
    void dropOn(const QString &method) { m_drop.insert(method); }
    // Sends bytes unasked to every connection still open, as the server sends an event, at once.
    void push(const QByteArray &bytes);

    QList<Call> calls;
    QStringList methods() const;

private:
    void serve(QTcpSocket *socket);

    QTcpServer m_server;
    QHash<QString, Handler> m_handlers;
    QHash<QString, QByteArray> m_raw;
    struct Parts
    {
        QList<QByteArray> packets;
        quint64 total;
        int gapMs;
    };
    QHash<QString, Parts> m_parts;
    QSet<QString> m_drop;
    QList<QPointer<QTcpSocket>> m_sockets;
};
