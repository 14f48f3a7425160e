#pragma once

#include "operators.h"

#include <framework/core/configsource.h>

#include <QStringList>

#include <cstdio>

namespace server {

// The administration commands on the ledger's operators, as the server's command line takes
// them after "operator":
//   add CODE --name=NAME --branches=0001,0002 --rights=consultar,lancar   (password on stdin)
//   passwd CODE                                                           (password on stdin)
//   disable CODE
//   list
// The password is one line of standard input, never an argument. Returns the exit status: 0
// done, 1 refused with nothing changed (the reason on `err`), 2 a command it does not know.
int runOperatorCommand(const Operators &operators, const QStringList &words, const fw::ConfigSource &config,
                       std::FILE *in, std::FILE *out, std::FILE *err);

} // namespace server
