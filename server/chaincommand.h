#pragma once

#include <framework/core/configsource.h>

#include <QSqlDatabase>

namespace server {

// "verify [--client=CODE] [--digest=FILE]": 0 and a one-line summary when every chain holds,
// 3 and the first difference first when one does not, 1 when it can't be read. "digest": one
// JSON line of every account's head. Both only read.
int runChainCommand(const QSqlDatabase &db, const QString &command, const fw::ConfigSource &config);

} // namespace server
