#include "cboritem.h"

#include <framework/data/cborread.h>

#include <QCborStreamReader>

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

CborItem CborItem::member(QLatin1StringView key) const
{
    const QByteArrayView all = bytes();
    QCborStreamReader reader(all.data(), all.size());
    if (!reader.isMap())
        return {};
    const qint64 entries = reader.isLengthKnown() ? qint64(reader.length()) : -1;
    if (!reader.enterContainer())
        return {};
    for (qint64 entry = 1; reader.hasNext(); ++entry) {
        const std::optional<QString> name = readCborText(reader);
        if (!name || !reader.hasNext())
            return {};
        const qint64 start = reader.currentOffset();
        if (*name == key && entry == entries)
            return inner(start, all.size() - start);
        if (!reader.next())
            return {};
        if (*name == key)
            return inner(start, reader.currentOffset() - start);
    }
    return {};
}

QCborValue CborItem::toValue() const
{
    if (m_length == 0)
        return QCborValue(QCborValue::Undefined);
    return QCborValue::fromCbor(QByteArray::fromRawData(m_buffer.constData() + m_offset, m_length));
}

} // namespace fw
