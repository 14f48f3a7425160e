#pragma once

#include <framework/data/cboritem.h>
#include <framework/data/dataexport.h>

namespace fw {

// Opens the result envelope of an application-server method ({"ok", "message", "payload"}).
// An ok result gives its payload (an empty item when it has none). A failed or malformed
// one is shown through the dialogs service when `report` is true, and then aborts the
// running handler either way. `context` is kept for the callers' help context, always 0.
FW_DATA_EXPORT CborItem CheckResultServ(const CborItem &result, bool report, int context = 0);

} // namespace fw
