#include "dbgeral.h"

#include <framework/core/logincontext.h>

namespace fw {
namespace {

// The logged-in context is the one source of the shared database: setting it opens this one.
const bool followsLoginContext = [] {
    setSharedDatabaseOpener([](const QString &database) {
        if (database != dtmDBGeral().url())
            dtmDBGeral().open(database);
    });
    return true;
}();

} // namespace

void DtmDBGeral::open(const QString &url)
{
    close();
    m_kind = DatabaseUrl::parse(url).kind;
    // Screens only read it: their writes go through the application server.
    openDatabase(url, QLatin1String(ConnectionName), Access::ReadOnly);
    m_url = url;
}

void DtmDBGeral::close()
{
    if (!QSqlDatabase::contains(QLatin1String(ConnectionName)))
        return;
    QSqlDatabase::database(QLatin1String(ConnectionName), false).close();
    QSqlDatabase::removeDatabase(QLatin1String(ConnectionName));
}

bool DtmDBGeral::isOpen() const
{
    return QSqlDatabase::contains(QLatin1String(ConnectionName))
        && QSqlDatabase::database(QLatin1String(ConnectionName), false).isOpen();
}

QSqlDatabase DtmDBGeral::database() const
{
    if (!isOpen())
        throw DatabaseError("o banco de dados compartilhado não está aberto");
    return QSqlDatabase::database(QLatin1String(ConnectionName), false);
}

DtmDBGeral &dtmDBGeral()
{
    static DtmDBGeral module;
    return module;
}

} // namespace fw
