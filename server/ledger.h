#pragma once

#include "accountmethods.h"

#include "dispatcher.h"
#include "sessions.h"
#include "storage.h"

namespace server {

// The account ledger behind the object "Acc00420.rdmPagClie": the methods the screen
// calls, each in its own transaction. docs/ledger.md gives the rules.
class Ledger
{
public:
    static constexpr const char *ObjectName = acc00420::AccountObjectName;

    // Every change goes on its account's chain; a ledger that skips it exists only to measure
    // what the chain costs.
    enum class Chain { Kept, Skipped };

    explicit Ledger(const Storage &storage, Chain chain = Chain::Kept);

    // The statement's query: client, start, all-consumers flag, consumer; the columns in the
    // movement record's order.
    static QString statementSql();

    // Registers the account methods with their argument checks, each behind the caller's
    // session: signed in, with the right it needs, at its own branch and under its own code.
    // Those answered beside the ledger (watching an account) come behind the same checks.
    void publish(Dispatcher &dispatcher, const Sessions &sessions,
                 const QHash<QString, Dispatcher::Handler> &answeredBeside = {});

    // Each method acts for `actor` (the session's operator and terminal); without one (the demo
    // data, trusted tools) for the operator the request names.

    Outcome getMovCliente(const QCborArray &args, const Actor &actor = {}) const;
    // The same, all but its last rows sent ahead in parts (none: the whole in the result).
    Outcome getMovCliente(const QCborArray &args, const ReplyParts &parts) const;
    // The statement's movements changed since a version of the account (getMovCliente's
    // arguments, then the version): {"versao": uint, "completo": bool, "linhas": data packet},
    // the whole statement when that version is too old to say.
    Outcome getMovClienteDesde(const QCborArray &args, const Actor &actor = {}) const;
    Outcome setAtualizaCons(const QCborArray &args, const Actor &actor = {}) const;
    Outcome getConsumidor(const QCborArray &args, const Actor &actor = {}) const;
    Outcome SetMovCliente(const QCborArray &args, const Actor &actor = {}) const;
    Outcome getPrxMovClie(const QCborArray &args, const Actor &actor = {}) const;
    Outcome setCancelamento(const QCborArray &args, const Actor &actor = {}) const;
    Outcome setCancelaVenda(const QCborArray &args, const Actor &actor = {}) const;
    Outcome setCancelaReceb(const QCborArray &args, const Actor &actor = {}) const;
    // The account's chain checked: {"entradas": uint, "integro": bool, "diferenca": text or null}.
    Outcome verificaHistorico(const QCborArray &args, const Actor &actor = {}) const;

private:
    const Storage &m_storage;
    bool m_chained;
};

// Amounts travel as floats and are kept in cents; percentages in hundredths.
qint64 toCents(double value);
double fromCents(qint64 cents);

} // namespace server
