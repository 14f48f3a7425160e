#pragma once

#include <QTcpServer>

// Stands between the screen and the application server on loopback and passes every frame
// on, except that the reply to the first call of one method is lost: the server did the work,
// the screen's connection drops before it hears so.
class LossyProxy : public QObject
{
    Q_OBJECT
public:
    LossyProxy(quint16 serverPort, const QString &method, QObject *parent = nullptr);

    quint16 port() const { return m_listener.serverPort(); }
    int lostReplies() const { return m_lost; }

private:
    void pass(QTcpSocket *screen);

    QTcpServer m_listener;
    quint16 m_serverPort;
    QString m_method;
    int m_lost = 0;
};
