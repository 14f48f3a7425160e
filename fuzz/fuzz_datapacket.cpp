// A data packet loaded as a look-up list loads it (taking the packet's fields) and as the
// statement loads it (its own fields, two of them calculated).
#include "expect.h"
#include "movementfields.h"
#include "recordsetpacket.h"
#include <framework/data/recordset.h>

#include <cstdint>

namespace {

void readEveryValue(const fw::RecordSet &set)
{
    for (int row = 0; row < set.recordCount(); ++row) {
        for (int f = 0; f < set.fieldCount(); ++f) {
            set.valueAt(row, f);
            set.displayTextAt(row, f);
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArrayView packet(data, qsizetype(size));
    try {
        fw::RecordSet list;
        list.loadFromPacket(packet);
        readEveryValue(list);
        // What a record set took, it writes back as a packet it takes again.
        fw::RecordSet copy;
        copy.loadFromPacket(recordSetPacket(list));
        expect(copy.recordCount() == list.recordCount() && copy.fieldCount() == list.fieldCount(),
               "a written packet reads back otherwise");
    } catch (const fw::PacketError &) {
    }
    try {
        fw::RecordSet statement;
        acc00420::defineMovementFields(statement);
        statement.loadFromPacket(packet);
        readEveryValue(statement);
    } catch (const fw::PacketError &) {
    }
    return 0;
}
