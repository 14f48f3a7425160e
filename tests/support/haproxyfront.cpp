#include "haproxyfront.h"

#include "serverprocess.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QStandardPaths>
#include <QTcpSocket>

QString HaproxyFront::program()
{
    return QStandardPaths::findExecutable(QStringLiteral("haproxy"), {"/usr/sbin", "/usr/local/sbin"});
}

HaproxyFront::HaproxyFront(const QList<quint16> &servers)
    : m_servers(servers)
{
    m_process.setProcessChannelMode(QProcess::MergedChannels);
    tieToTest(m_process);
}

HaproxyFront::~HaproxyFront()
{
    if (m_process.state() != QProcess::NotRunning) {
        m_process.kill();
        m_process.waitForFinished(30000);
    }
}

bool HaproxyFront::start()
{
    m_port = freeLoopbackPort();
    // As docs/operations.md has it, on loopback ports.
    QString config = QStringLiteral("defaults\n"
                                    "  mode tcp\n"
                                    "  timeout connect 500ms\n"
                                    "  timeout client 11m\n"
                                    "  timeout server 11m\n"
                                    "  retries 3\n"
                                    "  option redispatch 1\n"
                                    "  default-server inter 1s fastinter 250ms downinter 2s fall 2 rise 2"
                                    " on-marked-down shutdown-sessions\n"
                                    "frontend ledger\n"
                                    "  bind 127.0.0.1:%1\n"
                                    "  default_backend acc00420\n"
                                    "backend acc00420\n"
                                    "  balance roundrobin\n")
                         .arg(m_port);
    for (int i = 0; i < m_servers.size(); ++i)
        config += QStringLiteral("  server app%1 127.0.0.1:%2 check\n").arg(i + 1).arg(m_servers.at(i));
    QFile file(m_dir.filePath(QStringLiteral("haproxy.cfg")));
    if (!file.open(QIODevice::WriteOnly) || file.write(config.toUtf8()) < 0)
        return false;
    file.close();
    m_process.start(program(), {"-db", "-f", file.fileName()});
    const QDeadlineTimer deadline(30000);
    while (m_process.state() != QProcess::NotRunning && !deadline.hasExpired()) {
        QTcpSocket probe;
        probe.connectToHost(QHostAddress::LocalHost, m_port);
        if (probe.waitForConnected(200))
            return true;
        m_process.waitForFinished(100);
    }
    return false;
}

QString HaproxyFront::output()
{
    return QString::fromLocal8Bit(m_process.readAll());
}
