#include "cboritem.h"

namespace fw {

CborItem::CborItem(QByteArray buffer, qsizetype offset, qsizetype length)
    : m_buffer(std::move(buffer))
    , m_offset(offset)
    , m_length(length)
{
}

CborItem CborItem::fromValue(const QCborValue &value)
{
    QByteArray bytes = value.toCbor();
    const qsizetype length = bytes.size();
    return CborItem(std::move(bytes), 0, length);
}

QCborValue CborItem::toValue() const
{
    if (m_length == 0)
        return QCborValue(QCborValue::Undefined);
    return QCborValue::fromCbor(QByteArray::fromRawData(m_buffer.constData() + m_offset, m_length));
}

} // namespace fw
