#pragma once

#include <QDate>
#include <QList>
#include <QString>

namespace acc00420 {

// The ledger's balance rule for one movement type: a credit (C) adds its value, a debit (D)
// and a debit adjustment (A) subtract it, a cancelled movement (X) counts zero.
int balanceSign(QStringView type);

// Whom a statement is of: the client and, for one consumer's, the consumer.
struct StatementHolder
{
    QString client, clientName, registration, personType;
    QString consumer, consumerName; // empty: every consumer of the client
};

// One movement as a statement reads it; amounts in cents, the moment in milliseconds since
// the epoch.
struct StatementMovement
{
    QString number;
    qint64 moment = 0;
    QString type; // C, D, A or X
    QString consumer;
    QString history;
    qint64 company = 0;
    qint64 personal = 0;
};

// Both balances side by side: the company's and the consumer's own.
struct Amounts
{
    qint64 company = 0;
    qint64 personal = 0;
    bool operator==(const Amounts &) const = default;
};

// A statement line: the movement and the running balances after it.
struct StatementLine
{
    StatementMovement movement;
    Amounts balance;
};

// What is owed at the period's end by the age of its debits, in days: 0-30, 31-60, 61-90, over 90.
struct Ageing
{
    qint64 buckets[4] = {0, 0, 0, 0};
    bool operator==(const Ageing &) const = default;
};

// A period of an account: the balances carried in, each movement with its running balances,
// the period's credits and debits, the closing balances and what is owed by age.
struct Statement
{
    Amounts carried;
    QList<StatementLine> lines;
    Amounts credits, debits;
    Amounts closing;
    Ageing owedCompany, owedPersonal;
};

// The statement of [from, to] (whole days, local time) out of every movement of the account
// (or of the consumer) in the balance order. The balance carried in is the running balance
// just before the period's first movement; cancelled movements are listed and count zero.
// Debits are matched by the oldest-first rule against the credits up to the period's end, and
// what stays unpaid is aged from its own date to the period's end.
Statement buildStatement(const QList<StatementMovement> &movements, QDate from, QDate to);

} // namespace acc00420
