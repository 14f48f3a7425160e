#pragma once

#include <framework/data/methodcontract.h>

namespace acc00420 {

// The server object the account screen calls, and its methods with their arguments in order:
// the screen's proxy checks each call against this table before it sends it, and the server
// checks each request against it before a handler runs.
inline constexpr const char *AccountObjectName = "Acc00420.rdmPagClie";

const QList<fw::MethodSpec> &accountMethods();
// The method of that name; a name the table doesn't have is a programming error (aborts).
const fw::MethodSpec &accountMethod(const QString &name);

} // namespace acc00420
