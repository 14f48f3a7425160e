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
    for (const char *derived : {"VRSALDOCONS", "VRSALDPECONS", "DTRECMOVCLIE", "CDOPERRECA"})
        row.remove(QLatin1String(derived));
    return row;
}

void appendToChain(const QSqlDatabase &db, const QString &client, const Actor &who, const QString &operation,
                   const QString &number, const QJsonObject &data)
{
    run(db, QStringLiteral("INSERT INTO NUMMOVCLIE (CDCLIENTE, NRULTMOV) VALUES (?, 0)"
                           " ON CONFLICT (CDCLIENTE) DO UPDATE SET NRULTMOV = NUMMOVCLIE.NRULTMOV"),
        {client}, "travar a conta");
    ChainEntry e;
    QSqlQuery head = run(db, QStringLiteral("SELECT NRSEQ, DSHASH FROM CADEIA WHERE CDCLIENTE = ? ORDER BY NRSEQ DESC LIMIT 1"),
                         {client}, "ler a cadeia");
    if (head.next()) {
        e.sequence = head.value(0).toLongLong() + 1;
        e.previous = head.value(1).toString();
    } else {
        e.sequence = 1;
        e.previous = chainOrigin(client);
    }
    head.finish();
    e.moment = QDateTime::currentMSecsSinceEpoch();
    e.operatorCode = who.operatorCode;
    e.terminal = who.terminal;
    e.operation = operation;
    e.number = number;
    e.data = canonicalJson(data);
    e.hash = chainHash(client, e);
    run(db, QStringLiteral("INSERT INTO CADEIA (CDCLIENTE, NRSEQ, DTENTRADA, CDOPERADOR, CDTERMINAL, DSOPERACAO, NRSEQMOVCLI,"
                           " DSDADOS, DSHASHANT, DSHASH) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"),
        {client, e.sequence, e.moment, e.operatorCode, e.terminal, e.operation, e.number, QString::fromUtf8(e.data),
         e.previous, e.hash},
        "gravar a cadeia");
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
