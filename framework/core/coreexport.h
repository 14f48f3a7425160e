#pragma once

#include <QtGlobal>

// framework_core is built with hidden visibility: what the other libraries, the programs
// and the tests use of it is marked FW_CORE_EXPORT; the rest stays inside.
#if defined(FW_CORE_BUILDING)
#  define FW_CORE_EXPORT Q_DECL_EXPORT
#else
#  define FW_CORE_EXPORT Q_DECL_IMPORT
#endif
