#pragma once

class QPrinter;
class QWidget;

namespace fw {

// The printer the back office prints on, chosen once in the printer set-up dialog.
QPrinter &screenPrinter();
// The printer set-up dialog over `parent`, for screenPrinter().
void showPrinterSetup(QWidget *parent);

} // namespace fw
