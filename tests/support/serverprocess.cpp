#include "serverprocess.h"

#include <QFile>

#include <QDeadlineTimer>
#include <QTcpServer>

#include <csignal>
#include <sys/prctl.h>

quint16 freeLoopbackPort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

void tieToTest(QProcess &process)
{
    process.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
}

ServerProcess::ServerProcess(QString program, QString database, QStringList options)
    : m_program(std::move(program))
    , m_database(std::move(database))
    , m_options(std::move(options))
{
    m_process.setProcessChannelMode(QProcess::MergedChannels);
    tieToTest(m_process);
    QObject::connect(&m_process, &QProcess::readyRead, [this] {
        m_output += QString::fromLocal8Bit(m_process.readAll());
    });
}

ServerProcess::~ServerProcess()
{
    kill();
}

bool ServerProcess::start()
{
    // The port is free when picked, not always when the server binds it: then another one.
    for (int attempt = 0; attempt < 5; ++attempt) {
        m_port = freeLoopbackPort();
        m_output.clear();
        // No database: the one its settings file names.
        const QStringList database = m_database.isEmpty() ? QStringList() : QStringList{"--database=" + m_database};
        m_process.start(m_program, database + QStringList{"--port=" + QString::number(m_port)} + m_options);
        const QDeadlineTimer deadline(60000);
        while (!m_output.contains(QLatin1String(" ouvindo em ")) && m_process.state() != QProcess::NotRunning
               && !deadline.hasExpired())
            m_process.waitForReadyRead(100);
        if (m_output.contains(QLatin1String(" ouvindo em ")))
            return true;
        kill();
        if (!m_output.contains(QLatin1String("escutar")))
            return false;
    }
    return false;
}

int ServerProcess::connections() const
{
    QFile table(QStringLiteral("/proc/net/tcp"));
    if (!table.open(QIODevice::ReadOnly))
        return 0;
    // "sl local_address rem_address st ...": ours on 127.0.0.1:port, 01 for established.
    const QByteArray local = "0100007F:" + QByteArray::number(m_port, 16).toUpper().rightJustified(4, '0');
    int count = 0;
    for (const QByteArray &line : table.readAll().split('\n')) {
        const QList<QByteArray> columns = line.simplified().split(' ');
        if (columns.size() > 3 && columns.at(1) == local && columns.at(3) == "01")
            ++count;
    }
    return count;
}

void ServerProcess::kill()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.kill();
    m_process.waitForFinished(30000);
}

CommandRun runServerCommand(const QString &program, const QString &database, const QStringList &args,
                            const QByteArray &input)
{
    QProcess p;
    tieToTest(p);
    p.start(program, QStringList{"--database=" + database} + args);
    p.write(input);
    p.closeWriteChannel();
    p.waitForFinished(60000);
    return {p.exitCode(), QString::fromUtf8(p.readAllStandardOutput()), QString::fromUtf8(p.readAllStandardError())};
}
