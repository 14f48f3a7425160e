#pragma once

#include "storage.h"

namespace server {

// Fills an empty ledger with a small, believable data set: two branches, named operators,
// clients with valid CPF and CNPJ numbers (one registered at one branch only), consumers with
// and without subsidy, a few months of credits, debits, adjustments and cancelled movements,
// some from sales with their receipts, and accounts that end in the red. The movements are
// dated back from `today`, so the statement of the last 60 days always has rows. Refuses
// (DatabaseError) a ledger that already has clients.
void createDemoData(const Storage &storage, const QDate &today);

} // namespace server
