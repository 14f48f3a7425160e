#include "hostservices.h"

#include <QMdiArea>
#include <QWidget>

namespace fw {

HostServices &hostServices()
{
    static HostServices services;
    return services;
}

} // namespace fw
