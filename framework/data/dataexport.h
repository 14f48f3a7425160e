#pragma once

#include <QtGlobal>

// framework_data is built with hidden visibility: what the other libraries, the programs
// and the tests use of it is marked FW_DATA_EXPORT; the rest stays inside.
#if defined(FW_DATA_BUILDING)
#  define FW_DATA_EXPORT Q_DECL_EXPORT
#else
#  define FW_DATA_EXPORT Q_DECL_IMPORT
#endif
