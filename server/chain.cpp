#include "chain.h"

#include "storage.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QJsonDocument>
#include <QJsonArray>
#include <QJsonObject>
#include <QSqlError>
#include <QSqlRecord>

namespace server {

QString chainOrigin(const QString &client)
{
    return sha256Hex("acc00420-cadeia:" + client.toUtf8());
}

QString chainHash(const QString &client, const ChainEntry &e)
{
    return sha256Hex(chainHashedBytes({client.toUtf8(), QByteArray::number(e.sequence), QByteArray::number(e.moment),
                                       e.operatorCode.toUtf8(), e.terminal.toUtf8(), e.operation.toUtf8(), e.number.toUtf8(),
                                       e.previous.toUtf8()},
                                      e.data));
}

QByteArray chainHashedBytes(std::initializer_list<QByteArrayView> lines, QByteArrayView data)
{
    qsizetype size = data.size();
    for (const QByteArrayView line : lines)
        size += line.size() + 1;
    QByteArray bytes;
    bytes.reserve(size);
    for (const QByteArrayView line : lines)
        bytes.append(line).append('\n');
    return bytes.append(data);
}

QString sha256Hex(QByteArrayView bytes)
{
    return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex());
}

QByteArray canonicalJson(const QJsonObject &object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact); // QJsonObject keeps its keys sorted
}

QJsonObject rowJson(const QSqlQuery &q)
{
    QJsonObject row;
    const QSqlRecord r = q.record();
    for (int i = 0; i < r.count(); ++i)
        row.insert(r.fieldName(i).toUpper(), q.isNull(i) ? QJsonValue(QJsonValue::Null) : QJsonValue::fromVariant(q.value(i)));
    return row;
}

QJsonObject chainedFields(QJsonObject row)
{
    for (const char *derived : {"VRSALDOCONS", "VRSALDPECONS", "DTRECMOVCLIE", "CDOPERRECA", "NRVERSAO"})
        row.remove(QLatin1String(derived));
    return row;
}

namespace {

bool onPostgres(const QSqlDatabase &db)
{
    return db.driverName() == QLatin1String("QPSQL");
}

// A statement preceded by another on PostgreSQL, in one round trip; on its own elsewhere,
// after it.
QString withAlongside(const QSqlDatabase &db, const QString &sql, QVariantList &values, const Alongside &alongside)
{
    if (alongside.sql.isEmpty())
        return sql;
    if (!onPostgres(db)) {
        run(db, alongside.sql, alongside.values, "gravar o histórico");
        return sql;
    }
    values = alongside.values + values;
    return sql.startsWith(QLatin1String("WITH ")) ? QStringLiteral("WITH alongside AS (%1), %2").arg(alongside.sql, sql.mid(5))
                                                  : QStringLiteral("WITH alongside AS (%1) %2").arg(alongside.sql, sql);
}

} // namespace

ChainHead lockChain(const QSqlDatabase &db, const QString &client, const Alongside &alongside)
{
    // On SQLite the write transaction is the lock already. On PostgreSQL a wait for the lock
    // ends with the row as the writer before left it.
    QVariantList values{client};
    const QString lock = withAlongside(db,
                                       QStringLiteral("SELECT NRSEQCADEIA, DSHASHCADEIA FROM NUMMOVCLIE WHERE CDCLIENTE = ?")
                                           + (onPostgres(db) ? QStringLiteral(" FOR UPDATE") : QString()),
                                       values, alongside);
    QSqlQuery head = run(db, lock, values, "travar a conta");
    if (!head.next()) {
        // An account never numbered (rows written without the ledger) gets its counter row now.
        head.finish();
        head = run(db, QStringLiteral("INSERT INTO NUMMOVCLIE (CDCLIENTE, NRULTMOV) VALUES (?, 0)"
                                      " ON CONFLICT (CDCLIENTE) DO UPDATE SET NRULTMOV = NUMMOVCLIE.NRULTMOV"
                                      " RETURNING NRSEQCADEIA, DSHASHCADEIA"),
                   {client}, "travar a conta");
        head.next();
    }
    return {head.value(0).toLongLong(), head.value(1).toString()};
}

QString lockingWith()
{
    return QStringLiteral("WITH chainhead AS (SELECT NRSEQCADEIA, DSHASHCADEIA FROM NUMMOVCLIE WHERE CDCLIENTE = ? FOR UPDATE) ");
}

QString headColumns()
{
    return QStringLiteral("(SELECT NRSEQCADEIA FROM chainhead) AS CHAINSEQ, (SELECT DSHASHCADEIA FROM chainhead) AS CHAINHASH");
}

std::optional<ChainHead> lockedHead(QJsonObject &row)
{
    const QJsonValue sequence = row.take(QStringLiteral("CHAINSEQ")), hash = row.take(QStringLiteral("CHAINHASH"));
    if (sequence.isNull() || sequence.isUndefined())
        return std::nullopt; // no lock row
    return ChainHead{sequence.toInteger(), hash.toString()};
}

void appendToChain(const QSqlDatabase &db, const QString &client, const Actor &who, const QString &operation,
                   const QString &number, const QJsonObject &data, const Alongside &alongside)
{
    appendToChain(db, client, lockChain(db, client, alongside), who, operation, number, data);
}

void appendToChain(const QSqlDatabase &db, const QString &client, const ChainHead &head, const Actor &who,
                   const QString &operation, const QString &number, const QJsonObject &data, const Alongside &alongside)
{
    ChainEntry e;
    e.sequence = head.sequence + 1;
    e.previous = e.sequence == 1 ? chainOrigin(client) : head.hash;
    e.moment = QDateTime::currentMSecsSinceEpoch();
    e.operatorCode = who.operatorCode;
    e.terminal = who.terminal;
    e.operation = operation;
    e.number = number;
    e.data = canonicalJson(data);
    e.hash = chainHash(client, e);
    const QString append = QStringLiteral("INSERT INTO CADEIA (CDCLIENTE, NRSEQ, DTENTRADA, CDOPERADOR, CDTERMINAL, DSOPERACAO,"
                                          " NRSEQMOVCLI, DSDADOS, DSHASHANT, DSHASH) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");
    const QString moveHead = QStringLiteral("UPDATE NUMMOVCLIE SET NRSEQCADEIA = ?, DSHASHCADEIA = ? WHERE CDCLIENTE = ?");
    const QVariantList entry{client, e.sequence, e.moment, e.operatorCode, e.terminal, e.operation, e.number,
                             QString::fromUtf8(e.data), e.previous, e.hash};
    const QVariantList newHead{e.sequence, e.hash, client};
    // A sequence already taken (the head changed behind the server's back) fails the change.
    if (onPostgres(db)) {
        QVariantList values = newHead + entry;
        run(db, withAlongside(db, QStringLiteral("WITH head AS (%1) %2").arg(moveHead, append), values, alongside), values,
            "gravar a cadeia");
    } else {
        if (!alongside.sql.isEmpty())
            run(db, alongside.sql, alongside.values, "gravar o histórico");
        run(db, append, entry, "gravar a cadeia");
        run(db, moveHead, newHead, "gravar a cadeia");
    }
}

void sealAccounts(const QSqlDatabase &db)
{
    // One account at a time: a large ledger is never held whole in memory.
    QStringList clients;
    QSqlQuery unchained = run(db, QStringLiteral("SELECT DISTINCT CDCLIENTE FROM MOVICLIE M WHERE NOT EXISTS (SELECT 1 FROM CADEIA C"
                                                 " WHERE C.CDCLIENTE = M.CDCLIENTE) ORDER BY CDCLIENTE"),
                              {}, "ler as contas");
    while (unchained.next())
        clients << unchained.value(0).toString();
    unchained.finish();
    for (const QString &client : std::as_const(clients)) {
        QSqlQuery rows(db);
        rows.setForwardOnly(true);
        rows.prepare(QStringLiteral("SELECT * FROM MOVICLIE WHERE CDCLIENTE = ? ORDER BY NRSEQMOVCLI"));
        rows.addBindValue(client);
        if (!rows.exec())
            failDatabase("ler os lançamentos", rows.lastError().text());
        QJsonArray movements;
        while (rows.next())
            movements.append(chainedFields(rowJson(rows)));
        rows.finish();
        appendToChain(db, client, Actor{{}, QStringLiteral("selagem")}, QStringLiteral("seal"), {},
                      QJsonObject{{QStringLiteral("LANCAMENTOS"), movements}});
    }
}

} // namespace server
