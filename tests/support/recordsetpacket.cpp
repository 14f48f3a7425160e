#include "recordsetpacket.h"

#include <framework/data/datapacket.h>
#include <framework/data/recordset.h>

QByteArray recordSetPacket(const fw::RecordSet &set)
{
    // The stored rows only: a record being edited or inserted is not one of them yet.
    if (set.state() != fw::DataSetState::Browse)
        qFatal("recordSetPacket: the record set is not browsing");
    QList<fw::PacketField> fields;
    QList<int> indexes;
    for (int i = 0; i < set.fieldCount(); ++i) {
        const fw::Field &f = set.field(i);
        if (!f.calculated()) {
            fields.append({f.fieldName(), f.dataType(), f.size()});
            indexes.append(i);
        }
    }
    QByteArray bytes;
    fw::DataPacketWriter writer(&bytes, fields, set.recordCount());
    for (int row = 0; row < set.recordCount(); ++row) {
        writer.beginRow();
        for (int i : std::as_const(indexes))
            writer.writeValue(set.field(i).dataType(), set.valueAt(row, i));
    }
    writer.finish();
    return bytes;
}
