#pragma once

#include "caller.h"

#include <QByteArray>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>
#include <QVariantList>

#include <initializer_list>
#include <optional>

namespace server {

// Each account's changes as a hash chain (table CADEIA): every entry carries its sequence in
// the account, the moment, who made it and from where, what changed (the stored fields after the
// change, in one canonical encoding) and the hash of the entry before, and is hashed with
// SHA-256 over all of that. docs/ledger.md gives the bytes, so an auditor can check them alone.
struct ChainEntry
{
    qint64 sequence = 0;
    qint64 moment = 0;
    QString operatorCode;
    QString terminal;
    QString operation; // insert, modify, cancel, delete, recalc, sale, receipt, seal
    QString number;    // the movement's; empty for what is not one movement's
    QByteArray data;   // canonical JSON
    QString previous;  // hex
    QString hash;      // hex
};

// Where an account's chain starts: derived from its client code alone.
QString chainOrigin(const QString &client);
// The entry's own hash, over the client code and every field but the hash itself.
QString chainHash(const QString &client, const ChainEntry &entry);
// What an entry's hash covers, as UTF-8: each of `lines` followed by a line feed, then the data.
QByteArray chainHashedBytes(std::initializer_list<QByteArrayView> lines, QByteArrayView data);
QString sha256Hex(QByteArrayView bytes);
// A JSON object in the chain's one encoding: keys sorted, no blanks, integers as digits.
QByteArray canonicalJson(const QJsonObject &object);
// The current row of a query by upper-case column name, null kept apart from "".
QJsonObject rowJson(const QSqlQuery &q);
// A movement row's fields the chain covers (the running balances and the version are derived, not covered).
QJsonObject chainedFields(QJsonObject row);

// A statement of the same change (its history row) that shares a round trip of the chain's
// where the database allows it (PostgreSQL), and runs on its own elsewhere.
struct Alongside
{
    QString sql;
    QVariantList values;
};

// Where an account's chain ends, as its lock row keeps it.
struct ChainHead
{
    qint64 sequence = 0;
    QString hash;
};

// Takes the account's lock (its counter row, the one numbering takes) and reads the chain's
// head, so writers of different accounts never wait for each other and two writers of one
// account make one chain.
ChainHead lockChain(const QSqlDatabase &db, const QString &client, const Alongside &alongside = {});

// On PostgreSQL a statement of the change that returns rows can take the lock and read the
// head itself, one round trip fewer: it starts with lockingWith() (whose value, the client
// code, comes first) and returns headColumns() too; lockedHead() takes them off its row
// (nothing when the account had no lock row to take).
QString lockingWith();
QString headColumns();
std::optional<ChainHead> lockedHead(QJsonObject &row);

// Appends an entry for `client` after `head`, read under the account's lock in the caller's
// transaction.
void appendToChain(const QSqlDatabase &db, const QString &client, const ChainHead &head, const Actor &who,
                   const QString &operation, const QString &number, const QJsonObject &data,
                   const Alongside &alongside = {});
// The same, taking the lock first.
void appendToChain(const QSqlDatabase &db, const QString &client, const Actor &who, const QString &operation,
                   const QString &number, const QJsonObject &data, const Alongside &alongside = {});

// Opens the chain of every account that has movements and no chain yet with one entry holding
// its movements' covered fields as they stand: an old ledger at migration, rows written without
// the ledger (the demo data).
void sealAccounts(const QSqlDatabase &db);

} // namespace server
