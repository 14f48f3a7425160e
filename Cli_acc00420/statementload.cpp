#include "statementload.h"

#include <framework/core/abort.h>
#include <framework/data/checkresultserv.h>
#include <framework/ui/busyindicator.h>

namespace acc00420 {

void loadStatementInParts(AccountService service, fw::RecordSet &into, QString &cdConsumidor, QString &tCdConsumidor,
                          const QString &cdCliente, const QDateTime &dtInicio, const std::function<bool()> &wanted)
{
    bool started = false;
    const auto take = [&](const fw::CborItem &packet) {
        if (!wanted() || (started && !into.active()))
            throw fw::Abort();
        if (std::exchange(started, true))
            into.appendFromPacket(packet.bytes());
        else
            into.loadFromPacket(packet.bytes());
    };
    try {
        const fw::CborItem payload = fw::CheckResultServ(
            service.getMovCliente(cdConsumidor, tCdConsumidor, cdCliente, dtInicio,
                                  [&](const fw::CborItem &packet, std::optional<quint64> total) {
                                      take(packet);
                                      fw::setBusyProgress(into.recordCount(), total);
                                  }),
            true, 0);
        take(payload);
    } catch (...) {
        // Given up meanwhile (the screen closing closes its connection too): nothing to tell.
        if (!wanted())
            throw fw::Abort();
        if (started)
            into.close();
        throw;
    }
}

} // namespace acc00420
