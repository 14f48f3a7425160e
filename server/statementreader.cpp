#include "statementreader.h"

#include "rowcursor.h"
#include "storage.h"

namespace server {

std::optional<acc00420::StatementHolder> readStatementHolder(const QSqlDatabase &db, const QString &client, const QString &consumer)
{
    QSqlQuery q = run(db, QStringLiteral("SELECT C.NMFANTCLIE, C.NRINSJURCLIE, C.IDTPIJURCLIE, S.NMCONSUMIDOR FROM CLIENTE C"
                                         " LEFT JOIN CONSUMIDOR S ON S.CDCLIENTE = C.CDCLIENTE AND S.CDCONSUMIDOR = ?"
                                         " WHERE C.CDCLIENTE = ?"),
                      {consumer, client}, "ler o cliente");
    if (!q.next() || (!consumer.isEmpty() && q.isNull(3)))
        return std::nullopt;
    return acc00420::StatementHolder{client, q.value(0).toString(), q.value(1).toString(), q.value(2).toString(), consumer,
                           q.value(3).toString()};
}

QString servingBranches(const QSqlDatabase &db, const QString &client)
{
    QSqlQuery q = run(db, QStringLiteral("SELECT F.NMFILIAL FROM CLIENFILIAL C JOIN FILIAL F ON F.CDFILIAL = C.CDFILIAL"
                                         " WHERE C.CDCLIENTE = ? ORDER BY C.CDFILIAL"),
                      {client}, "ler as filiais do cliente");
    QStringList names;
    while (q.next())
        names << q.value(0).toString();
    return names.join(QStringLiteral(", "));
}

namespace {

const QString MovementColumns = QStringLiteral(
    "SELECT NRSEQMOVCLI, DTMOVCLI, IDTIPMOCVLI, CDCONSUMIDOR, DSHISTMOV, VRMOVCLI, VRMOVPESCONS FROM MOVICLIE");

acc00420::StatementMovement movementAt(RowCursor &rows)
{
    acc00420::StatementMovement m;
    m.number = QString::fromUtf8(rows.text(0));
    m.moment = rows.integer(1);
    m.type = QString::fromUtf8(rows.text(2));
    m.consumer = rows.isNull(3) ? QString() : QString::fromUtf8(rows.text(3));
    m.history = rows.isNull(4) ? QString() : QString::fromUtf8(rows.text(4));
    m.company = rows.integer(5);
    m.personal = rows.integer(6);
    return m;
}

} // namespace

QList<acc00420::StatementMovement> readAccountMovements(const QSqlDatabase &db, const QString &client,
                                                        const QString &consumer)
{
    QList<acc00420::StatementMovement> movements;
    RowCursor rows(db, MovementColumns + QStringLiteral(" WHERE CDCLIENTE = ? AND (COALESCE(?, '') = '' OR CDCONSUMIDOR = ?)"
                                                        " ORDER BY DTMOVCLI, NRSEQMOVCLI"),
                   {client, consumer, consumer}, "ler os lançamentos");
    while (rows.next())
        movements.append(movementAt(rows));
    return movements;
}

std::optional<acc00420::StatementMovement> readMovement(const QSqlDatabase &db, const QString &client, const QString &number)
{
    RowCursor rows(db, MovementColumns + QStringLiteral(" WHERE CDCLIENTE = ? AND NRSEQMOVCLI = ?"), {client, number},
                   "ler o lançamento");
    if (!rows.next())
        return std::nullopt;
    return movementAt(rows);
}

} // namespace server
