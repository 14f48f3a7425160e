#pragma once

#include "ledger.h"
#include "ledgerbackend.h"

// Accounts posted to through the ledger itself, as the screen posts.
inline const QString C1 = QString(20, u'0') + u'1';
inline const QString C2 = QString(20, u'0') + u'2';
inline const server::Actor Who{"0007", "caixa-3"};

// The `i`th movement of an account as the screen posts it (a debit for the second, credits
// otherwise, on the `i`th of November), for a consumer when one is given.
void post(const server::Ledger &ledger, const QString &client, int i, const QString &consumer = {});

// Three movements of C1 posted through the ledger, one cancelled, the account recalculated;
// C2 with one movement.
void postThroughTheLedger(LedgerBackend &b);
