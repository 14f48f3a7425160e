// The server's getMovCliente reply for 100,000 movements, as the Ledger writes it, decoded and
// loaded into the statement's record set (rows/s), beside a bare QCborStreamReader walk of the
// same bytes that reads every value; and the resident bytes each loaded movement takes.
//
//   bench_load [database file]   (default: a temporary file, built on first use)

#include <framework/core/largebuffers.h>
#include <framework/data/checkresultserv.h>
#include "ledger.h"
#include "ledgerdata.h"
#include "measure.h"
#include "movementfields.h"
#include <framework/data/protocol.h>
#include <framework/data/recordset.h>
#include "schema.h"

#include <QCborStreamReader>
#include <QCoreApplication>
#include <QTemporaryDir>

#include <malloc.h>

#include <cstdio>

namespace {

constexpr int Movements = 100000;
constexpr int Runs = 5;

// One item and everything inside it, each value read once and texts as their bytes: the
// least any decoder of these bytes does.
quint64 walk(QCborStreamReader &r)
{
    quint64 sum = 0;
    switch (r.type()) {
    case QCborStreamReader::Array:
    case QCborStreamReader::Map:
        r.enterContainer();
        while (r.hasNext())
            sum += walk(r);
        r.leaveContainer();
        return sum;
    case QCborStreamReader::String:
    case QCborStreamReader::ByteArray: {
        char buffer[256];
        for (auto chunk = r.readStringChunk(buffer, sizeof buffer); chunk.status == QCborStreamReader::Ok;
             chunk = r.readStringChunk(buffer, sizeof buffer))
            sum += quint64(chunk.data) + quint8(buffer[0]);
        return sum;
    }
    case QCborStreamReader::Tag:
        sum = quint64(r.toTag());
        r.next();
        return sum + walk(r);
    case QCborStreamReader::UnsignedInteger:
        sum = r.toUnsignedInteger();
        break;
    case QCborStreamReader::Double:
        sum = quint64(r.toDouble());
        break;
    default:
        sum = 1;
        break;
    }
    r.next();
    return sum;
}

} // namespace

int main(int argc, char **argv)
{
    fw::keepLargeBuffersForReuse();
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    const QString file = argc > 1 ? QString::fromLocal8Bit(argv[1]) : dir.filePath(QStringLiteral("bench.db"));
    server::Storage storage(file);
    server::migrate(storage.connection(), storage.kind());
    bench::fillLedger(storage);
    // The reply as the server sends it.
    const QByteArray reply = fw::encodeReply(1, server::Ledger(storage).getMovCliente(bench::statementArgs(bench::BigClient)).result);
    std::printf("getMovCliente reply of %d movements: %.1f MiB\n", Movements, reply.size() / 1048576.0);

    // Loads and walks take turns, so a busy spell of the machine weighs on both alike.
    std::vector<double> loads, walks, bytesPerMovement;
    quint64 checksum = 0;
    for (int run = -1; run < Runs; ++run) { // run -1 warms up
        fw::RecordSet set;
        acc00420::defineMovementFields(set);
        malloc_trim(0);
        const qint64 before = bench::residentBytes();
        const double load = bench::timeMs([&] {
            const fw::CborItem payload = fw::CheckResultServ(fw::decodeReply(reply).result, true, 0);
            set.loadFromPacket(payload.bytes());
        });
        malloc_trim(0);
        const double bytes = double(bench::residentBytes() - before) / Movements;
        if (set.recordCount() != Movements)
            qFatal("loaded %d movements, not %d", set.recordCount(), Movements);
        const double walked = bench::timeMs([&] {
            QCborStreamReader reader(reply);
            checksum += walk(reader);
            if (reader.lastError() != QCborError::NoError)
                qFatal("the walk failed: %s", qUtf8Printable(reader.lastError().toString()));
        });
        if (run < 0)
            continue;
        loads.push_back(load);
        walks.push_back(walked);
        bytesPerMovement.push_back(bytes);
    }

    const double loadMs = bench::median(loads), walkMs = bench::median(walks);
    const double loadRate = Movements / loadMs * 1000, walkRate = Movements / walkMs * 1000;
    const double ratio = loadRate / walkRate, bytes = bench::median(bytesPerMovement);
    std::printf("decode+load: median %.1f ms, %.0f rows/s; bare QCborStreamReader walk: %.1f ms, %.0f rows/s "
                "(checksum %llu)\n", loadMs, loadRate, walkMs, walkRate, static_cast<unsigned long long>(checksum));
    std::printf("ratio %.0f%% (target: >= 50%%); resident %.0f bytes per loaded movement (target: <= 300)\n",
                ratio * 100, bytes);
    bench::tableRow(QStringLiteral("load, %1 movements: decode+load vs bare QCborStreamReader walk").arg(Movements),
                    QStringLiteral("%1 rows/s").arg(loadRate, 0, 'f', 0),
                    QStringLiteral("%1 rows/s").arg(walkRate, 0, 'f', 0), bench::percent(ratio),
                    QStringLiteral("≥ 50%"), ratio >= 0.5);
    bench::tableRow(QStringLiteral("load, %1 movements: resident bytes per movement").arg(Movements),
                    QStringLiteral("%1 B").arg(bytes, 0, 'f', 0), QStringLiteral("—"), QStringLiteral("—"),
                    QStringLiteral("≤ 300 B"), bytes <= 300);
    return 0;
}
