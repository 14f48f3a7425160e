#pragma once

#include <framework/report/reportexport.h>

class QPrintPreviewDialog;
class QPrinter;
class QWidget;

namespace fw {

// A report's preview over `parent`, usable from the keyboard alone: Ctrl+P prints (the printer
// dialog, where a PDF file can be chosen too), Tab reaches every toolbar button, the print
// button first, and Enter or Space presses it, Esc closes the preview. Object names:
// "reportPreview", its print action "actPrintPreview" and button "btnPrintPreview".
FW_REPORT_EXPORT QPrintPreviewDialog *createReportPreview(QPrinter *printer, QWidget *parent);

} // namespace fw
