#pragma once

#include "accountservice.h"

#include <framework/data/recordset.h>

#include <functional>

namespace acc00420 {

// getMovCliente's statement read into `into` as its parts arrive: the first replaces what it
// held (the grid shows it at once), each next one goes below, and the busy indicator counts
// the rows. `wanted` is asked before each part and after a failure; false (the screen closing,
// the statement closed meanwhile) ends the reading with fw::Abort. A failure once rows came
// leaves `into` closed (half a statement is never shown as the whole); one before leaves it as
// it was.
void loadStatementInParts(AccountService service, fw::RecordSet &into, QString &cdConsumidor, QString &tCdConsumidor,
                          const QString &cdCliente, const QDateTime &dtInicio, const std::function<bool()> &wanted);

} // namespace acc00420
