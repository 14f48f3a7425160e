#pragma once

#include <framework/data/dataexport.h>

#include <QByteArray>
#include <QByteArrayView>
#include <QCborValue>
#include <QLatin1StringView>

namespace fw {

// One CBOR data item kept in its encoded form inside a received frame, so a large packet is
// decoded once, straight into its record set, instead of first into a tree of values.
class FW_DATA_EXPORT CborItem
{
public:
    CborItem() = default;
    CborItem(QByteArray buffer, qsizetype offset, qsizetype length);
    static CborItem fromValue(const QCborValue &value);

    bool isEmpty() const { return m_length == 0; }
    QByteArrayView bytes() const { return QByteArrayView(m_buffer).sliced(m_offset, m_length); }
    // An item inside this one (offset relative to bytes()), sharing the same buffer.
    CborItem inner(qsizetype offset, qsizetype length) const
    {
        return CborItem(m_buffer, m_offset + offset, length);
    }
    // The value under `key` when this item is a map holding it (its first text key of that
    // name), sharing the same buffer; empty otherwise. The map's last value is not walked: it
    // ends where the item ends.
    CborItem member(QLatin1StringView key) const;
    // Decodes the item whole; meant for small results (a flag, a number, a text).
    QCborValue toValue() const;

private:
    QByteArray m_buffer;
    qsizetype m_offset = 0;
    qsizetype m_length = 0;
};

} // namespace fw
