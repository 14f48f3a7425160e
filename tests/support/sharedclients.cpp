#include "sharedclients.h"

#include <framework/data/dbgeral.h>

#include <QSqlError>
#include <QSqlQuery>

#include <stdexcept>

void createSharedClients(const QString &file)
{
    fw::dtmDBGeral().open(file);
    QSqlQuery q(fw::dtmDBGeral().database());
    for (const QString &sql : {
             QStringLiteral("CREATE TABLE CLIENTE (CDCLIENTE VARCHAR(21), NRINSJURCLIE VARCHAR(20),"
                            " IDTPIJURCLIE CHAR(1), NMFANTCLIE VARCHAR(50))"),
             QStringLiteral("CREATE TABLE CLIENFILIAL (CDFILIAL VARCHAR(4), CDCLIENTE VARCHAR(21))"),
             "INSERT INTO CLIENTE VALUES ('" + C1 + "', '" + CPF + "', 'F', 'João Batista'),"
             " ('000000000000000000009', '39053344705', 'F', 'Só na filial 2')",
             "INSERT INTO CLIENFILIAL VALUES ('0001', '" + C1 + "'), ('0002', '000000000000000000009')"}) {
        if (!q.exec(sql))
            throw std::runtime_error(q.lastError().text().toStdString());
    }
}
