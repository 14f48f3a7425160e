// The loadable module: the host calls IniProc to open the client/consumer account screen.

#include <framework/ui/hostservices.h>
#include "acc00420module.h"
#include "screen.h"

#include <QApplication>
#include <QMdiArea>
#include <QMdiSubWindow>

namespace {

// The hourglass while the screen is created and shown, back to normal on every path.
struct HourglassCursor
{
    HourglassCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~HourglassCursor() { QApplication::restoreOverrideCursor(); }
};

QWidget *windowOf(QWidget *screen)
{
    auto *sub = qobject_cast<QMdiSubWindow *>(screen->parentWidget());
    return sub ? static_cast<QWidget *>(sub) : screen;
}

} // namespace

extern "C" {

Q_DECL_EXPORT void CriaPagClie()
{
    HourglassCursor hourglass;
    const bool created = !boStCriado || !frmPagClie;
    if (created) {
        auto *screen = new acc00420::TfrmPagClie;
        frmPagClie = screen;
        boStCriado = true;
        if (QMdiArea *area = fw::hostServices().mdiArea) {
            QMdiSubWindow *sub = area->addSubWindow(screen);
            sub->setAttribute(Qt::WA_DeleteOnClose);
            sub->setWindowIcon(area->windowIcon());
            sub->resize(900, 600);
            // The sub-window goes with the screen when the screen frees itself on close.
            QObject::connect(screen, &QObject::destroyed, sub, &QObject::deleteLater);
        } else {
            screen->resize(900, 600);
        }
        screen->create();
    }
    QWidget *window = windowOf(frmPagClie);
    window->show();
    window->setWindowState((window->windowState() & ~(Qt::WindowMinimized | Qt::WindowMaximized)) | Qt::WindowActive);
    window->showNormal();
    if (QMdiArea *area = fw::hostServices().mdiArea) {
        if (auto *sub = qobject_cast<QMdiSubWindow *>(window))
            area->setActiveSubWindow(sub);
    }
    // A new screen starts in its first field; one shown again keeps its focus (the panel would
    // close the statement).
    if (created)
        frmPagClie->setFocus();
}

Q_DECL_EXPORT void IniProc()
{
    CriaPagClie();
}

} // extern "C"
