#pragma once

#include "storage.h"

#include <QCborArray>
#include <QString>

// The ledger the benchmarks read and write: one client with 100,000 movements, one with 200,
// and further clients of 1,000 each, every movement from 2023-01-01 on, ten minutes apart.
namespace bench {

QString code(qint64 n, int width);

inline const QString BigClient = code(1, 21);
inline const QString SmallClient = code(2, 21);
extern const qint64 FirstDay; // the first movement's moment, in ms since the epoch

// Fills an empty, migrated ledger (a filled one is left as it is).
void fillLedger(const server::Storage &storage, int otherClients = 900);
// getMovCliente's arguments for every consumer of the client since FirstDay.
QCborArray statementArgs(const QString &client);
// The statement's query as getMovCliente runs it, every value read and none encoded; returns
// the rows.
int queryStatement(const server::Storage &storage, const QString &client);

} // namespace bench
