#include "frame.h"

#include <QtEndian>

#include <algorithm>

namespace fw {

QByteArray frameHeader(qsizetype payloadLength)
{
    QByteArray header(4, Qt::Uninitialized);
    qToBigEndian(quint32(payloadLength), header.data());
    return header;
}

QByteArray encodeFrame(QByteArrayView payload)
{
    return encodeFrame({payload});
}

void appendParts(QByteArray &out, std::initializer_list<QByteArrayView> parts)
{
    qsizetype length = out.size();
    for (QByteArrayView part : parts)
        length += part.size();
    out.reserve(length);
    for (QByteArrayView part : parts)
        out.append(part);
}

QByteArray encodeFrame(std::initializer_list<QByteArrayView> payloadParts)
{
    qsizetype length = 0;
    for (QByteArrayView part : payloadParts)
        length += part.size();
    QByteArray frame = frameHeader(length);
    appendParts(frame, payloadParts);
    return frame;
}

FrameReader::FrameReader(qsizetype maxFrameBytes)
    : m_max(maxFrameBytes)
{
}

void FrameReader::append(QByteArrayView bytes)
{
    // Drop what was already handed out before growing, so a long-lived connection's buffer
    // stays the size of one frame.
    if (m_consumed > 0 && m_consumed >= m_buffer.size() / 2) {
        m_buffer.remove(0, m_consumed);
        m_consumed = 0;
    }
    m_buffer.append(bytes);
}

FrameReader::Status FrameReader::next(QByteArray *frame)
{
    const qsizetype available = m_buffer.size() - m_consumed;
    if (available < 4)
        return Status::NeedMore;
    m_announced = qsizetype(qFromBigEndian<quint32>(m_buffer.constData() + m_consumed));
    if (m_announced > m_max)
        return Status::TooLarge;
    if (available < 4 + m_announced)
        return Status::NeedMore;
    const bool sizedForIt = m_buffer.capacity() <= m_buffer.size() + m_buffer.size() / 4;
    if (m_consumed == 0 && available == 4 + m_announced && sizedForIt) {
        // The buffer is this frame alone, sized for it (a large reply the client made room
        // for): handed out as it is, its head dropped without moving the bytes. A buffer grown
        // larger is copied from instead, so a frame never holds memory its size doesn't show.
        *frame = std::move(m_buffer);
        frame->remove(0, 4);
        m_buffer = QByteArray();
        return Status::Frame;
    }
    *frame = m_buffer.mid(m_consumed + 4, m_announced);
    m_consumed += 4 + m_announced;
    if (m_consumed == m_buffer.size()) {
        m_buffer.clear();
        m_consumed = 0;
    }
    return Status::Frame;
}

void FrameReader::readFrom(QIODevice &device)
{
    for (qint64 available = device.bytesAvailable(); available > 0;) {
        const qsizetype buffered = m_buffer.size() - m_consumed;
        qsizetype wanted = 4 - buffered; // the head first
        if (buffered >= 4) {
            const auto announced = qsizetype(qFromBigEndian<quint32>(m_buffer.constData() + m_consumed));
            wanted = 4 + announced - buffered;
            if (announced > m_max || wanted == 0)
                return; // next() says it is too large, or hands the frame out
            m_buffer.reserve(m_consumed + 4 + announced);
        }
        const qsizetype at = m_buffer.size();
        m_buffer.resize(at + qsizetype(std::min<qint64>(wanted, available)));
        const qint64 got = device.read(m_buffer.data() + at, m_buffer.size() - at);
        m_buffer.resize(at + qsizetype(std::max<qint64>(got, 0)));
        if (got <= 0)
            return;
        available -= got;
    }
}

} // namespace fw
