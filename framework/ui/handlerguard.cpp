#include "handlerguard.h"

#include <framework/core/abort.h>
#include <framework/core/detailederror.h>
#include <framework/core/dialogs.h>

#include <QApplication>
#include <QPointer>
#include <QTimer>
#include <QVariant>
#include <QWidget>

#include <exception>

namespace fw {

QString failureMessage(const std::exception &failure)
{
    return QString::fromUtf8(failure.what());
}

namespace {
const char *const ClosingProperty = "fwScreenClosing";
const char *const RefocusProperty = "fwFocusBeingPutBack";
}

bool focusBeingPutBack(const QWidget *widget)
{
    return widget && widget->window()->property(RefocusProperty).toBool();
}

void markScreenClosing(QWidget *screen)
{
    screen->setProperty(ClosingProperty, true);
}

bool screenClosing(const QWidget *widget)
{
    for (const QWidget *w = widget; w; w = w->parentWidget()) {
        if (w->property(ClosingProperty).toBool())
            return true;
    }
    return false;
}

void keepFocusAfterChange(QWidget *from, QWidget *to, QWidget *chosen)
{
    if (!chosen || chosen == to)
        return;
    // Where the change, or the window coming back from a message box, left it: in the same
    // window, on the field left or on the one the change went to.
    auto refocus = [from = QPointer<QWidget>(from), to = QPointer<QWidget>(to), chosen = QPointer<QWidget>(chosen)] {
        QTimer::singleShot(0, chosen, [from, to, chosen] {
            QWidget *now = QApplication::focusWidget();
            const bool undone = !now || now == from || now == to || (chosen && now->window() == chosen->window());
            if (chosen && chosen->isVisible() && chosen->isEnabled() && now != chosen && undone
                && !screenClosing(chosen))
                chosen->setFocus(Qt::OtherFocusReason);
            if (chosen)
                chosen->window()->setProperty(RefocusProperty, false);
        });
    };
    if (chosen->isActiveWindow()) {
        refocus();
        return;
    }
    // Until then the focus wanders as the window comes back, by Qt's doing, not the operator's:
    // no enter or exit runs.
    chosen->window()->setProperty(RefocusProperty, true);
    // A message box took the activation: the window gives the focus back to its last field when
    // it is active again, and only then is the choice put back.
    auto *waiting = new QObject(chosen);
    QObject::connect(qApp, &QApplication::focusChanged, waiting, [waiting, chosen = QPointer<QWidget>(chosen), refocus] {
        if (!chosen || !chosen->isActiveWindow())
            return;
        refocus();
        waiting->deleteLater();
    });
}

bool guarded(const std::function<void()> &handler)
{
    try {
        handler();
        return true;
    } catch (const Abort &) {
        return false;
    } catch (const DetailedError &failure) {
        showError(failureMessage(failure), failure.details());
    } catch (const std::exception &failure) {
        showError(failureMessage(failure));
    } catch (...) {
        showError(QStringLiteral("Erro inesperado. A operação foi interrompida."));
    }
    return false;
}

} // namespace fw
