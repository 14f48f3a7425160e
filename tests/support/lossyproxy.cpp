#include "lossyproxy.h"

#include <framework/data/frame.h>
#include <framework/data/protocol.h>

#include <QTcpSocket>

#include <memory>

LossyProxy::LossyProxy(quint16 serverPort, const QString &method, QObject *parent)
    : QObject(parent)
    , m_serverPort(serverPort)
    , m_method(method)
{
    m_listener.listen(QHostAddress::LocalHost, 0);
    connect(&m_listener, &QTcpServer::newConnection, this, [this] {
        while (QTcpSocket *screen = m_listener.nextPendingConnection())
            pass(screen);
    });
}

void LossyProxy::pass(QTcpSocket *screen)
{
    auto *server = new QTcpSocket(screen);
    server->connectToHost(QHostAddress::LocalHost, m_serverPort);
    auto requests = std::make_shared<fw::FrameReader>();
    auto replies = std::make_shared<fw::FrameReader>();
    auto doomed = std::make_shared<std::optional<quint64>>(); // the id whose reply goes missing
    connect(screen, &QTcpSocket::disconnected, screen, &QObject::deleteLater);
    connect(screen, &QTcpSocket::readyRead, this, [this, screen, server, requests, doomed] {
        requests->append(screen->readAll());
        QByteArray frame;
        while (requests->next(&frame) == fw::FrameReader::Status::Frame) {
            const fw::Request request = fw::decodeRequest(frame);
            if (request.method == m_method && m_lost == 0 && !*doomed)
                *doomed = request.id;
            server->write(fw::encodeFrame(frame));
        }
    });
    connect(server, &QTcpSocket::readyRead, this, [this, screen, server, replies, doomed] {
        replies->append(server->readAll());
        QByteArray frame;
        while (replies->next(&frame) == fw::FrameReader::Status::Frame) {
            if (*doomed && fw::decodeReply(frame).id == **doomed) {
                ++m_lost;
                screen->abort();
                return;
            }
            screen->write(fw::encodeFrame(frame));
        }
    });
}
