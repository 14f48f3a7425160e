#include "requestlog.h"

#include <QMutex>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <stdexcept>
#include <unistd.h>

namespace server {
namespace {

const char *const LevelNames[] = {"error", "warning", "info", "debug"};

// Standard error is the process's, whichever server writes.
QMutex writing;

struct Running
{
    const RequestLog *log = nullptr;
    quint64 connection = 0;
    const QString *method = nullptr;
};
thread_local Running running;

} // namespace

LogLevel parseLogLevel(const QString &text)
{
    for (int i = 0; i < int(std::size(LevelNames)); ++i) {
        if (text == QLatin1String(LevelNames[i]))
            return LogLevel(i);
    }
    throw std::invalid_argument(
        QStringLiteral("nível de log \"%1\" desconhecido; use error, warning, info ou debug").arg(text).toStdString());
}

void RequestLog::write(LogLevel level, const QString &fields) const
{
    if (!enabled(level))
        return;
    // The C library's clock and zone: Qt's local time with its offset costs ten times as much,
    // and a line goes out at every request.
    timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    tm local;
    localtime_r(&now.tv_sec, &local);
    char stamp[48];
    const size_t length = std::strftime(stamp, sizeof stamp, "%Y-%m-%dT%H:%M:%S", &local);
    const long offset = local.tm_gmtoff / 60;
    std::snprintf(stamp + length, sizeof stamp - length, ".%03ld%c%02ld:%02ld ", now.tv_nsec / 1000000,
                  offset < 0 ? '-' : '+', std::labs(offset) / 60, std::labs(offset) % 60);
    QByteArray line(stamp);
    line += LevelNames[int(level)];
    line += ' ';
    const qsizetype start = line.size();
    line += fields.toUtf8();
    // A line break in a detail (a database's message has them) would start a line of its own.
    char *const text = line.data();
    for (qsizetype i = start; i < line.size(); ++i) {
        if (uchar(text[i]) < 0x20)
            text[i] = ' ';
    }
    line += '\n';
    const QMutexLocker lock(&writing);
    for (qsizetype done = 0; done < line.size();) {
        const ssize_t n = ::write(STDERR_FILENO, line.constData() + done, size_t(line.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return; // nowhere to write: the server goes on
        done += n;
    }
}

RequestLog::During::During(const RequestLog &log, quint64 connection, const QString &method)
{
    running = {&log, connection, &method};
}

RequestLog::During::~During()
{
    running = {};
}

void logFailure(const QString &detail)
{
    if (running.log)
        running.log->write(LogLevel::Error, QStringLiteral("conn=%1 method=%2 %3").arg(running.connection).arg(*running.method, detail));
    else
        qWarning("acc00420-server: %s", qUtf8Printable(detail));
}

QString logName(const QString &name)
{
    constexpr qsizetype Longest = 64;
    QString shown = name.left(Longest);
    for (QChar &c : shown) {
        if (!c.isLetterOrNumber() && c != u'.' && c != u'_' && c != u'-')
            c = u'?';
    }
    return shown;
}

} // namespace server
