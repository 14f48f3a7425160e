#include "database.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QUrl>

namespace fw {

DatabaseUrl DatabaseUrl::parse(const QString &text)
{
    DatabaseUrl url;
    if (text.startsWith(QLatin1String("postgresql://")) || text.startsWith(QLatin1String("postgres://"))) {
        const QUrl u(text);
        if (!u.isValid() || u.path().size() < 2)
            throw DatabaseError(QStringLiteral("URL de banco PostgreSQL inválida: %1").arg(shown(text)).toStdString());
        url.kind = Kind::PostgreSQL;
        url.host = u.host().isEmpty() ? QStringLiteral("127.0.0.1") : u.host();
        url.port = u.port(5432);
        url.user = u.userName();
        url.password = u.password();
        url.name = u.path().mid(1);
        return url;
    }
    url.path = text.startsWith(QLatin1String("sqlite:")) ? text.mid(7) : text;
    if (url.path.isEmpty())
        throw DatabaseError("nenhum banco de dados informado");
    return url;
}

QString DatabaseUrl::shown(const QString &text)
{
    if (!text.startsWith(QLatin1String("postgresql://")) && !text.startsWith(QLatin1String("postgres://")))
        return text;
    // Everything between the scheme and the last '@' is who signs in; only the user goes out.
    const qsizetype start = text.indexOf(QLatin1String("://")) + 3;
    const qsizetype at = text.lastIndexOf(u'@');
    if (at < start)
        return text;
    const QString who = text.mid(start, at - start);
    return text.left(start) + who.section(u':', 0, 0) + text.mid(at);
}

QString DatabaseUrl::driver() const
{
    return kind == Kind::PostgreSQL ? QStringLiteral("QPSQL") : QStringLiteral("QSQLITE");
}

QSqlDatabase openDatabase(const QString &text, const QString &connectionName, Access access)
{
    const DatabaseUrl url = DatabaseUrl::parse(text);
    if (!QSqlDatabase::isDriverAvailable(url.driver()))
        throw DatabaseError(QStringLiteral("o driver %1 do Qt SQL não está instalado").arg(url.driver()).toStdString());
    QSqlDatabase db = QSqlDatabase::addDatabase(url.driver(), connectionName);
    if (url.kind == DatabaseUrl::Kind::PostgreSQL) {
        db.setHostName(url.host);
        db.setPort(url.port);
        db.setUserName(url.user);
        db.setPassword(url.password);
        db.setDatabaseName(url.name);
    } else {
        db.setDatabaseName(url.path);
        db.setConnectOptions(access == Access::ReadOnly ? QStringLiteral("QSQLITE_BUSY_TIMEOUT=10000;QSQLITE_OPEN_READONLY")
                                                        : QStringLiteral("QSQLITE_BUSY_TIMEOUT=10000"));
    }
    if (!db.open()) {
        const QString why = db.lastError().text();
        db = QSqlDatabase();
        QSqlDatabase::removeDatabase(connectionName);
        throw DatabaseError(QStringLiteral("não foi possível abrir o banco %1: %2").arg(DatabaseUrl::shown(text), why).toStdString());
    }
    if (url.kind == DatabaseUrl::Kind::SQLite && access == Access::ReadWrite) {
        QSqlQuery pragma(db);
        pragma.exec(QStringLiteral("PRAGMA journal_mode=WAL"));
        pragma.exec(QStringLiteral("PRAGMA foreign_keys=ON"));
    }
    return db;
}

} // namespace fw
