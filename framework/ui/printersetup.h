#pragma once

#include <framework/ui/uiexport.h>

class QPrinter;
class QWidget;

namespace fw {

// The printer the back office prints on, chosen once in the printer set-up dialog.
FW_UI_EXPORT QPrinter &screenPrinter();
// The printer set-up dialog over `parent`, for screenPrinter().
FW_UI_EXPORT void showPrinterSetup(QWidget *parent);

} // namespace fw
