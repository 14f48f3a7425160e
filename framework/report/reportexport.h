#pragma once

#include <QtGlobal>

// framework_report is built with hidden visibility: what the other libraries, the programs
// and the tests use of it is marked FW_REPORT_EXPORT; the rest stays inside.
#if defined(FW_REPORT_BUILDING)
#  define FW_REPORT_EXPORT Q_DECL_EXPORT
#else
#  define FW_REPORT_EXPORT Q_DECL_IMPORT
#endif
