#pragma once

#include <framework/data/database.h>
#include <framework/data/dataexport.h>

#include <QSqlDatabase>

namespace fw {

// The shared database module: the one connection through which screens run their local
// queries, opened by setting the logged-in context's database.
class FW_DATA_EXPORT DtmDBGeral
{
public:
    static constexpr const char *ConnectionName = "dtbGeral";

    // Opens (or reopens) the shared connection; throws DatabaseError.
    void open(const QString &url);
    void close();
    bool isOpen() const;
    QSqlDatabase database() const;
    DatabaseUrl::Kind kind() const { return m_kind; }
    // What the open connection was opened from; empty when none is open.
    QString url() const { return isOpen() ? m_url : QString(); }

private:
    DatabaseUrl::Kind m_kind = DatabaseUrl::Kind::SQLite;
    QString m_url;
};

FW_DATA_EXPORT DtmDBGeral &dtmDBGeral();

} // namespace fw
