#pragma once

#include <QProcess>
#include <QString>

// Picks a loopback port nobody listens on right now.
quint16 freeLoopbackPort();

// The process is killed when the test ends, even when the test itself dies.
void tieToTest(QProcess &process);

// What one run of an acc00420-server command printed, and how it ended.
struct CommandRun
{
    int status = -1;
    QString out, err;
};
// Runs `program` on `database` with `args`, writing `input` to its standard input.
CommandRun runServerCommand(const QString &program, const QString &database, const QStringList &args,
                            const QByteArray &input = {});

// One acc00420-server process on loopback, started and stopped by the test; it can be killed
// outright and started again on the same database.
class ServerProcess
{
public:
    // An empty database: the one the settings file in `options` names.
    ServerProcess(QString program, QString database, QStringList options = {});
    ~ServerProcess();

    // Starts the server on a free port and waits until it listens; false when it doesn't
    // (what it printed is in output()).
    bool start();
    // SIGKILL: no orderly stop, whatever it was doing.
    void kill();
    quint16 port() const { return m_port; }
    // Connections established to it now, as the system lists them (Linux).
    int connections() const;
    qint64 pid() const { return m_process.processId(); }
    QString output() const { return m_output; }

private:
    QString m_program;
    QString m_database;
    QStringList m_options;
    QProcess m_process;
    quint16 m_port = 0;
    QString m_output;
};
