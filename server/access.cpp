#include "access.h"

#include "operators.h"
#include "rowcursor.h"
#include "storage.h"

#include <framework/data/datapacket.h>

namespace server {
namespace {

// Which argument names the operator, the branch and the client (-1: none), and the right the
// method needs; the delta's are read from its changes.
struct Rule
{
    const char *method;
    const char *right;
    int operatorArg;
    int branchArg;
    int clientArg;
};

constexpr Rule Rules[] = {
    {"getMovCliente", "consultar", -1, -1, 2},
    {"setAtualizaCons", "consultar", 4, 0, 1},
    {"getConsumidor", "consultar", -1, 3, 0},
    {"getPrxMovClie", "lancar", -1, -1, 0},
    {"setCancelamento", "cancelar", 1, -1, 4},
    {"setCancelaVenda", "cancelar_venda", -1, 1, -1},
    {"setCancelaReceb", "cancelar_venda", -1, 0, -1},
    {"verificaHistorico", "consultar", -1, -1, 0},
    {"getMovClienteDesde", "consultar", -1, -1, 2},
    {"acompanhar", "consultar", -1, -1, 0},
    {"deixar", "consultar", -1, -1, 0},
    {"SetMovCliente", nullptr, -1, -1, -1},
};

using Asked = AccessCheck::Asked;

const QString ClientServedSql = QStringLiteral(
    "SELECT CASE WHEN EXISTS (SELECT 1 FROM CLIENFILIAL F WHERE F.CDCLIENTE = C.CDCLIENTE AND F.CDFILIAL = ?)"
    " THEN 1 ELSE 0 END FROM CLIENTE C WHERE C.CDCLIENTE = ?");

QString text(const fw::Delta &delta, const QList<fw::Value> &values, const char *name)
{
    const int i = delta.indexOf(QLatin1String(name));
    const auto *t = i < 0 ? nullptr : std::get_if<QString>(&values.at(i));
    return t ? *t : QString();
}

// An insert acts under its own operator and branch; a modify that marks the movement "X" is a
// cancellation, any other an observation edit.
QList<Asked> deltaAsks(const QCborValue &encoded)
{
    QList<Asked> asks;
    fw::Delta delta;
    try {
        delta = fw::deltaFromCbor(encoded);
    } catch (const fw::PacketError &) {
        return asks; // the ledger says what is wrong with it
    }
    for (const fw::DeltaChange &change : delta.changes) {
        switch (change.op) {
        case fw::DeltaChange::Op::Insert:
            asks.append({QStringLiteral("lancar"), text(delta, change.newValues, "CDOPERADOR"),
                         text(delta, change.newValues, "CDFILIAL"), text(delta, change.newValues, "CDCLIENTE")});
            break;
        case fw::DeltaChange::Op::Modify: {
            const bool cancels = text(delta, change.newValues, "IDTIPMOCVLI") == QLatin1String("X")
                && text(delta, change.oldValues, "IDTIPMOCVLI") != QLatin1String("X");
            asks.append({cancels ? QStringLiteral("cancelar") : QStringLiteral("lancar"), {}, {},
                         text(delta, change.oldValues, "CDCLIENTE")});
            break;
        }
        case fw::DeltaChange::Op::Delete:
            asks.append({QStringLiteral("excluir"), {}, {}, text(delta, change.oldValues, "CDCLIENTE")});
            break;
        }
    }
    return asks;
}

std::optional<QString> refusalOf(const Asked &asked, const Caller &caller, const QSqlDatabase &db,
                                 const std::optional<QVariant> &served)
{
    if (!caller.may(asked.right))
        return QStringLiteral("Operador %1 não tem permissão para %2.").arg(caller.operatorCode, rightWords(asked.right));
    if (!asked.operatorCode.isEmpty() && asked.operatorCode != caller.operatorCode)
        return QStringLiteral("O pedido é do operador %1, mas a sessão é do operador %2; entre como %1 para fazê-lo.")
            .arg(asked.operatorCode, caller.operatorCode);
    if (!asked.branch.isEmpty() && asked.branch != caller.branch)
        return QStringLiteral("O pedido é da filial %1, mas a sessão é da filial %2; entre na filial %1 para fazê-lo.")
            .arg(asked.branch, caller.branch);
    if (!asked.client.isEmpty()) {
        // An unregistered client (null) is the ledger's to refuse, in its own words.
        QVariant answer;
        if (served) {
            answer = *served;
        } else {
            RowCursor q(db, ClientServedSql, {caller.branch, asked.client}, "ler as filiais do cliente");
            if (q.next())
                answer = q.integer(0);
        }
        if (!answer.isNull() && answer.toLongLong() == 0)
            return QStringLiteral("O cliente %1 não é atendido na filial %2.").arg(asked.client, caller.branch);
    }
    return std::nullopt;
}

} // namespace

AccessCheck::AccessCheck(const QString &method, const QCborArray &args)
    : m_method(method)
{
    for (const Rule &rule : Rules) {
        if (method != QLatin1String(rule.method))
            continue;
        m_ruled = true;
        m_asks = rule.right
            ? QList<Asked>{{QLatin1String(rule.right), rule.operatorArg < 0 ? QString() : args[rule.operatorArg].toString(),
                            rule.branchArg < 0 ? QString() : args[rule.branchArg].toString(),
                            rule.clientArg < 0 ? QString() : args[rule.clientArg].toString()}}
            : deltaAsks(args[0]);
        return;
    }
}

std::optional<Sessions::AskedAlong> AccessCheck::clientServed(const Caller &caller) const
{
    QString client;
    for (const Asked &asked : m_asks) {
        if (asked.client.isEmpty())
            continue;
        if (!client.isEmpty() && asked.client != client)
            return std::nullopt;
        client = asked.client;
    }
    if (client.isEmpty())
        return std::nullopt;
    return Sessions::AskedAlong{ClientServedSql, {caller.branch, client}};
}

std::optional<QString> AccessCheck::refusal(const Caller &caller, const QSqlDatabase &db,
                                            const std::optional<QVariant> &served) const
{
    if (!m_ruled)
        return QStringLiteral("O método %1 não tem regra de acesso.").arg(m_method);
    for (const Asked &asked : m_asks) {
        if (auto why = refusalOf(asked, caller, db, served))
            return why;
    }
    return std::nullopt;
}

} // namespace server
