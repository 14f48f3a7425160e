#include "printersetup.h"

#include <QPrintDialog>
#include <QPrinter>

namespace fw {

QPrinter &screenPrinter()
{
    static QPrinter printer(QPrinter::HighResolution);
    return printer;
}

void showPrinterSetup(QWidget *parent)
{
    QPrintDialog dialog(&screenPrinter(), parent);
    dialog.setWindowTitle(QStringLiteral("Configurar impressora"));
    dialog.exec();
}

} // namespace fw
