#pragma once

#include <QList>
#include <QProcess>
#include <QTemporaryDir>

// HAProxy in TCP mode on a loopback port in front of application servers on loopback, each
// new connection to the next server in turn; its configuration lives in a temporary folder.
class HaproxyFront
{
public:
    // The installed haproxy, or empty.
    static QString program();

    explicit HaproxyFront(const QList<quint16> &servers);
    ~HaproxyFront();

    // Starts it and waits until it accepts connections; false when it doesn't.
    bool start();
    quint16 port() const { return m_port; }
    QString output();

private:
    QList<quint16> m_servers;
    QTemporaryDir m_dir;
    QProcess m_process;
    quint16 m_port = 0;
};
