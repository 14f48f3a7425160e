#include "chainverifier.h"

#include "chain.h"
#include "storage.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSqlError>
#include <QSqlRecord>

#include <map>
#include <set>

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

    // The stored movements against the chain, in the balance order, recalculating as it goes;
    // read column by column, as the rows of a large account are many.
    QSqlQuery rows(db);
    rows.setForwardOnly(true);
    rows.prepare(QStringLiteral("SELECT * FROM MOVICLIE WHERE CDCLIENTE = ? ORDER BY DTMOVCLI, NRSEQMOVCLI"));
    rows.addBindValue(client);
    if (!rows.exec())
        failDatabase("ler os lançamentos", rows.lastError().text());
    const QSqlRecord record = rows.record();
    QStringList names;
    for (int i = 0; i < record.count(); ++i)
        names << record.fieldName(i).toUpper();
    QJsonObject probe;
    for (const QString &name : std::as_const(names))
        probe.insert(name, QJsonValue());
    const QJsonObject coveredNames = chainedFields(probe);
    const auto column = [&](const char *name) { return int(names.indexOf(QLatin1String(name))); };
    const int number_ = column("NRSEQMOVCLI"), type_ = column("IDTIPMOCVLI"), company_ = column("VRMOVCLI"),
              personal_ = column("VRMOVPESCONS"), date_ = column("DTMOVCLI");
    const std::pair<const char *, int> balances[] = {{"VRSALDOCONS", column("VRSALDOCONS")}, {"VRSALDPECONS", column("VRSALDPECONS")}};
    const bool checkBalances = !lastRecalc.isEmpty() && !changedSinceRecalc;
    const qint64 recalcStart = lastRecalc.value(QStringLiteral("DTINICIO")).toInteger();
    qint64 company = 0, personal = 0;
    std::set<QString> seen;
    std::optional<QString> balance; // told after what the chain itself says is missing
    while (rows.next()) {
        const QString number = rows.value(number_).toString();
        const auto it = expected.find(number);
        if (it == expected.end())
            return QStringLiteral("%1, lançamento %2: não consta da cadeia (incluído fora do servidor)").arg(who, number);
        const QJsonObject &chained = it->second;
        for (int i = 0; i < names.size(); ++i) {
            if (!coveredNames.contains(names.at(i)))
                continue;
            const QJsonValue stored = rows.isNull(i) ? QJsonValue(QJsonValue::Null) : QJsonValue::fromVariant(rows.value(i));
            const auto held = chained.constFind(names.at(i));
            if (held == chained.constEnd())
                return QStringLiteral("%1, lançamento %2, campo %3: não consta da cadeia").arg(who, number, names.at(i));
            if (!same(stored, *held))
                return QStringLiteral("%1, lançamento %2, campo %3: gravado %4, a cadeia diz %5")
                    .arg(who, number, names.at(i), text(stored), text(*held));
        }
        if (chained.size() != coveredNames.size()) {
            for (auto f = chained.constBegin(); f != chained.constEnd(); ++f) {
                if (!coveredNames.contains(f.key()))
                    return QStringLiteral("%1, lançamento %2, campo %3: falta na tabela").arg(who, number, f.key());
            }
        }
        seen.insert(number);
        const QString type = rows.value(type_).toString();
        const int sign = type == QLatin1String("C") ? 1 : (type == QLatin1String("D") || type == QLatin1String("A")) ? -1 : 0;
        company += sign * rows.value(company_).toLongLong();
        personal += sign * rows.value(personal_).toLongLong();
        if (checkBalances && !balance && rows.value(date_).toLongLong() >= recalcStart) {
            for (const auto &[field, at] : balances) {
                const qint64 computed = qstrcmp(field, "VRSALDOCONS") == 0 ? company : personal;
                if (!balance && rows.value(at).toLongLong() != computed)
                    balance = QStringLiteral("%1, lançamento %2, campo %3: gravado %4, o recálculo dá %5")
                        .arg(who, number, QLatin1String(field)).arg(rows.value(at).toLongLong()).arg(computed);
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
