#pragma once

#include <QtGlobal>

// framework_ui is built with hidden visibility: what the other libraries, the programs
// and the tests use of it is marked FW_UI_EXPORT; the rest stays inside.
#if defined(FW_UI_BUILDING)
#  define FW_UI_EXPORT Q_DECL_EXPORT
#else
#  define FW_UI_EXPORT Q_DECL_IMPORT
#endif
