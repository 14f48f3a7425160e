#include "handlerguard.h"

#include "abort.h"
#include "dialogs.h"

#include <exception>

namespace fw {

QString failureMessage(const std::exception &failure)
{
    return QString::fromUtf8(failure.what());
}

bool guarded(const std::function<void()> &handler)
{
    try {
        handler();
        return true;
    } catch (const Abort &) {
        return false;
    } catch (const std::exception &failure) {
        showError(failureMessage(failure));
    } catch (...) {
        showError(QStringLiteral("Erro inesperado. A operação foi interrompida."));
    }
    return false;
}

} // namespace fw
