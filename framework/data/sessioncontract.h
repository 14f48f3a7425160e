#pragma once

#include <framework/data/methodcontract.h>
#include <framework/data/dataexport.h>

namespace fw {

// The server object that signs operators in, and its methods with their arguments in order:
// the client checks what it sends against this table, the server what it receives.
inline constexpr const char *SessionObjectName = "Acc00420.Sessao";

FW_DATA_EXPORT const QList<MethodSpec> &sessionMethods();

// The reply code of a request made before signing in, or after the session ended.
inline constexpr const char *UnauthenticatedCode = "unauthenticated";

} // namespace fw
