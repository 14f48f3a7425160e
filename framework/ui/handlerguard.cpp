#include "handlerguard.h"

#include "abort.h"
#include "detailederror.h"
#include "dialogs.h"

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
