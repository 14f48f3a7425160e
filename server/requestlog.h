#pragma once

#include <QString>

namespace server {

enum class LogLevel { Error, Warning, Info, Debug };

// "error", "warning", "info" or "debug"; throws std::invalid_argument for anything else.
LogLevel parseLogLevel(const QString &text);

// The server's log on standard error (the journal under systemd), docs/operations.md: one line
// per event, "time level fields", each written whole in one write so that lines from worker
// threads never mix. A line below the level is not written; callers on the request path ask
// enabled() before they format one.
class RequestLog
{
public:
    explicit RequestLog(LogLevel level)
        : m_level(level)
    {
    }

    bool enabled(LogLevel level) const { return level <= m_level; }
    void write(LogLevel level, const QString &fields) const;

    // While a request runs on this thread, a failure noted through logFailure() goes to this
    // log under the request's connection and method.
    class During
    {
    public:
        During(const RequestLog &log, quint64 connection, const QString &method);
        ~During();
        During(const During &) = delete;
        During &operator=(const During &) = delete;
    };

private:
    LogLevel m_level;
};

// A failure met by the request running on this thread, with the detail the client is not told;
// outside a request (the account watch, a command) through Qt's warning.
void logFailure(const QString &detail);

// A name the client sent, as a log field: what could pass for another field is replaced.
QString logName(const QString &name);

} // namespace server
