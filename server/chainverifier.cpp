#include "chainverifier.h"

#include "chain.h"
#include "storage.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>

#include <map>

namespace server {
namespace {

QString text(const QJsonValue &value)
{
    return QString::fromUtf8(QJsonDocument(QJsonArray{value}).toJson(QJsonDocument::Compact).chopped(1).mid(1));
}

// Whether a stored value is the one the chain holds: numbers by value, the rest as they are.
bool same(const QJsonValue &stored, const QJsonValue &chained)
{
    if (stored.isDouble() && chained.isDouble())
        return stored.toInteger(-1) == chained.toInteger(-2) || stored.toDouble() == chained.toDouble();
    return stored == chained;
}

// One account's check; the first difference, or nothing.
std::optional<QString> verifyAccount(const QSqlDatabase &db, const QString &client, const QJsonObject &digest,
                                     qint64 *entries)
{
    const QString who = QStringLiteral("cliente %1").arg(client);
    std::map<QString, QJsonObject> expected; // movement number → its covered fields, as the chain says
    QJsonObject lastRecalc;
    bool changedSinceRecalc = false;
    QString previous = chainOrigin(client);
    qint64 sequence = 0;
    QSqlQuery chain = run(db, QStringLiteral("SELECT NRSEQ, DTENTRADA, CDOPERADOR, CDTERMINAL, DSOPERACAO, NRSEQMOVCLI, DSDADOS,"
                                             " DSHASHANT, DSHASH FROM CADEIA WHERE CDCLIENTE = ? ORDER BY NRSEQ"),
                          {client}, "ler a cadeia");
    while (chain.next()) {
        ChainEntry e{chain.value(0).toLongLong(), chain.value(1).toLongLong(), chain.value(2).toString(),
                     chain.value(3).toString(), chain.value(4).toString(), chain.value(5).toString(),
                     chain.value(6).toString().toUtf8(), chain.value(7).toString(), chain.value(8).toString()};
        ++*entries;
        if (e.sequence != ++sequence)
            return QStringLiteral("%1, entrada %2 da cadeia: falta (veio a %3)").arg(who).arg(sequence).arg(e.sequence);
        if (e.previous != previous)
            return QStringLiteral("%1, entrada %2 da cadeia: não segue a anterior").arg(who).arg(e.sequence);
        if (chainHash(client, e) != e.hash)
            return QStringLiteral("%1, entrada %2 da cadeia: alterada (o resumo não confere)").arg(who).arg(e.sequence);
        previous = e.hash;
        const QJsonObject data = QJsonDocument::fromJson(e.data).object();
        if (e.operation == QLatin1String("seal")) {
            for (const QJsonValue &m : data.value(QStringLiteral("LANCAMENTOS")).toArray())
                expected[m.toObject().value(QStringLiteral("NRSEQMOVCLI")).toString()] = m.toObject();
            changedSinceRecalc = true;
        } else if (e.operation == QLatin1String("delete")) {
            expected.erase(e.number);
            changedSinceRecalc = true;
        } else if (e.operation == QLatin1String("recalc")) {
            lastRecalc = data;
            changedSinceRecalc = false;
        } else if (!e.number.isEmpty()) {
            expected[e.number] = data;
            changedSinceRecalc = true;
        }
    }
    chain.finish();
    const QJsonObject head = digest.value(QStringLiteral("contas")).toObject().value(client).toObject();
    if (!head.isEmpty()) {
        const qint64 at = head.value(QStringLiteral("seq")).toInteger();
        QSqlQuery kept = run(db, QStringLiteral("SELECT DSHASH FROM CADEIA WHERE CDCLIENTE = ? AND NRSEQ = ?"), {client, at},
                             "ler a cadeia");
        if (!kept.next() || kept.value(0).toString() != head.value(QStringLiteral("hash")).toString())
            return QStringLiteral("%1, entrada %2 da cadeia: não estende mais o resumo guardado (entradas recentes apagadas ou "
                                  "reescritas)").arg(who).arg(at);
    }

    // The stored movements against the chain, in the balance order, recalculating as it goes.
    QSqlQuery rows = run(db, QStringLiteral("SELECT * FROM MOVICLIE WHERE CDCLIENTE = ? ORDER BY DTMOVCLI, NRSEQMOVCLI"), {client},
                         "ler os lançamentos");
    const bool checkBalances = !lastRecalc.isEmpty() && !changedSinceRecalc;
    const qint64 recalcStart = lastRecalc.value(QStringLiteral("DTINICIO")).toInteger();
    qint64 company = 0, personal = 0;
    std::map<QString, QJsonObject> seen;
    std::optional<QString> balance; // told after what the chain itself says is missing
    while (rows.next()) {
        const QJsonObject row = rowJson(rows);
        const QString number = row.value(QStringLiteral("NRSEQMOVCLI")).toString();
        const auto it = expected.find(number);
        if (it == expected.end())
            return QStringLiteral("%1, lançamento %2: não consta da cadeia (incluído fora do servidor)").arg(who, number);
        const QJsonObject stored = chainedFields(row);
        for (auto f = it->second.constBegin(); f != it->second.constEnd(); ++f) {
            if (!same(stored.value(f.key()), f.value()))
                return QStringLiteral("%1, lançamento %2, campo %3: gravado %4, a cadeia diz %5")
                    .arg(who, number, f.key(), text(stored.value(f.key())), text(f.value()));
        }
        for (auto f = stored.constBegin(); f != stored.constEnd(); ++f) {
            if (!it->second.contains(f.key()))
                return QStringLiteral("%1, lançamento %2, campo %3: não consta da cadeia").arg(who, number, f.key());
        }
        seen[number] = stored;
        const QString type = row.value(QStringLiteral("IDTIPMOCVLI")).toString();
        const int sign = type == QLatin1String("C") ? 1 : (type == QLatin1String("D") || type == QLatin1String("A")) ? -1 : 0;
        company += sign * row.value(QStringLiteral("VRMOVCLI")).toInteger();
        personal += sign * row.value(QStringLiteral("VRMOVPESCONS")).toInteger();
        if (checkBalances && !balance && row.value(QStringLiteral("DTMOVCLI")).toInteger() >= recalcStart) {
            for (const auto &[field, value] : {std::pair{"VRSALDOCONS", company}, std::pair{"VRSALDPECONS", personal}}) {
                if (!balance && row.value(QLatin1String(field)).toInteger() != value)
                    balance = QStringLiteral("%1, lançamento %2, campo %3: gravado %4, o recálculo dá %5")
                        .arg(who, number, QLatin1String(field)).arg(row.value(QLatin1String(field)).toInteger()).arg(value);
            }
        }
    }
    for (const auto &[number, fields] : expected) {
        if (!seen.count(number))
            return QStringLiteral("%1, lançamento %2: apagado fora do servidor").arg(who, number);
    }
    return balance;
}

QStringList accountsOf(const QSqlDatabase &db, const QString &client)
{
    QStringList clients;
    QSqlQuery q = client.isEmpty()
        ? run(db, QStringLiteral("SELECT CDCLIENTE FROM CLIENTE ORDER BY CDCLIENTE"), {}, "ler os clientes")
        : run(db, QStringLiteral("SELECT CDCLIENTE FROM CLIENTE WHERE CDCLIENTE = ?"), {client}, "ler o cliente");
    while (q.next())
        clients << q.value(0).toString();
    return clients;
}

} // namespace

ChainReport verifyChains(const QSqlDatabase &db, const QString &client, const std::optional<QJsonObject> &digest)
{
    ChainReport report;
    const QJsonObject recorded = digest.value_or(QJsonObject());
    for (const QString &account : accountsOf(db, client)) {
        ++report.accounts;
        report.difference = verifyAccount(db, account, recorded, &report.entries);
        if (report.difference)
            return report;
    }
    // A digest's account whose chain is gone altogether.
    for (const QString &account : recorded.value(QStringLiteral("contas")).toObject().keys()) {
        if ((client.isEmpty() || account == client) && accountsOf(db, account).isEmpty())
            report.difference = QStringLiteral("cliente %1: a cadeia do resumo guardado não existe mais").arg(account);
    }
    return report;
}

QJsonObject chainDigest(const QSqlDatabase &db)
{
    QJsonObject heads;
    QCryptographicHash root(QCryptographicHash::Sha256);
    QSqlQuery q = run(db, QStringLiteral("SELECT C.CDCLIENTE, C.NRSEQ, C.DSHASH FROM CADEIA C WHERE C.NRSEQ ="
                                         " (SELECT MAX(NRSEQ) FROM CADEIA L WHERE L.CDCLIENTE = C.CDCLIENTE) ORDER BY C.CDCLIENTE"),
                      {}, "ler as cadeias");
    while (q.next()) {
        heads.insert(q.value(0).toString(), QJsonObject{{QStringLiteral("seq"), q.value(1).toLongLong()},
                                                        {QStringLiteral("hash"), q.value(2).toString()}});
        root.addData(QStringLiteral("%1:%2:%3\n").arg(q.value(0).toString()).arg(q.value(1).toLongLong()).arg(q.value(2).toString()).toUtf8());
    }
    return {{QStringLiteral("contas"), heads}, {QStringLiteral("raiz"), QString::fromLatin1(root.result().toHex())},
            {QStringLiteral("momento"), QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs)}};
}

} // namespace server
