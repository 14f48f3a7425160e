// Decodes a getMovCliente reply of 100,000 movements (the movement record's fields, the two
// computed ones included) into a record set, and prints rows/s and resident bytes per row.

#include <framework/data/checkresultserv.h>
#include <framework/data/datapacket.h>
#include "measure.h"
#include "movementfields.h"
#include <framework/data/protocol.h>
#include <framework/data/recordset.h>

#include <QCoreApplication>
#include <QElapsedTimer>

#include <malloc.h>

#include <cstdio>

namespace {

QByteArray statementPacket(int rows)
{
    static const char *const consumers[] = {"Ana Souza", "Bruno Lima", "Carla Dias", "Davi Rocha", "Eva Reis"};
    static const char types[] = {'C', 'D', 'D', 'A', 'X'};
    const qint64 start = 1733011200000; // 2024-12-01
    QByteArray bytes;
    fw::DataPacketWriter w(&bytes, acc00420::movementPacketFields(), rows);
    for (int i = 0; i < rows; ++i) {
        const qint64 when = start + qint64(i) * 60000;
        const bool fromSale = i % 2 == 0;
        const int consumer = i % 5;
        w.beginRow();
        w.writeString(u"000000000000000001234");
        w.writeString(QString::number(i + 1).rightJustified(10, u'0'));
        w.writeString(u"0001");
        w.writeString(QString::number(consumer + 1).rightJustified(21, u'0'));
        w.writeFloat(10 + i % 97 * 0.25);
        w.writeDateTime(when);
        if (i % 5 == 0)
            w.writeString(u"Compra na cantina");
        else
            w.writeNull();
        w.writeString(QString(QLatin1Char(types[i % 5])));
        if (fromSale)
            w.writeString(QString::number(50000 + i).rightJustified(10, u'0'));
        else
            w.writeNull();
        fromSale ? w.writeString(u"001") : w.writeNull();
        w.writeString(QString::fromUtf8(consumers[consumer]));
        fromSale ? w.writeDateTime(when - 3600000) : w.writeNull();
        fromSale ? w.writeString(u"002") : w.writeNull();
        w.writeFloat(0);
        w.writeFloat(-5 + i % 13);
        w.writeFloat(100 - i % 211);
        w.writeDateTime(when);
        w.writeString(u"0007");
        w.writeString(u"Inclusão de crédito/débito realizada pelo operador.");
        w.writeString(u"Maria Aparecida");
        w.writeDateTime(start + qint64(rows) * 60000);
        w.writeString(u"Maria Aparecida");
        w.writeString(u"M");
        w.writeDateTime(when - when % 86400000);
        consumer < 2 ? w.writeFloat(30) : w.writeNull();
        consumer < 2 ? w.writeFloat(150) : w.writeNull();
    }
    w.finish();
    return bytes;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int rows = argc > 1 ? atoi(argv[1]) : 100000;
    const QByteArray reply = fw::encodeReply(1, fw::encodeEnvelope(true, {}, QByteArrayView(statementPacket(rows))));
    std::printf("reply of %d movements: %.1f MiB\n", rows, reply.size() / 1048576.0);

    double best = 1e18;
    qint64 bytesPerRow = 0;
    for (int round = 0; round < 5; ++round) {
        fw::RecordSet set;
        acc00420::defineMovementFields(set);
        set.onCalcFields = [](fw::RecordSet &s) {
            // The screen's consumer and sponsored shares, so the load pays for them as it will.
            const double value = s.field(4).asFloat();
            const double percent = s.field(24).asFloat();
            const double ceiling = s.field(25).asFloat();
            const double consumer = (100 - percent) * (ceiling >= value ? value : ceiling) / 100;
            s.field(26).setAsFloat(consumer);
            s.field(27).setAsFloat(value - consumer);
        };
        malloc_trim(0);
        const qint64 before = bench::residentBytes();
        QElapsedTimer timer;
        timer.start();
        const fw::Reply decoded = fw::decodeReply(reply);
        const fw::CborItem payload = fw::CheckResultServ(decoded.result, true, 0);
        set.loadFromPacket(payload.bytes());
        const double seconds = timer.nsecsElapsed() / 1e9;
        malloc_trim(0);
        const qint64 after = bench::residentBytes();
        if (set.recordCount() != rows)
            return 1;
        if (seconds < best) {
            best = seconds;
            bytesPerRow = (after - before) / rows;
        }
    }
    std::printf("load: best of 5 %.1f ms, %.0f rows/s, %lld resident bytes/row "
                "(targets: >= 500000 rows/s, <= 400 bytes/row)\n",
                best * 1000, rows / best, static_cast<long long>(bytesPerRow));
    return 0;
}
