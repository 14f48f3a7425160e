#pragma once

#include "storage.h"

namespace server {

// Fills an empty ledger with a small, believable canteen: two branches, named operators,
// clients with valid CPF and CNPJ numbers (one registered at one branch only), consumers with
// and without subsidy who pay their share ahead, a few months of meals sold at the tills (with
// their receipts), payments, adjustments, refunds and cancelled movements and sales at both
// branches; most accounts stay in credit, one was in the red for a month and one is now. The
// movements are dated back from `today`, so the statement of the last 60 days always has rows.
// Operators 0007 "Operador Demonstração" (every right at both branches, password demo0007) and
// 0012 "Caixa Demonstração" (consultar and lancar at 0001, password demo0012) sign in.
// Refuses (DatabaseError) a ledger that already has clients.
void createDemoData(const Storage &storage, const QDate &today);

} // namespace server
