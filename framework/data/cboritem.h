#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QCborValue>

namespace fw {

// One CBOR data item kept in its encoded form inside a received frame, so a large packet is
// decoded once, straight into its record set, instead of first into a tree of values.
class CborItem
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
    // Decodes the item whole; meant for small results (a flag, a number, a text).
    QCborValue toValue() const;

private:
    QByteArray m_buffer;
    qsizetype m_offset = 0;
    qsizetype m_length = 0;
};

} // namespace fw
