#include "sharedclients.h"

#include <framework/data/database.h>
#include <framework/data/dbgeral.h>

#include <QSqlError>
#include <QSqlQuery>

#include <stdexcept>

void writeShared(const QString &file, const QStringList &statements)
{
    const QString name = QStringLiteral("sharedWriter");
    {
        QSqlDatabase db = fw::openDatabase(file, name);
        QSqlQuery q(db);
        for (const QString &sql : statements) {
            if (!q.exec(sql))
                throw std::runtime_error((sql + ": " + q.lastError().text()).toStdString());
        }
    }
    QSqlDatabase::removeDatabase(name);
}

void createSharedClients(const QString &file)
{
    writeShared(file, {
        QStringLiteral("CREATE TABLE CLIENTE (CDCLIENTE VARCHAR(21), NRINSJURCLIE VARCHAR(20),"
                       " IDTPIJURCLIE CHAR(1), NMFANTCLIE VARCHAR(50))"),
        QStringLiteral("CREATE TABLE CLIENFILIAL (CDFILIAL VARCHAR(4), CDCLIENTE VARCHAR(21))"),
        QStringLiteral("CREATE TABLE FILIAL (CDFILIAL VARCHAR(4), NMFILIAL VARCHAR(50))"),
        QStringLiteral("INSERT INTO FILIAL VALUES ('0001', 'Matriz Centro')"),
        "INSERT INTO CLIENTE VALUES ('" + C1 + "', '" + CPF + "', 'F', 'João Batista'),"
        " ('000000000000000000009', '39053344705', 'F', 'Só na filial 2')",
        "INSERT INTO CLIENFILIAL VALUES ('0001', '" + C1 + "'), ('0002', '000000000000000000009')"});
    fw::dtmDBGeral().open(file);
}
