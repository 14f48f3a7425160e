#pragma once

#include <framework/data/dataexport.h>

#include <QByteArray>
#include <QByteArrayView>
#include <QIODevice>

#include <initializer_list>

namespace fw {

// Every message on the wire is a frame: a 4-byte big-endian length, then that many bytes.
constexpr qsizetype DefaultMaxFrameBytes = 64 * 1024 * 1024;

FW_DATA_EXPORT QByteArray encodeFrame(QByteArrayView payload);
// Appends the parts one after the other, growing the array once.
FW_DATA_EXPORT void appendParts(QByteArray &out, std::initializer_list<QByteArrayView> parts);
// A frame whose payload is these parts one after the other, written once.
FW_DATA_EXPORT QByteArray encodeFrame(std::initializer_list<QByteArrayView> payloadParts);
// The 4-byte header alone, for a payload written after it.
FW_DATA_EXPORT QByteArray frameHeader(qsizetype payloadLength);

// Collects received bytes and hands out whole frames.
class FW_DATA_EXPORT FrameReader
{
public:
    enum class Status { NeedMore, Frame, TooLarge };

    explicit FrameReader(qsizetype maxFrameBytes = DefaultMaxFrameBytes);

    void append(QByteArrayView bytes);
    // Reads what the device has, up to the end of the frame in progress, straight into room
    // made for the whole of that frame: a large frame is neither copied as it grows nor copied
    // out when whole. For a peer trusted with frames up to the maximum (the client's server); a
    // server never reserves what a client merely announces.
    void readFrom(QIODevice &device);
    // Takes the next whole frame out of what was received. TooLarge when the next frame
    // announces more than the maximum; the reader is then unusable and the peer is dropped.
    Status next(QByteArray *frame);
    qsizetype buffered() const { return m_buffer.size() - m_consumed; }
    qsizetype announcedLength() const { return m_announced; }

private:
    QByteArray m_buffer;
    qsizetype m_consumed = 0;
    qsizetype m_max;
    qsizetype m_announced = 0;
};

} // namespace fw
