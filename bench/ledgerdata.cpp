#include "ledgerdata.h"

#include "chain.h"
#include "ledger.h"
#include <framework/data/datapacket.h>
#include "movementfields.h"
#include "rowcursor.h"
#include <framework/data/protocol.h>

#include <QDateTime>
#include <QSqlQuery>

#include <cstdio>

namespace bench {

using namespace server;

const qint64 FirstDay = QDateTime(QDate(2023, 1, 1), QTime(0, 0)).toMSecsSinceEpoch();

QString code(qint64 n, int width)
{
    return QString::number(n).rightJustified(width, u'0');
}

void fillLedger(const Storage &storage, int otherClients)
{
    const QSqlDatabase db = storage.connection();
    if (run(db, QStringLiteral("SELECT 1 FROM CLIENTE")).next()) {
        // A table built before clients were served at a branch, or before the chains (WHERE
        // true: without it SQLite reads the ON CONFLICT as the join's).
        run(db, QStringLiteral("INSERT INTO CLIENFILIAL SELECT '0001', CDCLIENTE FROM CLIENTE WHERE true ON CONFLICT DO NOTHING"));
        sealAccounts(db);
        return;
    }
    std::printf("building a table of %d movements (once)...\n", 100200 + otherClients * 1000);
    std::fflush(stdout);
    Transaction t(db, storage.kind());
    run(db, QStringLiteral("INSERT INTO FILIAL VALUES ('0001', 'Matriz')"));
    run(db, QStringLiteral("INSERT INTO OPERADOR (CDOPERADOR, NMOPERADOR) VALUES ('0007', 'Maria')"));
    QSqlQuery client(db), branch(db), movement(db);
    client.prepare(QStringLiteral("INSERT INTO CLIENTE VALUES (?, '52998224725', 'F', 'Cliente')"));
    // Served at the branch the benchmarks sign in at.
    branch.prepare(QStringLiteral("INSERT INTO CLIENFILIAL VALUES ('0001', ?)"));
    movement.prepare(QStringLiteral(
        "INSERT INTO MOVICLIE (CDCLIENTE, NRSEQMOVCLI, CDFILIAL, CDCONSUMIDOR, VRMOVCLI, DTMOVCLI, DSHISTMOV,"
        " IDTIPMOCVLI, VRMOVPESCONS, DTATUMOVCLIE, CDOPERADOR, DSATUMOVCLIE, TIPO, DTMOVIMCLIE)"
        " VALUES (?, ?, '0001', '000000000000000000001', ?, ?, 'Consumo', ?, 0, ?, '0007',"
        " 'Inclusão de crédito/débito realizada pelo operador.', 'M', ?)"));
    auto add = [&](qint64 clientNumber, qint64 count) {
        client.bindValue(0, code(clientNumber, 21));
        client.exec();
        branch.bindValue(0, code(clientNumber, 21));
        branch.exec();
        for (qint64 i = 0; i < count; ++i) {
            const qint64 when = FirstDay + i * 600000;
            movement.bindValue(0, code(clientNumber, 21));
            movement.bindValue(1, code(i + 1, 10));
            movement.bindValue(2, 500 + i % 3000);
            movement.bindValue(3, when);
            movement.bindValue(4, i % 5 == 0 ? QStringLiteral("C") : QStringLiteral("D"));
            movement.bindValue(5, when);
            movement.bindValue(6, when - when % 86400000);
            movement.exec();
        }
    };
    add(1, 100000);
    add(2, 200);
    for (qint64 c = 3; c < 3 + otherClients; ++c)
        add(c, 1000);
    sealAccounts(db); // written here, not through the ledger: their chains start sealed
    t.commit();
}

QCborArray statementArgs(const QString &client)
{
    return {QString(), QStringLiteral("T"), client, fw::dateTimeToCbor(QDateTime::fromMSecsSinceEpoch(FirstDay))};
}

int queryStatement(const Storage &storage, const QString &client)
{
    const QList<fw::PacketField> fields = acc00420::movementPacketFields();
    RowCursor cursor(storage.connection(), Ledger::statementSql(), {client, FirstDay, QStringLiteral("T"), QString()},
                     nullptr);
    int rows = 0;
    for (; cursor.next(); ++rows) {
        for (int i = 0; i < fields.size(); ++i) {
            if (cursor.isNull(i))
                continue;
            if (fields.at(i).type == fw::FieldType::String)
                cursor.text(i);
            else
                cursor.integer(i);
        }
    }
    return rows;
}

} // namespace bench
