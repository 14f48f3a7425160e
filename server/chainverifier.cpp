#include "chainverifier.h"

#include "chain.h"
#include "rowcursor.h"
#include "statement.h"
#include "storage.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSqlError>
#include <QSqlRecord>

#include <future>
#include <vector>

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

// One entry as stored, in UTF-8: the bytes its hash covers (the data last) and what verifying
// reads of it.
struct StoredEntry
{
    qint64 sequence = 0;
    QByteArray operation, number, previous, hash;
    QByteArray hashed;
    qsizetype dataStart = 0;
    QByteArrayView data() const { return QByteArrayView(hashed).sliced(dataStart); }
};

std::vector<StoredEntry> readChain(const QSqlDatabase &db, const QString &client)
{
    std::vector<StoredEntry> chain;
    const QByteArray code = client.toUtf8();
    RowCursor q(db, QStringLiteral("SELECT NRSEQ, DTENTRADA, CDOPERADOR, CDTERMINAL, DSOPERACAO, NRSEQMOVCLI, DSDADOS,"
                                   " DSHASHANT, DSHASH FROM CADEIA WHERE CDCLIENTE = ? ORDER BY NRSEQ"),
                {client}, "ler a cadeia");
    while (q.next()) {
        StoredEntry e;
        e.sequence = q.integer(0);
        e.operation = q.text(4).toByteArray();
        e.number = q.text(5).toByteArray();
        e.previous = q.text(7).toByteArray();
        e.hash = q.text(8).toByteArray();
        const QByteArray moment = QByteArray::number(q.integer(1)), operatorCode = q.text(2).toByteArray(),
                         terminal = q.text(3).toByteArray();
        const QByteArrayView data = q.text(6); // the last read: a view lasts until the next
        e.hashed = chainHashedBytes({code, QByteArray::number(e.sequence), moment, operatorCode, terminal, e.operation,
                                     e.number, e.previous},
                                    data);
        e.dataStart = e.hashed.size() - data.size();
        chain.push_back(std::move(e));
    }
    return chain;
}

// The first difference in the chain itself: a sequence with a gap, an entry that does not
// follow the one before, or one whose hash no longer matches its contents. The hashes are the
// long part; `firstAltered` is where they were found not to match (or -1).
std::optional<QString> chainProblem(const QString &who, const QString &client, const std::vector<StoredEntry> &chain,
                                    qsizetype firstAltered)
{
    QByteArray previous = chainOrigin(client).toLatin1();
    for (qsizetype i = 0; i < qsizetype(chain.size()); ++i) {
        const StoredEntry &e = chain[size_t(i)];
        if (e.sequence != i + 1)
            return QStringLiteral("%1, entrada %2 da cadeia: falta (veio a %3)").arg(who).arg(i + 1).arg(e.sequence);
        if (e.previous != previous)
            return QStringLiteral("%1, entrada %2 da cadeia: não segue a anterior").arg(who).arg(e.sequence);
        if (i == firstAltered)
            return QStringLiteral("%1, entrada %2 da cadeia: alterada (o resumo não confere)").arg(who).arg(e.sequence);
        previous = e.hash;
    }
    return std::nullopt;
}

qsizetype firstAlteredEntry(const std::vector<StoredEntry> &chain)
{
    for (size_t i = 0; i < chain.size(); ++i) {
        if (QCryptographicHash::hash(chain[i].hashed, QCryptographicHash::Sha256).toHex() != chain[i].hash)
            return qsizetype(i);
    }
    return -1;
}

// A seal's movements, each as the canonical bytes it was written in, found without building
// a JSON value for each: the data is the server's own canonical JSON, `{"LANCAMENTOS":[{…},…]}`,
// of flat objects. The views point into `data`. False when it does not read so.
bool sealedMovements(QByteArrayView data, QHash<QByteArray, QByteArray> &into)
{
    static constexpr QByteArrayView Start = "{\"LANCAMENTOS\":[", NumberKey = "\"NRSEQMOVCLI\":\"";
    if (!data.startsWith(Start) || !data.endsWith("]}"))
        return false;
    qsizetype at = Start.size();
    const qsizetype end = data.size() - 2;
    while (at < end) {
        if (data[at] != '{')
            return false;
        qsizetype close = at + 1;
        for (bool inText = false; close < end && (inText || data[close] != '}'); ++close) {
            if (data[close] == '\\')
                ++close; // the escaped character, never the end of a text
            else if (data[close] == '"')
                inText = !inText;
            else if (!inText && (data[close] == '{' || data[close] == '['))
                return false;
        }
        if (close >= end)
            return false;
        const QByteArrayView movement = data.sliced(at, close + 1 - at);
        // A quote within a text is always escaped, so `{"` or `,"` starts a key.
        qsizetype key = movement.indexOf(NumberKey);
        while (key > 0 && movement[key - 1] != '{' && movement[key - 1] != ',')
            key = movement.indexOf(NumberKey, key + 1);
        if (key < 0)
            return false;
        const qsizetype numberStart = key + NumberKey.size(), numberEnd = movement.indexOf('"', numberStart);
        if (numberEnd < 0)
            return false;
        const QByteArrayView number = movement.sliced(numberStart, numberEnd - numberStart);
        if (number.contains('\\'))
            return false;
        into.insert(number.toByteArray(), QByteArray::fromRawData(movement.data(), movement.size()));
        at = close + 1;
        if (at < end && data[at++] != ',')
            return false;
    }
    return true;
}

// What the chain says each movement holds now, its covered fields' canonical bytes by number
// (pointing into the chain's own data), and what it says of the balances.
struct Expected
{
    QHash<QByteArray, QByteArray> movements;
    QJsonObject lastRecalc;
    bool changedSinceRecalc = false;
};

Expected expectedState(const std::vector<StoredEntry> &chain)
{
    Expected x;
    for (const StoredEntry &e : chain) {
        const QByteArray data = QByteArray::fromRawData(e.data().data(), e.data().size());
        if (e.operation == "seal") {
            if (!sealedMovements(data, x.movements)) {
                for (const QJsonValue &m : QJsonDocument::fromJson(data).object().value(QStringLiteral("LANCAMENTOS")).toArray())
                    x.movements.insert(m.toObject().value(QStringLiteral("NRSEQMOVCLI")).toString().toUtf8(),
                                       canonicalJson(m.toObject()));
            }
            x.changedSinceRecalc = true;
        } else if (e.operation == "delete") {
            x.movements.remove(e.number);
            x.changedSinceRecalc = true;
        } else if (e.operation == "recalc") {
            x.lastRecalc = QJsonDocument::fromJson(data).object();
            x.changedSinceRecalc = false;
        } else if (!e.number.isEmpty()) {
            x.movements.insert(e.number, data);
            x.changedSinceRecalc = true;
        }
    }
    return x;
}

// Appends a text as a JSON string, as the chain's canonical encoding writes it: what needs no
// escape in runs, as most texts are whole.
void appendJsonText(QByteArray &out, QByteArrayView text)
{
    static constexpr char Hex[] = "0123456789abcdef";
    out.append('"');
    qsizetype plain = 0; // where the run not yet appended begins
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char c = text[i];
        const auto u = uchar(c);
        if (u >= 0x20 && c != '"' && c != '\\')
            continue;
        out.append(text.sliced(plain, i - plain));
        plain = i + 1;
        out.append('\\');
        switch (c) {
        case '"': out.append('"'); break;
        case '\\': out.append('\\'); break;
        case '\b': out.append('b'); break;
        case '\f': out.append('f'); break;
        case '\n': out.append('n'); break;
        case '\r': out.append('r'); break;
        case '\t': out.append('t'); break;
        default: out.append("u00").append(Hex[u >> 4]).append(Hex[u & 0xf]); break;
        }
    }
    out.append(text.sliced(plain));
    out.append('"');
}

// Where one field differs between a stored movement and what the chain holds for it, read the
// slow way, value by value; nothing when they hold the same (an encoding apart, not a value).
std::optional<QString> fieldDifference(const QSqlDatabase &db, const QString &who, const QString &client,
                                       const QString &number, const QByteArray &chainedBytes)
{
    QSqlQuery q = run(db, QStringLiteral("SELECT * FROM MOVICLIE WHERE CDCLIENTE = ? AND NRSEQMOVCLI = ?"), {client, number},
                      "ler o lançamento");
    q.next();
    const QJsonObject stored = chainedFields(rowJson(q));
    const QJsonObject chained = QJsonDocument::fromJson(chainedBytes).object();
    for (auto f = stored.constBegin(); f != stored.constEnd(); ++f) {
        const auto held = chained.constFind(f.key());
        if (held == chained.constEnd())
            return QStringLiteral("%1, lançamento %2, campo %3: não consta da cadeia").arg(who, number, f.key());
        if (!same(*f, *held))
            return QStringLiteral("%1, lançamento %2, campo %3: gravado %4, a cadeia diz %5")
                .arg(who, number, f.key(), text(*f), text(*held));
    }
    for (auto f = chained.constBegin(); f != chained.constEnd(); ++f) {
        if (!stored.contains(f.key()))
            return QStringLiteral("%1, lançamento %2, campo %3: falta na tabela").arg(who, number, f.key());
    }
    return std::nullopt;
}

// The columns of a movement the chain covers, in the canonical order.
QStringList coveredColumns(const QSqlDatabase &db)
{
    QSqlQuery probe = run(db, QStringLiteral("SELECT * FROM MOVICLIE WHERE 1 = 0"), {}, "ler os lançamentos");
    const QSqlRecord record = probe.record();
    QJsonObject names; // sorted as the canonical encoding sorts them
    for (int i = 0; i < record.count(); ++i)
        names.insert(record.fieldName(i).toUpper(), QJsonValue());
    return chainedFields(names).keys();
}

// The stored movements against what the chain says of them, in the balance order,
// recalculating the running balances as it goes when the chain's last word on them is a
// recalculation. A movement's fields are encoded as the chain encodes them and compared as
// bytes; only those that differ are read again value by value, to name the field.
std::optional<QString> movementProblem(const QSqlDatabase &db, const QString &who, const QString &client,
                                       Expected expected)
{
    QStringList select = coveredColumns(db);
    std::vector<QByteArray> prefixes; // what comes before each value in the encoding
    for (const QString &name : std::as_const(select))
        prefixes.push_back((prefixes.empty() ? "{\"" : ",\"") + name.toUtf8() + "\":");
    const auto column = [&](const char *name) { return int(select.indexOf(QLatin1String(name))); };
    const int number_ = column("NRSEQMOVCLI"), type_ = column("IDTIPMOCVLI"), company_ = column("VRMOVCLI"), personal_ = column("VRMOVPESCONS"),
              date_ = column("DTMOVCLI"), covered = int(select.size());
    select << QStringLiteral("VRSALDOCONS") << QStringLiteral("VRSALDPECONS");
    const bool checkBalances = !expected.lastRecalc.isEmpty() && !expected.changedSinceRecalc;
    const qint64 recalcStart = expected.lastRecalc.value(QStringLiteral("DTINICIO")).toInteger();
    qint64 company = 0, personal = 0;
    std::optional<QString> balance; // told after what the chain itself says is missing
    RowCursor rows(db, QStringLiteral("SELECT %1 FROM MOVICLIE WHERE CDCLIENTE = ? ORDER BY DTMOVCLI, NRSEQMOVCLI")
                           .arg(select.join(QStringLiteral(", "))),
                   {client}, "ler os lançamentos");
    QByteArray encoded;
    while (rows.next()) {
        const QByteArray number = rows.text(number_).toByteArray();
        const auto it = expected.movements.find(number);
        if (it == expected.movements.end())
            return QStringLiteral("%1, lançamento %2: não consta da cadeia (incluído fora do servidor)")
                .arg(who, QString::fromUtf8(number));
        encoded.resize(0); // keeps its room for the next movement
        for (int i = 0; i < covered; ++i) {
            encoded.append(prefixes[size_t(i)]);
            if (rows.isNull(i))
                encoded.append("null");
            else if (rows.isInteger(i))
                encoded.append(rows.text(i));
            else
                appendJsonText(encoded, rows.text(i));
        }
        encoded.append('}');
        if (encoded != *it) {
            if (auto difference = fieldDifference(db, who, client, QString::fromUtf8(number), *it))
                return difference;
        }
        expected.movements.erase(it);
        const int sign = acc00420::balanceSign(QString::fromUtf8(rows.text(type_)));
        company += sign * rows.integer(company_);
        personal += sign * rows.integer(personal_);
        if (checkBalances && !balance && rows.integer(date_) >= recalcStart) {
            for (const auto &[field, at, computed] : {std::tuple{"VRSALDOCONS", covered, company},
                                                      std::tuple{"VRSALDPECONS", covered + 1, personal}}) {
                if (!balance && rows.integer(at) != computed)
                    balance = QStringLiteral("%1, lançamento %2, campo %3: gravado %4, o recálculo dá %5")
                        .arg(who, QString::fromUtf8(number), QLatin1String(field)).arg(rows.integer(at)).arg(computed);
            }
        }
    }
    if (!expected.movements.isEmpty()) {
        QList<QByteArray> missing = expected.movements.keys();
        std::sort(missing.begin(), missing.end());
        return QStringLiteral("%1, lançamento %2: apagado fora do servidor").arg(who, QString::fromUtf8(missing.first()));
    }
    return balance;
}

// One account's check; the first difference, or nothing. The hashes are checked on a thread
// of their own while the movements are compared: the two take about as long.
std::optional<QString> verifyAccount(const QSqlDatabase &db, const QString &client, const QJsonObject &digest,
                                     qint64 *entries)
{
    const QString who = QStringLiteral("cliente %1").arg(client);
    const std::vector<StoredEntry> chain = readChain(db, client);
    *entries += qint64(chain.size());
    std::future<qsizetype> altered = std::async(std::launch::async, [&chain] { return firstAlteredEntry(chain); });
    const std::optional<QString> movements = movementProblem(db, who, client, expectedState(chain));
    if (auto problem = chainProblem(who, client, chain, altered.get()))
        return problem;
    const QJsonObject head = digest.value(QStringLiteral("contas")).toObject().value(client).toObject();
    if (!head.isEmpty()) {
        const qint64 at = head.value(QStringLiteral("seq")).toInteger();
        if (at < 1 || at > qint64(chain.size()) || chain[size_t(at - 1)].hash != head.value(QStringLiteral("hash")).toString().toLatin1())
            return QStringLiteral("%1, entrada %2 da cadeia: não estende mais o resumo guardado (entradas recentes apagadas ou "
                                  "reescritas)").arg(who).arg(at);
    }
    return movements;
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
    // One snapshot: a posting committed while it reads is neither half seen nor taken for a difference.
    const ReadSnapshot snapshot(db);
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
