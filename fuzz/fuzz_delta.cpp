// A delta read as the server reads SetMovCliente's argument: a CBOR value, then the change log.
#include <framework/data/datapacket.h>
#include "expect.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // The server refuses a request that is not CBOR before any argument is looked at.
    QCborParserError error;
    const QCborValue value = QCborValue::fromCbor(QByteArray(reinterpret_cast<const char *>(data), qsizetype(size)), &error);
    if (error.error != QCborError::NoError)
        return 0;
    try {
        const fw::Delta delta = fw::deltaFromCbor(value);
        for (const fw::DeltaChange &change : delta.changes) {
            expect(change.oldValues.isEmpty() || change.oldValues.size() == delta.fields.size(), "old row of another width");
            expect(change.newValues.isEmpty() || change.newValues.size() == delta.fields.size(), "new row of another width");
        }
        // A delta the server took, written again, is taken again with as many changes.
        const fw::Delta again = fw::deltaFromCbor(fw::deltaToCbor(delta));
        expect(again.fields == delta.fields && again.changes.size() == delta.changes.size(),
               "a re-encoded delta reads back otherwise");
    } catch (const fw::PacketError &) {
    }
    return 0;
}
