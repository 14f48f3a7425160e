#include "fakeappserver.h"

#include <framework/ui/busyindicator.h>
#include <framework/data/frame.h>

#include <QTcpSocket>
#include <QTimer>

using namespace fw;

FakeAppServer::FakeAppServer(QObject *parent)
    : QObject(parent)
{
    m_server.listen(QHostAddress::LocalHost, 0);
    connect(&m_server, &QTcpServer::newConnection, this, [this] {
        while (QTcpSocket *socket = m_server.nextPendingConnection())
            serve(socket);
    });
}

void FakeAppServer::answerOk(const QString &method, const QCborValue &payload)
{
    answer(method, [payload](const Request &r) {
        return encodeReply(r.id, encodeEnvelope(true, {}, payload));
    });
}

void FakeAppServer::answerOkPacket(const QString &method, const QByteArray &packet)
{
    answer(method, [packet](const Request &r) {
        return encodeReply(r.id, encodeEnvelope(true, {}, QByteArrayView(packet)));
    });
}

void FakeAppServer::answerFailure(const QString &method, const QString &message)
{
    answer(method, [message](const Request &r) {
        return encodeReply(r.id, encodeEnvelope(false, message, QCborValue()));
    });
}

void FakeAppServer::answerBare(const QString &method, const QCborValue &value)
{
    answer(method, [value](const Request &r) { return encodeReply(r.id, value.toCbor()); });
}

void FakeAppServer::neverAnswer(const QString &method)
{
    answer(method, [](const Request &) { return std::optional<QByteArray>(); });
}

void FakeAppServer::answerRaw(const QString &method, const QByteArray &bytes)
{
    m_raw.insert(method, bytes);
}

void FakeAppServer::answerInParts(const QString &method, QList<QByteArray> packets, quint64 total, int gapMs)
{
    m_parts.insert(method, {std::move(packets), total, gapMs});
}

QStringList FakeAppServer::methods() const
{
    QStringList list;
    for (const Call &c : calls)
        list.append(c.method);
    return list;
}

void FakeAppServer::push(const QByteArray &bytes)
{
    for (const QPointer<QTcpSocket> &socket : std::as_const(m_sockets)) {
        if (socket && socket->state() == QAbstractSocket::ConnectedState) {
            socket->write(bytes);
            socket->flush(); // on the wire now, not at the event loop's next turn
        }
    }
}

void FakeAppServer::serve(QTcpSocket *socket)
{
    m_sockets.append(socket);
    auto *frames = new FrameReader();
    connect(socket, &QObject::destroyed, [frames] { delete frames; });
    connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    connect(socket, &QTcpSocket::readyRead, this, [this, socket, frames] {
        frames->append(socket->readAll());
        QByteArray frame;
        while (frames->next(&frame) == FrameReader::Status::Frame) {
            const Request r = decodeRequest(frame);
            calls.append({r.object, r.method, r.args, busyIndicatorKind()});
            if (m_drop.contains(r.method)) {
                socket->abort();
                return;
            }
            if (m_raw.contains(r.method)) {
                socket->write(m_raw.value(r.method));
                continue;
            }
            const Handler handler = m_handlers.value(r.method);
            const std::optional<QByteArray> reply = handler
                ? handler(r)
                : std::optional<QByteArray>(encodeReply(r.id, encodeEnvelope(true, {}, QCborValue())));
            if (r.streamed && m_parts.contains(r.method)) {
                const Parts parts = m_parts.value(r.method);
                for (int i = 0; i < parts.packets.size(); ++i) {
                    QTimer::singleShot(i * parts.gapMs, socket, [socket, frame = encodeFrame(encodeReplyPart(r.id, parts.total, parts.packets.at(i)))] {
                        socket->write(frame);
                    });
                }
                if (reply)
                    QTimer::singleShot(int(parts.packets.size()) * parts.gapMs, socket, [socket, frame = encodeFrame(*reply)] { socket->write(frame); });
                continue;
            }
            if (reply)
                socket->write(encodeFrame(*reply));
        }
    });
}
