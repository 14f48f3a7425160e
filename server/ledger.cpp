#include "ledger.h"

#include "access.h"
#include "chain.h"
#include "chainverifier.h"
#include "outcomes.h"

#include <framework/data/datapacket.h>
#include "accountmethods.h"
#include "statement.h"
#include "movementfields.h"
#include "rowcursor.h"
#include <framework/data/protocol.h>

#include <QCborMap>
#include <QCborStreamWriter>
#include <QCborValue>
#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSqlRecord>

#include <cmath>
#include <limits>

namespace server {
namespace {

using fw::DatabaseError;
using fw::FieldType;
using Kind = fw::DatabaseUrl::Kind;

constexpr int MovementNumberWidth = 10;

// The largest amount the ledger keeps: NUMERIC(15,2), whose cents fit a 64-bit integer with
// room for any balance of them that the recalculation checks.
constexpr double MaxAmount = 9999999999999.99;

// A balance that would leave 64 bits is refused, never wrapped.
Refusal balanceOutOfRange()
{
    return Refusal{QStringLiteral("o saldo excede o maior valor representável")};
}

// A sum read as text: PostgreSQL's sums of BIGINT are NUMERIC, exact only as digits.
qint64 storedCents(const QVariant &sum)
{
    bool ok = false;
    const qint64 cents = sum.toString().toLongLong(&ok);
    if (!ok)
        throw balanceOutOfRange();
    return cents;
}

QByteArray okEnvelope(const QCborValue &payload = {})
{
    return fw::encodeEnvelope(true, {}, payload);
}

qint64 msecs(const QCborValue &value)
{
    return fw::dateTimeFromCbor(value)->toMSecsSinceEpoch();
}

// An empty code is no code: stored as null.
QVariant nullable(const QString &text)
{
    return text.isEmpty() ? QVariant(QMetaType(QMetaType::QString)) : QVariant(text);
}

// The rows a query reads, as JSON for the history: null stays null, apart from "".
QJsonArray rowsJson(QSqlQuery &q)
{
    QJsonArray rows;
    while (q.next())
        rows.append(rowJson(q));
    return rows;
}

QString compact(const QJsonValue &value)
{
    return QString::fromUtf8(value.isArray() ? QJsonDocument(value.toArray()).toJson(QJsonDocument::Compact)
                                             : QJsonDocument(value.toObject()).toJson(QJsonDocument::Compact));
}

// The movement as it is stored, for the history; empty when there is none.
QJsonObject movementJson(const QSqlDatabase &db, const QString &client, const QString &number)
{
    QSqlQuery q = run(db, QStringLiteral("SELECT * FROM MOVICLIE WHERE CDCLIENTE = ? AND NRSEQMOVCLI = ?"),
                      {client, number}, "ler o lançamento");
    return q.next() ? rowJson(q) : QJsonObject();
}

// Who acts: the session's operator; a trusted caller without a session (the demo data, the
// tests) names it in the request.
Actor acting(const Actor &actor, const QString &named)
{
    return actor.operatorCode.isEmpty() ? Actor{named, {}} : actor;
}

// The account version a change is about to make: the sequence of its chain entry (none kept:
// no versions either).
qint64 nextVersion(const std::optional<ChainHead> &head)
{
    return head ? head->sequence + 1 : 0;
}

// From the change about to be made on, a screen watching the account reloads its whole
// statement: what changed can no longer be told from the rows' versions.
void markWholeReload(const QSqlDatabase &db, const QString &client, const std::optional<ChainHead> &head)
{
    run(db, QStringLiteral("UPDATE NUMMOVCLIE SET NRVERSAOCOMPLETA = ? WHERE CDCLIENTE = ?"), {nextVersion(head), client},
        "marcar a versão da conta");
}

void remember(const QSqlDatabase &db, const QString &client, const QString &number,
              const char *operation, const Actor &who, const QJsonObject &row, bool chained,
              const std::optional<ChainHead> &locked = std::nullopt)
{
    const Alongside history{
        QStringLiteral("INSERT INTO HISTMOVCLIE (CDCLIENTE, NRSEQMOVCLI, DSOPERACAO, DTHIST, CDOPERADOR, CDTERMINAL, DSDADOS)"
                       " VALUES (?, ?, ?, ?, ?, ?, ?)"),
        {client, number, QLatin1String(operation), QDateTime::currentMSecsSinceEpoch(), nullable(who.operatorCode),
         nullable(who.terminal), compact(row)}};
    if (!chained) {
        run(db, history.sql, history.values, "gravar o histórico");
        return;
    }
    if (locked)
        appendToChain(db, client, *locked, who, QLatin1String(operation), number, chainedFields(row), history);
    else
        appendToChain(db, client, who, QLatin1String(operation), number, chainedFields(row), history);
}

// A change that is not one movement's: a sale's or its receipts' cancellation, an account's
// recalculation.
void rememberAccountChange(const QSqlDatabase &db, const char *object, const QString &key, const char *operation,
                           const Actor &who, const QJsonValue &data, bool chained,
                           const std::optional<ChainHead> &locked = std::nullopt) // the account's, when its change holds it
{
    const Alongside history{
        QStringLiteral("INSERT INTO HISTCONTA (DSOBJETO, DSCHAVE, DSOPERACAO, DTHIST, CDOPERADOR, CDTERMINAL, DSDADOS)"
                       " VALUES (?, ?, ?, ?, ?, ?, ?)"),
        {QLatin1String(object), key, QLatin1String(operation), QDateTime::currentMSecsSinceEpoch(),
         nullable(who.operatorCode), nullable(who.terminal), compact(data)}};
    // The accounts it touches chain it: the recalculated one (its history row in the same round
    // trip, while the recalculation holds the lock), or those whose movements came from the sale.
    if (chained && qstrcmp(object, "SALDOS") == 0) {
        appendToChain(db, key, *locked, who, QStringLiteral("recalc"), {}, data.toObject(), history);
        return;
    }
    run(db, history.sql, history.values, "gravar o histórico");
    if (!chained)
        return;
    const QStringList sale = key.split(u'/');
    QSqlQuery accounts = run(db, QStringLiteral("SELECT DISTINCT CDCLIENTE FROM MOVICLIE WHERE CDFILIAL = ? AND CDCAIXA = ?"
                                                " AND NRSEQVENDA = ? ORDER BY CDCLIENTE"),
                             {sale.value(0), sale.value(1), sale.value(2)}, "ler as contas da venda");
    QStringList clients;
    while (accounts.next())
        clients << accounts.value(0).toString();
    accounts.finish();
    const QJsonObject what{{QStringLiteral("DSOBJETO"), QLatin1String(object)}, {QStringLiteral("DSCHAVE"), key},
                           {QStringLiteral("DSDADOS"), data}};
    for (const QString &client : std::as_const(clients))
        appendToChain(db, client, who, qstrcmp(object, "VENDA") == 0 ? QStringLiteral("sale") : QStringLiteral("receipt"), {},
                      what);
}

QString saleKey(const QString &branch, const QString &till, const QString &sale)
{
    return branch + u'/' + till + u'/' + sale;
}

// ------------------------------------------------------------------------------ movement delta

// One change's values by field name, checked against the ledger's own field sizes and types.
class MovementValues
{
public:
    MovementValues(const fw::Delta &delta, const QList<fw::Value> &values)
        : m_delta(delta)
        , m_values(values)
    {
    }

    fw::Value value(const char *name) const
    {
        const int i = m_delta.indexOf(QLatin1String(name));
        return i < 0 ? fw::Value() : m_values.at(i);
    }
    QString text(const char *name) const
    {
        const fw::Value v = value(name);
        const auto *t = std::get_if<QString>(&v);
        return t ? *t : QString();
    }
    std::optional<double> number(const char *name) const
    {
        const fw::Value v = value(name);
        const auto *d = std::get_if<double>(&v);
        return d ? std::optional<double>(*d) : std::nullopt;
    }
    QVariant moment(const char *name) const
    {
        const fw::Value v = value(name);
        const auto *i = std::get_if<qint64>(&v);
        return i ? QVariant(*i) : QVariant(QMetaType(QMetaType::LongLong));
    }
    QVariant nullableText(const char *name) const
    {
        const fw::Value v = value(name);
        const auto *t = std::get_if<QString>(&v);
        return t && !t->isEmpty() ? QVariant(*t) : QVariant(QMetaType(QMetaType::QString));
    }

private:
    const fw::Delta &m_delta;
    const QList<fw::Value> &m_values;
};

void checkDeltaFields(const fw::Delta &delta)
{
    const QList<fw::PacketField> known = acc00420::movementPacketFields();
    for (const fw::PacketField &f : delta.fields) {
        const auto it = std::find_if(known.cbegin(), known.cend(), [&](const fw::PacketField &k) {
            return k.name.compare(f.name, Qt::CaseInsensitive) == 0;
        });
        if (it == known.cend())
            throw Refusal{QStringLiteral("Campo %1 desconhecido no lançamento.").arg(f.name)};
        if (it->type != f.type)
            throw Refusal{QStringLiteral("Campo %1 deveria ser %2.").arg(f.name, fw::fieldTypeName(it->type))};
    }
    for (const char *required : {"CDCLIENTE", "NRSEQMOVCLI"}) {
        if (delta.indexOf(QLatin1String(required)) < 0)
            throw Refusal{QStringLiteral("O lançamento não traz o campo %1.").arg(QLatin1String(required))};
    }
    // The sizes that count are the ledger's, whatever the sender declared.
    for (const fw::DeltaChange &change : delta.changes) {
        for (const QList<fw::Value> *row : {&change.oldValues, &change.newValues}) {
            for (int i = 0; i < row->size(); ++i) {
                const auto *text = std::get_if<QString>(&row->at(i));
                const fw::PacketField &f = delta.fields.at(i);
                const auto it = std::find_if(known.cbegin(), known.cend(), [&](const fw::PacketField &k) {
                    return k.name.compare(f.name, Qt::CaseInsensitive) == 0;
                });
                if (text && it->size > 0 && text->size() > it->size)
                    throw Refusal{QStringLiteral("%1 aceita no máximo %2 caracteres; vieram %3.")
                                      .arg(it->name).arg(it->size).arg(text->size())};
            }
        }
    }
}

Refusal numberNotHandedOut(const QString &number)
{
    return Refusal{QStringLiteral("NRSEQMOVCLI: o número %1 não foi fornecido pelo servidor para este cliente.").arg(number)};
}

// Why an insert the database did not take was not taken, in what it knows: a refusal, or
// nothing when it is the same insert sent again (already done).
void refuseOrSkipInsert(const QSqlDatabase &db, const MovementValues &v)
{
    const QString client = v.text("CDCLIENTE");
    const QString number = v.text("NRSEQMOVCLI");
    const QString branch = v.text("CDFILIAL");
    const QVariant consumer = v.nullableText("CDCONSUMIDOR");
    QSqlQuery known = run(db, QStringLiteral(
        "SELECT (SELECT NRULTMOV FROM NUMMOVCLIE N WHERE N.CDCLIENTE = C.CDCLIENTE),"
        " CASE WHEN EXISTS (SELECT 1 FROM FILIAL WHERE CDFILIAL = ?) THEN 1 ELSE 0 END,"
        " CASE WHEN EXISTS (SELECT 1 FROM CONSUMIDOR S WHERE S.CDCLIENTE = C.CDCLIENTE AND S.CDCONSUMIDOR = ?) THEN 1 ELSE 0 END,"
        " CASE WHEN EXISTS (SELECT 1 FROM HISTMOVCLIE H WHERE H.CDCLIENTE = C.CDCLIENTE AND H.NRSEQMOVCLI = ?"
        " AND H.DSOPERACAO = 'delete') THEN 1 ELSE 0 END,"
        " M.NRSEQMOVCLI, M.VRMOVCLI, M.VRMOVPESCONS, M.DTMOVCLI"
        " FROM CLIENTE C LEFT JOIN MOVICLIE M ON M.CDCLIENTE = C.CDCLIENTE AND M.NRSEQMOVCLI = ?"
        " WHERE C.CDCLIENTE = ?"),
        {branch, consumer, number, number, client}, "ler o cliente");
    if (!known.next())
        throw Refusal{QStringLiteral("CDCLIENTE: cliente %1 não cadastrado.").arg(client)};
    if (known.isNull(0) || number.toLongLong() > known.value(0).toLongLong())
        throw numberNotHandedOut(number);
    if (known.value(1).toInt() == 0)
        throw Refusal{QStringLiteral("CDFILIAL: filial \"%1\" não cadastrada.").arg(branch)};
    if (!consumer.isNull() && known.value(2).toInt() == 0)
        throw Refusal{QStringLiteral("CDCONSUMIDOR: consumidor %1 não é do cliente.").arg(consumer.toString())};
    if (!known.isNull(4)) {
        // The same insert sent again after its reply was lost: already done.
        if (known.value(5).toLongLong() == toCents(v.number("VRMOVCLI").value_or(0))
            && known.value(6).toLongLong() == toCents(v.number("VRMOVPESCONS").value_or(0))
            && known.value(7).toLongLong() == v.moment("DTMOVCLI").toLongLong())
            return;
        throw Refusal{QStringLiteral("NRSEQMOVCLI: o lançamento %1 já existe com outros valores.").arg(number)};
    }
    if (known.value(3).toInt() != 0)
        return; // sent again after it was already stored and then deleted
    throw DatabaseError("o lançamento não foi gravado; envie-o de novo");
}

void insertMovement(const QSqlDatabase &db, const MovementValues &v, const Actor &actor, bool chained)
{
    const Actor who = acting(actor, v.text("CDOPERADOR"));
    const QString client = v.text("CDCLIENTE");
    const QString number = v.text("NRSEQMOVCLI");
    const QString branch = v.text("CDFILIAL");
    const QVariant consumer = v.nullableText("CDCONSUMIDOR");
    // What the movement alone says is checked here; what the database knows (the client, the
    // number handed out, the branch, the consumer, the movement already stored or deleted) the
    // insert checks as it stores, so an accepted movement costs the database one statement.
    if (number.trimmed().isEmpty())
        throw Refusal{QStringLiteral("NRSEQMOVCLI: o lançamento não tem número. Cancele a inclusão e inclua de novo.")};
    bool numeric = false;
    const qlonglong n = number.toLongLong(&numeric);
    if (!numeric || n < 1)
        throw numberNotHandedOut(number);
    const QString type = v.text("IDTIPMOCVLI");
    if (type != QLatin1String("C") && type != QLatin1String("D") && type != QLatin1String("A"))
        throw Refusal{QStringLiteral("IDTIPMOCVLI: tipo de lançamento \"%1\" inválido.").arg(type)};
    const double company = v.number("VRMOVCLI").value_or(0);
    const double personal = v.number("VRMOVPESCONS").value_or(0);
    for (const auto &[name, amount] : {std::pair{"VRMOVCLI", company}, std::pair{"VRMOVPESCONS", personal}}) {
        if (!(amount >= 0)) // also NaN
            throw Refusal{QStringLiteral("%1: o valor não pode ser negativo.").arg(QLatin1String(name))};
        if (!(amount <= MaxAmount))
            throw Refusal{QStringLiteral("%1: o valor %2 excede o limite de 9.999.999.999.999,99.")
                              .arg(QLatin1String(name), QString::number(amount, 'g', 17))};
    }
    if (toCents(company) == 0 && toCents(personal) == 0)
        throw Refusal{QStringLiteral("VRMOVCLI: o valor do lançamento deve ser maior que zero.")};
    if (v.moment("DTMOVCLI").isNull())
        throw Refusal{QStringLiteral("DTMOVCLI: a data do lançamento deve ser informada.")};
    // The stored row comes back with the insert, for the history; on PostgreSQL the insert also
    // takes the account's lock for the chain.
    const bool locking = chained && db.driverName() == QLatin1String("QPSQL");
    QVariantList values{client, number, branch, consumer, toCents(company), v.moment("DTMOVCLI"), v.nullableText("DSHISTMOV"),
                        type, v.nullableText("NRSEQVENDA"), v.nullableText("CDCAIXA"), v.moment("DTABERCAIX"),
                        v.nullableText("CDTIPORECE"), toCents(personal), v.moment("DTATUMOVCLIE"), nullable(who.operatorCode),
                        v.nullableText("DSATUMOVCLIE"), v.moment("DTMOVIMCLIE")};
    if (locking)
        values.prepend(client);
    // Its version is the chain entry it is about to get: the head read under the lock, which on
    // SQLite the write transaction already holds.
    const QString version = !chained ? QStringLiteral("0")
                            : locking ? QStringLiteral("COALESCE((SELECT NRSEQCADEIA FROM chainhead), 0) + 1")
                                      : QStringLiteral("COALESCE((SELECT NRSEQCADEIA FROM NUMMOVCLIE WHERE CDCLIENTE = ?), 0) + 1");
    if (chained && !locking)
        values.append(client);
    values << client << n << branch;
    if (!consumer.isNull())
        values << client << consumer;
    values << client << number << client << number;
    QSqlQuery stored = run(db, (locking ? lockingWith() : QString())
                               + QStringLiteral("INSERT INTO MOVICLIE (CDCLIENTE, NRSEQMOVCLI, CDFILIAL, CDCONSUMIDOR, VRMOVCLI,"
                                                " DTMOVCLI, DSHISTMOV, IDTIPMOCVLI, NRSEQVENDA, CDCAIXA, DTABERCAIX, CDTIPORECE,"
                                                " VRMOVPESCONS, VRSALDPECONS, VRSALDOCONS, DTATUMOVCLIE, CDOPERADOR, DSATUMOVCLIE,"
                                                " TIPO, DTMOVIMCLIE, NRVERSAO)"
                                                " SELECT ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, 0, 0, ?, ?, ?, 'M', ?, ")
                               + version
                               + QStringLiteral(" WHERE EXISTS (SELECT 1 FROM NUMMOVCLIE WHERE CDCLIENTE = ? AND NRULTMOV >= ?)"
                                                " AND EXISTS (SELECT 1 FROM FILIAL WHERE CDFILIAL = ?)")
                               + (consumer.isNull() ? QString()
                                                    : QStringLiteral(" AND EXISTS (SELECT 1 FROM CONSUMIDOR WHERE CDCLIENTE = ?"
                                                                     " AND CDCONSUMIDOR = ?)"))
                               + QStringLiteral(" AND NOT EXISTS (SELECT 1 FROM MOVICLIE WHERE CDCLIENTE = ? AND NRSEQMOVCLI = ?)"
                                                " AND NOT EXISTS (SELECT 1 FROM HISTMOVCLIE WHERE CDCLIENTE = ? AND NRSEQMOVCLI = ?"
                                                " AND DSOPERACAO = 'delete') RETURNING *")
                               + (locking ? QStringLiteral(", ") + headColumns() : QString()),
                           values, "gravar o lançamento");
    if (!stored.next()) {
        stored.finish();
        refuseOrSkipInsert(db, v);
        return;
    }
    QJsonObject row = rowJson(stored);
    const std::optional<ChainHead> head = locking ? lockedHead(row) : std::nullopt;
    remember(db, client, number, "insert", who, row, chained, head);
}

// Only the observation is the operator's to change in a stored movement; everything else is
// set by the ledger (balances, cancellation) or fixed at entry.
void modifyMovement(const QSqlDatabase &db, const fw::Delta &delta, const fw::DeltaChange &change, const Actor &actor,
                    bool chained)
{
    const MovementValues before(delta, change.oldValues);
    const MovementValues after(delta, change.newValues);
    const QString client = before.text("CDCLIENTE");
    const QString number = before.text("NRSEQMOVCLI");
    for (int i = 0; i < delta.fields.size(); ++i) {
        if (change.oldValues.at(i) != change.newValues.at(i)
            && delta.fields.at(i).name.compare(QLatin1String("DSHISTMOV"), Qt::CaseInsensitive) != 0)
            throw Refusal{QStringLiteral("%1 do lançamento %2 não pode ser alterado.").arg(delta.fields.at(i).name, number)};
    }
    QSqlQuery current = run(db, QStringLiteral("SELECT DSHISTMOV FROM MOVICLIE WHERE CDCLIENTE = ? AND NRSEQMOVCLI = ?"),
                            {client, number}, "ler o lançamento");
    if (!current.next())
        throw Refusal{QStringLiteral("O lançamento %1 não existe mais; recarregue o extrato.").arg(number)};
    const QString stored = current.value(0).toString();
    const QString wanted = after.text("DSHISTMOV");
    if (stored == wanted)
        return; // already applied
    if (stored != before.text("DSHISTMOV"))
        throw Refusal{QStringLiteral("A observação do lançamento %1 foi alterada por outro operador; recarregue o extrato.").arg(number)};
    const std::optional<ChainHead> head = chained ? std::optional(lockChain(db, client)) : std::nullopt;
    run(db, QStringLiteral("UPDATE MOVICLIE SET DSHISTMOV = ?, NRVERSAO = ? WHERE CDCLIENTE = ? AND NRSEQMOVCLI = ?"),
        {after.nullableText("DSHISTMOV"), nextVersion(head), client, number}, "alterar o lançamento");
    remember(db, client, number, "modify", acting(actor, after.text("CDOPERADOR")), movementJson(db, client, number), chained,
             head);
}

void deleteMovement(const QSqlDatabase &db, const MovementValues &v, const Actor &actor, bool chained)
{
    const QString client = v.text("CDCLIENTE");
    const QString number = v.text("NRSEQMOVCLI");
    const QJsonObject row = movementJson(db, client, number);
    if (row.isEmpty())
        return; // already deleted, or never stored: nothing left to do
    const std::optional<ChainHead> head = chained ? std::optional(lockChain(db, client)) : std::nullopt;
    remember(db, client, number, "delete", acting(actor, v.text("CDOPERADOR")), row, chained, head);
    run(db, QStringLiteral("DELETE FROM MOVICLIE WHERE CDCLIENTE = ? AND NRSEQMOVCLI = ?"), {client, number},
        "excluir o lançamento");
    // No row is left to tell a watching screen.
    markWholeReload(db, client, head);
}

} // namespace

QString Ledger::statementSql()
{
    return QStringLiteral(
        "SELECT M.CDCLIENTE, M.NRSEQMOVCLI, M.CDFILIAL, M.CDCONSUMIDOR, M.VRMOVCLI, M.DTMOVCLI,"
        " M.DSHISTMOV, M.IDTIPMOCVLI, M.NRSEQVENDA, M.CDCAIXA, C.NMCONSUMIDOR, M.DTABERCAIX,"
        " M.CDTIPORECE, M.VRMOVPESCONS, M.VRSALDPECONS, M.VRSALDOCONS, M.DTATUMOVCLIE,"
        " M.CDOPERADOR, M.DSATUMOVCLIE, O.NMOPERADOR, M.DTRECMOVCLIE, R.NMOPERADOR, M.TIPO,"
        " M.DTMOVIMCLIE, C.VRPESUBSIDIO, C.VRTETOSUBSID"
        " FROM MOVICLIE M"
        " LEFT JOIN CONSUMIDOR C ON C.CDCLIENTE = M.CDCLIENTE AND C.CDCONSUMIDOR = M.CDCONSUMIDOR"
        " LEFT JOIN OPERADOR O ON O.CDOPERADOR = M.CDOPERADOR"
        " LEFT JOIN OPERADOR R ON R.CDOPERADOR = M.CDOPERRECA"
        " WHERE M.CDCLIENTE = ? AND M.DTMOVCLI >= ? AND (? = 'T' OR M.CDCONSUMIDOR = ?)"
        " ORDER BY M.DTMOVCLI, M.NRSEQMOVCLI");
}

qint64 toCents(double value)
{
    return std::llround(value * 100);
}

double fromCents(qint64 cents)
{
    return double(cents) / 100;
}

Ledger::Ledger(const Storage &storage, Chain chain)
    : m_storage(storage)
    , m_chained(chain == Chain::Kept)
{
}

void Ledger::publish(Dispatcher &d, const Sessions &sessions, const QHash<QString, Dispatcher::Handler> &answeredBeside)
{
    const QHash<QString, Outcome (Ledger::*)(const QCborArray &, const Actor &) const> handlers = {
        {"getMovCliente", &Ledger::getMovCliente},     {"setAtualizaCons", &Ledger::setAtualizaCons},
        {"getConsumidor", &Ledger::getConsumidor},     {"SetMovCliente", &Ledger::SetMovCliente},
        {"getPrxMovClie", &Ledger::getPrxMovClie},     {"setCancelamento", &Ledger::setCancelamento},
        {"setCancelaVenda", &Ledger::setCancelaVenda}, {"setCancelaReceb", &Ledger::setCancelaReceb},
        {"verificaHistorico", &Ledger::verificaHistorico}, {"getMovClienteDesde", &Ledger::getMovClienteDesde},
    };
    for (const fw::MethodSpec &method : acc00420::accountMethods()) {
        const auto own = handlers.value(method.name);
        const Dispatcher::Handler beside = answeredBeside.value(method.name);
        if (!own && !beside)
            continue; // not served here: the dispatcher says the method is unknown
        d.add(QLatin1String(ObjectName), method,
              [this, own, beside, &sessions, name = method.name](const QCborArray &args, Caller &caller) {
                  try {
                      // The client's branch is read in the session check's round trip.
                      const AccessCheck access(name, args);
                      const std::optional<Sessions::AskedAlong> along = access.clientServed(caller);
                      QVariant served;
                      if (auto denied = sessions.admit(caller, along, &served))
                          return *denied;
                      if (const auto why = access.refusal(caller, m_storage.connection(),
                                                          along ? std::optional(served) : std::nullopt))
                          return refused(*why);
                  } catch (const DatabaseError &e) {
                      return refused(QStringLiteral("Falha no banco de dados do servidor: %1.").arg(databaseFailure(e)));
                  }
                  if (name == QLatin1String("getMovCliente"))
                      return getMovCliente(args, caller.replyParts); // the one result large enough to stream
                  return own ? (this->*own)(args, caller.actor()) : beside(args, caller);
              });
    }
}

namespace {

// The statement's rows changed since a version. They are few: found by the version's index,
// then sorted, rather than stepped through the whole account in the statement's order (the
// unary plus keeps the date's range off that index).
QString changedSinceSql()
{
    return Ledger::statementSql()
        .replace(QLatin1String("M.DTMOVCLI >= ?"), QLatin1String("+M.DTMOVCLI >= ?"))
        .replace(QLatin1String(" ORDER BY"), QLatin1String(" AND M.NRVERSAO > ? ORDER BY"));
}

// A streamed statement's first part is about a screenful, so the grid shows it at once; the
// later ones are large enough that a part's frame and head cost nothing beside its rows.
constexpr quint64 FirstPartRows = 200;
constexpr quint64 LaterPartRows = 4096;

// The statement's rows as a data packet's head and rows, written as the cursor steps them.
// Given parts, all but the last rows go out in parts of their own as they are written, each
// with the rows of the whole statement once `countAll` has told them (asked once, after the
// first part has gone).
std::pair<QByteArray, QByteArray> statementPacket(RowCursor &rowsRead, const ReplyParts &parts = {},
                                                  const std::function<quint64()> &countAll = {})
{
    std::optional<quint64> total;
    const QList<fw::PacketField> fields = acc00420::movementPacketFields();
    QByteArray rows;
    quint64 count = 0;
    quint64 partRows = FirstPartRows;
    auto writer = std::make_unique<fw::DataPacketWriter>(&rows, fields.size());
    while (rowsRead.next()) {
        if (parts && count == partRows) {
            writer.reset(); // ends the part's rows
            parts(fw::DataPacketWriter::head(fields, count) + rows, total);
            if (!total && countAll)
                total = countAll();
            rows.resize(0);
            count = 0;
            partRows = LaterPartRows;
            writer = std::make_unique<fw::DataPacketWriter>(&rows, fields.size());
        }
        writer->beginRow();
        for (int i = 0; i < fields.size(); ++i) {
            if (rowsRead.isNull(i)) {
                writer->writeNull();
                continue;
            }
            switch (fields.at(i).type) {
            case FieldType::String: {
                const QByteArrayView text = rowsRead.text(i);
                writer->writeUtf8(text.data(), text.size());
                break;
            }
            case FieldType::Float: writer->writeFloat(fromCents(rowsRead.integer(i))); break;
            case FieldType::DateTime: writer->writeDateTime(rowsRead.integer(i)); break;
            default: writer->writeNull(); break;
            }
        }
        ++count;
    }
    writer.reset();
    return {fw::DataPacketWriter::head(fields, count), rows};
}

} // namespace

Outcome Ledger::getMovCliente(const QCborArray &args, const Actor &) const
{
    return getMovCliente(args, ReplyParts());
}

Outcome Ledger::getMovCliente(const QCborArray &args, const ReplyParts &parts) const
{
    return enveloped([&] {
        const QString consumer = args[0].toString();
        const QString all = args[1].toString();
        const QString client = args[2].toString();
        const QVariant start = msecs(args[3]);
        const QSqlDatabase db = m_storage.connection();
        std::optional<ReadSnapshot> snapshot;
        std::function<quint64()> countAll;
        if (parts) {
            // The count and the rows from one snapshot: the total the client shows is exact.
            snapshot.emplace(db);
            countAll = [&] {
                QSqlQuery counted = run(db, QStringLiteral("SELECT COUNT(*) FROM MOVICLIE M WHERE M.CDCLIENTE = ?"
                                                           " AND M.DTMOVCLI >= ? AND (? = 'T' OR M.CDCONSUMIDOR = ?)"),
                                        {client, start, all, consumer}, "contar o extrato");
                return counted.next() ? counted.value(0).toULongLong() : 0;
            };
            // SQLite counts while the first part travels; PostgreSQL's driver would drop the
            // rows of a query still being read to run another, so it counts first.
            if (m_storage.kind() == Kind::PostgreSQL)
                countAll = [total = countAll()] { return total; };
        }
        RowCursor rowsRead(db, statementSql(), {client, start, all, consumer}, "ler o extrato");
        const auto [head, rows] = statementPacket(rowsRead, parts, countAll);
        return fw::encodeEnvelope(true, {}, {head, rows});
    });
}

Outcome Ledger::getMovClienteDesde(const QCborArray &args, const Actor &) const
{
    return enveloped([&] {
        const QString consumer = args[0].toString();
        const QString all = args[1].toString();
        const QString client = args[2].toString();
        const quint64 since = quint64(args[4].toInteger());
        const QSqlDatabase db = m_storage.connection();
        // The version and the rows it answers for from one snapshot, whatever commits meanwhile.
        const ReadSnapshot snapshot(db);
        QSqlQuery account = run(db, QStringLiteral("SELECT NRSEQCADEIA, NRVERSAOCOMPLETA FROM NUMMOVCLIE WHERE CDCLIENTE = ?"),
                                {client}, "ler a versão da conta");
        const quint64 version = account.next() ? account.value(0).toULongLong() : 0;
        const quint64 wholeBelow = account.isValid() ? account.value(1).toULongLong() : 0;
        account.finish();
        // A version the account never had (another database, a restored one), or one from before
        // a deletion, can't be told apart from the rows: the whole statement comes instead.
        const bool whole = since == 0 || since > version || since < wholeBelow;
        const QVariant start = msecs(args[3]);
        std::optional<RowCursor> rowsRead;
        if (whole)
            rowsRead.emplace(db, statementSql(), std::initializer_list<QVariant>{client, start, all, consumer}, "ler o extrato");
        else
            rowsRead.emplace(db, changedSinceSql(), std::initializer_list<QVariant>{client, start, all, consumer, since},
                             "ler o extrato");
        const auto [head, rows] = statementPacket(*rowsRead);
        QByteArray answer;
        QCborStreamWriter writer(&answer);
        writer.startMap(3);
        writer.append(QLatin1String("versao"));
        writer.append(version);
        writer.append(QLatin1String("completo"));
        writer.append(whole);
        writer.append(QLatin1String("linhas"));
        return fw::encodeEnvelope(true, {}, {answer, head, rows});
    });
}

namespace {

// A movement's value with the balance rule's sign: a credit adds, a debit and a debit
// adjustment subtract, a cancelled movement counts zero.
QString signedValue(const char *column)
{
    return QStringLiteral("CASE IDTIPMOCVLI WHEN 'C' THEN %1 WHEN 'D' THEN -%1 WHEN 'A' THEN -%1 ELSE 0 END")
        .arg(QLatin1String(column));
}

// Where a recalculation's running balances start: after a movement whose stored balances are
// right, carrying them in, or (by default) from the account's first movement, carrying nothing.
struct RunningFrom
{
    qint64 moment = std::numeric_limits<qint64>::min();
    QString number;
    qint64 company = 0, personal = 0;
    qint64 counted = 0; // the movements from the start date up to it

    QVariantList values(const QString &client) const { return {company, personal, client, moment, number}; }
};

// The running balances of every movement after a RunningFrom (its values), in the account's
// index order (no sort): exact on PostgreSQL (NUMERIC), while SQLite's SUM fails at a sum that
// leaves 64 bits.
QString runningBalancesSql()
{
    return QStringLiteral("SELECT NRSEQMOVCLI, DTMOVCLI, VRSALDOCONS, VRSALDPECONS, ? + SUM(%1) OVER w AS COMPANY,"
                          " ? + SUM(%2) OVER w AS PERSONAL FROM MOVICLIE WHERE CDCLIENTE = ? AND (DTMOVCLI, NRSEQMOVCLI) > (?, ?)"
                          " WINDOW w AS (ORDER BY DTMOVCLI, NRSEQMOVCLI ROWS UNBOUNDED PRECEDING)")
        .arg(signedValue("VRMOVCLI"), signedValue("VRMOVPESCONS"));
}

// The running balances R from the start date on that differ from the stored ones (a balance out
// of range always does). Its one value is the start date.
QString differsFromStored()
{
    return QStringLiteral("R.DTMOVCLI >= ? AND (R.VRSALDOCONS <> R.COMPANY OR R.VRSALDPECONS <> R.PERSONAL)");
}

const QString InRange = QStringLiteral("BETWEEN -9223372036854775808 AND 9223372036854775807");

// How many of the running balances (a table or a subquery) are out of range.
QString countOutOfRange(const QString &running)
{
    return QStringLiteral("(SELECT COUNT(*) FROM %1 WHERE NOT (COMPANY %2 AND PERSONAL %2))").arg(running, InRange);
}

// SQLite's SUM stops at a sum that leaves 64 bits with an error of its own: the balance is out
// of range.
template<typename Work>
auto refusingOverflow(Work work)
{
    try {
        return work();
    } catch (const DatabaseError &e) {
        if (QByteArray(e.what()).contains("integer overflow"))
            throw balanceOutOfRange();
        throw;
    }
}

} // namespace

Outcome Ledger::setAtualizaCons(const QCborArray &args, const Actor &actor) const
{
    const QString client = args[1].toString();
    const qint64 start = msecs(args[3]);
    const Actor who = acting(actor, args[4].toString());
    try {
        const QSqlDatabase db = m_storage.connection();
        // On PostgreSQL the recalculations of one account take turns from the start, also across
        // instances: one at a time compares (the others would only find what it is about to
        // rewrite) and the others wait here rather than in the queue for the account's lock,
        // where postings would wait behind all of them. On SQLite the file's write lock already
        // lets one at a time rewrite.
        std::optional<Transaction> transaction;
        if (m_storage.kind() == Kind::PostgreSQL) {
            transaction.emplace(m_storage, db);
            run(db, QStringLiteral("SELECT pg_advisory_xact_lock(hashtextextended(?, 0))"),
                {QStringLiteral("acc00420-recalc:") + client}, "aguardar o recálculo da conta");
        }
        // Then one statement compares the running balances with the stored ones without the
        // account's lock, so postings to the account never wait for it: balances already right
        // end the recalculation there (no version, no chain entry: nothing changes). It also
        // finds the last movement from the start date on whose balances are right before the
        // first that isn't, how many differ of how many the account has, and the account's
        // version it saw.
        QSqlQuery compared = refusingOverflow([&] {
            return run(db, QStringLiteral(
                "WITH running AS (%1),"
                " firstdiffering AS (SELECT DTMOVCLI, NRSEQMOVCLI FROM running R WHERE %2 ORDER BY DTMOVCLI, NRSEQMOVCLI LIMIT 1),"
                " lastright AS (SELECT R.DTMOVCLI, R.NRSEQMOVCLI, R.VRSALDOCONS, R.VRSALDPECONS FROM running R"
                " JOIN firstdiffering F ON (R.DTMOVCLI, R.NRSEQMOVCLI) < (F.DTMOVCLI, F.NRSEQMOVCLI) WHERE R.DTMOVCLI >= ?"
                " ORDER BY R.DTMOVCLI DESC, R.NRSEQMOVCLI DESC LIMIT 1)"
                " SELECT (SELECT COUNT(*) FROM CLIENTE WHERE CDCLIENTE = ?), (SELECT COUNT(*) FROM running R WHERE %2),"
                " %3,"
                " (SELECT NRSEQCADEIA FROM NUMMOVCLIE WHERE CDCLIENTE = ?),"
                " L.DTMOVCLI, L.NRSEQMOVCLI, L.VRSALDOCONS, L.VRSALDPECONS,"
                " (SELECT COUNT(*) FROM running R JOIN lastright L ON (R.DTMOVCLI, R.NRSEQMOVCLI) <= (L.DTMOVCLI, L.NRSEQMOVCLI)"
                " WHERE R.DTMOVCLI >= ?),"
                " (SELECT COUNT(*) FROM running)"
                " FROM (SELECT 1 AS ONE) O LEFT JOIN lastright L ON 1 = 1")
                           .arg(runningBalancesSql(), differsFromStored(), countOutOfRange(QStringLiteral("running"))),
                       RunningFrom().values(client) + QVariantList{start, start, client, start, client, start}, "ler os saldos");
        });
        compared.next();
        if (compared.value(0).toInt() == 0)
            return Outcome::ok(fw::encodeEnvelope(true, QStringLiteral("Cliente %1 não cadastrado.").arg(client), QCborValue(false)));
        if (compared.value(2).toLongLong() != 0)
            throw balanceOutOfRange();
        const qint64 differing = compared.value(1).toLongLong();
        if (differing == 0)
            return Outcome::ok(okEnvelope(true));
        // When the comparison finds more than half the account's balances to rewrite, the rows
        // are not versioned one by one: the account is marked instead, as a deletion marks it,
        // and a screen watching it loads its statement whole. The rows' versions, and so every
        // index on them, stay as they were, and PostgreSQL can rewrite the rows in place.
        const bool markWhole = differing * 2 > compared.value(9).toLongLong();
        const bool versioned = !compared.isNull(3);
        const qint64 versionSeen = compared.value(3).toLongLong();
        const std::optional<RunningFrom> lastRight = compared.isNull(4) ? std::nullopt
            : std::optional(RunningFrom{compared.value(4).toLongLong(), compared.value(5).toString(), compared.value(6).toLongLong(),
                                        compared.value(7).toLongLong(), compared.value(8).toLongLong()});
        compared.finish();
        if (!transaction)
            transaction.emplace(m_storage, db);
        // The account's counter row is its lock: recalculations of one account run one after
        // the other, also across server instances, and postings wait only while one rewrites.
        std::optional<ChainHead> head;
        if (m_chained)
            head = lockChain(db, client);
        else
            run(db, QStringLiteral("INSERT INTO NUMMOVCLIE (CDCLIENTE, NRULTMOV) VALUES (?, 0)"
                                   " ON CONFLICT (CDCLIENTE) DO UPDATE SET NRULTMOV = NUMMOVCLIE.NRULTMOV"),
                {client}, "travar a conta");
        // The balances found right still are when no movement up to the last of them changed
        // since the comparison: every change moves the account's version, a movement written
        // carries it (NRVERSAO) and a deletion marks the account (NRVERSAOCOMPLETA). Then the
        // running balances start after them (a posting at the end of a long account, or a
        // recalculation that got there first: a row or none); otherwise from the first movement.
        const auto unchangedUpTo = [&](const RunningFrom &right, qint64 seen) {
            QSqlQuery changed = run(db, QStringLiteral("SELECT (SELECT COUNT(*) FROM MOVICLIE WHERE CDCLIENTE = ? AND NRVERSAO > ?"
                                                       " AND (DTMOVCLI, NRSEQMOVCLI) <= (?, ?)) + (SELECT COUNT(*) FROM NUMMOVCLIE"
                                                       " WHERE CDCLIENTE = ? AND NRVERSAOCOMPLETA > ?)"),
                                    {client, seen, right.moment, right.number, client, seen}, "ler as mudanças da conta");
            return changed.next() && changed.value(0).toLongLong() == 0;
        };
        const bool stillRight = head && lastRight && versioned
            && (versionSeen == head->sequence || unchangedUpTo(*lastRight, versionSeen));
        const RunningFrom from = stillRight ? *lastRight : RunningFrom();
        // Only the movements whose running balances come out different are rewritten (and
        // stamped, and versioned unless the account is marked). A balance out of range is never
        // written; it refuses the whole below.
        const QString rewrite = QStringLiteral("UPDATE MOVICLIE AS M SET VRSALDOCONS = R.COMPANY, VRSALDPECONS = R.PERSONAL,"
                                               " DTRECMOVCLIE = ?, CDOPERRECA = ?")
            + (markWhole ? QString() : QStringLiteral(", NRVERSAO = ?"))
            + QStringLiteral(" FROM %1 R WHERE M.CDCLIENTE = ? AND M.NRSEQMOVCLI = R.NRSEQMOVCLI AND %2"
                             " AND R.COMPANY %3 AND R.PERSONAL %3");
        QVariantList stamp{QDateTime::currentMSecsSinceEpoch(), who.operatorCode};
        if (!markWhole)
            stamp << nextVersion(head);
        QSqlQuery summed(db);
        qint64 rewritten = 0;
        if (m_storage.kind() == Kind::PostgreSQL) {
            // One statement: the running balances are worked out once for the rows, the check
            // and the totals, which follow from where they start and their last row, so that
            // the account's lock is held for the movements after it only.
            summed = run(db, QStringLiteral("WITH running AS (%1), rewritten AS (%2 RETURNING 1),"
                                            " last AS (SELECT COMPANY, PERSONAL FROM running"
                                            " ORDER BY DTMOVCLI DESC, NRSEQMOVCLI DESC LIMIT 1)"
                                            " SELECT ? + (SELECT COUNT(*) FROM running WHERE DTMOVCLI >= ?),"
                                            " CAST(COALESCE((SELECT COMPANY FROM last), ?) AS TEXT),"
                                            " CAST(COALESCE((SELECT PERSONAL FROM last), ?) AS TEXT), %3,"
                                            " (SELECT COUNT(*) FROM rewritten)")
                                 .arg(runningBalancesSql(), rewrite.arg(QLatin1String("running"), differsFromStored(), InRange),
                                      countOutOfRange(QStringLiteral("running"))),
                         from.values(client) + stamp + QVariantList{client, start, from.counted, start, from.company, from.personal},
                         "recalcular os saldos");
            summed.next();
            rewritten = summed.value(4).toLongLong();
        } else {
            rewritten = refusingOverflow([&] {
                return run(db, rewrite.arg(u'(' + runningBalancesSql() + u')', differsFromStored(), InRange),
                           stamp + from.values(client) + QVariantList{client, start}, "recalcular os saldos")
                    .numRowsAffected();
            });
            // What the history records: the movements counted and the final balances, and how
            // many balances were out of range. Carried in, a balance may leave 64 bits where the
            // sum alone doesn't: SQLite's sum then turns to a float, never written, and counted here.
            summed = refusingOverflow([&] {
                return run(db, QStringLiteral("SELECT SUM(CASE WHEN DTMOVCLI >= ? THEN 1 ELSE 0 END),"
                                              " CAST(COALESCE(SUM(%1), 0) AS TEXT), CAST(COALESCE(SUM(%2), 0) AS TEXT), %3"
                                              " FROM MOVICLIE WHERE CDCLIENTE = ?")
                                   .arg(signedValue("VRMOVCLI"), signedValue("VRMOVPESCONS"),
                                        countOutOfRange(u'(' + runningBalancesSql() + u')')),
                           QVariantList{start} + from.values(client) + QVariantList{client}, "somar os saldos");
            });
            summed.next();
        }
        if (summed.value(3).toLongLong() != 0)
            throw balanceOutOfRange();
        const qint64 counted = summed.value(0).toLongLong();
        const qint64 companyBalance = storedCents(summed.value(1));
        const qint64 personalBalance = storedCents(summed.value(2));
        summed.finish();
        if (rewritten > 0 && markWhole && head)
            markWholeReload(db, client, head);
        // Another recalculation may have brought them right while this one waited for the lock.
        if (rewritten > 0)
            rememberAccountChange(db, "SALDOS", client, "recalc", who,
                                  QJsonObject{{"CDCLIENTE", client}, {"DTINICIO", start},
                                              {"LANCAMENTOS", counted},
                                              {"VRSALDOCONS", companyBalance}, {"VRSALDPECONS", personalBalance}},
                                  m_chained, head);
        transaction->commit();
        return Outcome::ok(okEnvelope(true));
    } catch (const Refusal &r) {
        // The caller tells the operator the balances could not be brought up to date.
        return Outcome::ok(fw::encodeEnvelope(true, QStringLiteral("Saldos não recalculados: %1").arg(r.message),
                                              QCborValue(false)));
    } catch (const DatabaseError &e) {
        return Outcome::ok(fw::encodeEnvelope(true, QStringLiteral("Saldos não recalculados: %1").arg(databaseFailure(e)),
                                              QCborValue(false)));
    }
}

Outcome Ledger::getConsumidor(const QCborArray &args, const Actor &) const
{
    return enveloped([&] {
        const QSqlDatabase db = m_storage.connection();
        QSqlQuery q = run(db, QStringLiteral(
            "SELECT C.CDCONSUMIDOR, C.NMCONSUMIDOR, C.CDCLIENTE FROM CONSUMIDOR C"
            " JOIN CONSFILIAL F ON F.CDCLIENTE = C.CDCLIENTE AND F.CDCONSUMIDOR = C.CDCONSUMIDOR"
            " WHERE C.CDCLIENTE = ? AND F.CDFILIAL = ? AND (? = 'T' OR C.CDCONSUMIDOR = ?)"
            " ORDER BY C.CDCONSUMIDOR"),
            {args[0].toString(), args[3].toString(), args[2].toString(), args[1].toString()}, "ler os consumidores");
        const QList<fw::PacketField> fields = acc00420::consumerPacketFields();
        QByteArray rows;
        quint64 count = 0;
        {
            fw::DataPacketWriter writer(&rows, fields.size());
            while (q.next()) {
                writer.beginRow();
                for (int i = 0; i < 3; ++i)
                    writer.writeString(q.value(i).toString());
                ++count;
            }
        }
        return fw::encodeEnvelope(true, {}, {fw::DataPacketWriter::head(fields, count), rows});
    });
}

Outcome Ledger::SetMovCliente(const QCborArray &args, const Actor &actor) const
{
    return enveloped([&] {
        const fw::Delta delta = fw::deltaFromCbor(args[0]);
        checkDeltaFields(delta);
        const QSqlDatabase db = m_storage.connection();
        Transaction transaction(m_storage, db);
        for (const fw::DeltaChange &change : delta.changes) {
            switch (change.op) {
            case fw::DeltaChange::Op::Insert:
                insertMovement(db, MovementValues(delta, change.newValues), actor, m_chained);
                break;
            case fw::DeltaChange::Op::Modify:
                modifyMovement(db, delta, change, actor, m_chained);
                break;
            case fw::DeltaChange::Op::Delete:
                deleteMovement(db, MovementValues(delta, change.oldValues), actor, m_chained);
                break;
            }
        }
        transaction.commit();
        return okEnvelope();
    });
}

Outcome Ledger::getPrxMovClie(const QCborArray &args, const Actor &) const
{
    const QString client = args[0].toString();
    try {
        const QSqlDatabase db = m_storage.connection();
        // One statement: the number is handed out once even under concurrent callers, and only
        // to a registered client (no row otherwise). On PostgreSQL it is its own transaction,
        // two round trips fewer; SQLite's writers of this process take their turn on the lock.
        std::optional<Transaction> transaction;
        if (m_storage.kind() == Kind::SQLite)
            transaction.emplace(m_storage, db);
        QSqlQuery q = run(db, QStringLiteral("INSERT INTO NUMMOVCLIE (CDCLIENTE, NRULTMOV) SELECT CDCLIENTE, 1 FROM CLIENTE"
                                             " WHERE CDCLIENTE = ?"
                                             " ON CONFLICT (CDCLIENTE) DO UPDATE SET NRULTMOV = NUMMOVCLIE.NRULTMOV + 1"
                                             " RETURNING NRULTMOV"),
                          {client}, "numerar o lançamento");
        if (!q.next())
            return Outcome::error(QStringLiteral("bad-arguments"), QStringLiteral("cliente %1 não cadastrado").arg(client));
        const qint64 number = q.value(0).toLongLong();
        q.finish();
        if (transaction)
            transaction->commit();
        return Outcome::ok(QCborValue(QString::number(number).rightJustified(MovementNumberWidth, u'0')).toCbor());
    } catch (const DatabaseError &e) {
        return Outcome::error(QStringLiteral("database-error"),
                              QStringLiteral("não foi possível numerar o lançamento: %1").arg(databaseFailure(e)));
    }
}

Outcome Ledger::setCancelamento(const QCborArray &args, const Actor &actor) const
{
    return enveloped([&] {
        if (args[0].toString() != QLatin1String("X"))
            throw Refusal{QStringLiteral("IDTIPMOCVLI: o cancelamento marca o lançamento com \"X\", veio \"%1\".").arg(args[0].toString())};
        // The session and the server's clock say who cancelled and when, whatever the request says.
        const Actor who = acting(actor, args[1].toString());
        const QString client = args[4].toString();
        const QString number = args[5].toString();
        const QSqlDatabase db = m_storage.connection();
        Transaction transaction(m_storage, db);
        QSqlQuery q = run(db, QStringLiteral("SELECT IDTIPMOCVLI FROM MOVICLIE WHERE CDCLIENTE = ? AND NRSEQMOVCLI = ?"),
                          {client, number}, "ler o lançamento");
        if (!q.next())
            throw Refusal{QStringLiteral("Lançamento %1 do cliente %2 não encontrado; recarregue o extrato.").arg(number, client)};
        if (q.value(0).toString() == QLatin1String("X"))
            return okEnvelope(); // already cancelled
        const std::optional<ChainHead> head = m_chained ? std::optional(lockChain(db, client)) : std::nullopt;
        run(db, QStringLiteral("UPDATE MOVICLIE SET IDTIPMOCVLI = 'X', CDOPERADOR = ?, DTATUMOVCLIE = ?, DSATUMOVCLIE = ?,"
                               " NRVERSAO = ? WHERE CDCLIENTE = ? AND NRSEQMOVCLI = ?"),
            {who.operatorCode, QDateTime::currentMSecsSinceEpoch(), args[3].toString(), nextVersion(head), client, number},
            "cancelar o lançamento");
        remember(db, client, number, "cancel", who, movementJson(db, client, number), m_chained, head);
        transaction.commit();
        return okEnvelope();
    });
}

Outcome Ledger::setCancelaVenda(const QCborArray &args, const Actor &actor) const
{
    return enveloped([&] {
        const QSqlDatabase db = m_storage.connection();
        Transaction transaction(m_storage, db);
        QSqlQuery sale = run(db, QStringLiteral("SELECT IDSITVENDA FROM VENDA WHERE CDFILIAL = ? AND CDCAIXA = ? AND NRSEQVENDA = ?"),
                             {args[1].toString(), args[2].toString(), args[3].toString()}, "ler a venda");
        if (!sale.next())
            throw Refusal{QStringLiteral("Venda %1 do caixa %2 da filial %3 não encontrada.")
                              .arg(args[3].toString(), args[2].toString(), args[1].toString())};
        if (sale.value(0).toString() != QLatin1String("X")) {
            const QString branch = args[1].toString(), till = args[2].toString(), number = args[3].toString();
            run(db, QStringLiteral("UPDATE VENDA SET IDSITVENDA = 'X', DSCANCVENDA = ?, DTCANCVENDA = ?"
                                   " WHERE CDFILIAL = ? AND CDCAIXA = ? AND NRSEQVENDA = ?"),
                {args[0].toString(), QDateTime::currentMSecsSinceEpoch(), branch, till, number}, "cancelar a venda");
            QSqlQuery row = run(db, QStringLiteral("SELECT * FROM VENDA WHERE CDFILIAL = ? AND CDCAIXA = ? AND NRSEQVENDA = ?"),
                                {branch, till, number}, "ler a venda");
            rememberAccountChange(db, "VENDA", saleKey(branch, till, number), "cancel", actor, rowsJson(row).first(), m_chained);
        }
        transaction.commit();
        return okEnvelope();
    });
}

Outcome Ledger::setCancelaReceb(const QCborArray &args, const Actor &actor) const
{
    return enveloped([&] {
        const QSqlDatabase db = m_storage.connection();
        Transaction transaction(m_storage, db);
        const QString branch = args[0].toString(), till = args[1].toString(), sale = args[2].toString();
        if (!run(db, QStringLiteral("SELECT 1 FROM RECEBIMENTO WHERE CDFILIAL = ? AND CDCAIXA = ? AND NRSEQVENDA = ?"),
                 {branch, till, sale}, "ler o recebimento").next())
            throw Refusal{QStringLiteral("Recebimento da venda %1 do caixa %2 da filial %3 não encontrado.").arg(sale, till, branch)};
        QSqlQuery cancel = run(db, QStringLiteral("UPDATE RECEBIMENTO SET IDSITRECE = 'X', DTCANCRECE = ?"
                                                  " WHERE CDFILIAL = ? AND CDCAIXA = ? AND NRSEQVENDA = ? AND IDSITRECE <> 'X'"),
                               {QDateTime::currentMSecsSinceEpoch(), branch, till, sale}, "cancelar o recebimento");
        if (cancel.numRowsAffected() > 0) {
            QSqlQuery rows = run(db, QStringLiteral("SELECT * FROM RECEBIMENTO WHERE CDFILIAL = ? AND CDCAIXA = ? AND NRSEQVENDA = ?"
                                                    " ORDER BY CDTIPORECE"),
                                 {branch, till, sale}, "ler o recebimento");
            rememberAccountChange(db, "RECEBIMENTO", saleKey(branch, till, sale), "cancel", actor, rowsJson(rows), m_chained);
        }
        transaction.commit();
        return okEnvelope();
    });
}

Outcome Ledger::verificaHistorico(const QCborArray &args, const Actor &) const
{
    return enveloped([&] {
        const ChainReport report = verifyChains(m_storage.connection(), args[0].toString());
        if (report.accounts == 0)
            throw Refusal{QStringLiteral("Cliente %1 não cadastrado.").arg(args[0].toString())};
        return fw::encodeEnvelope(true, {}, QCborMap{
            {QStringLiteral("entradas"), report.entries},
            {QStringLiteral("integro"), !report.difference},
            {QStringLiteral("diferenca"), report.difference ? QCborValue(*report.difference) : QCborValue(nullptr)},
        });
    });
}

} // namespace server
