#pragma once

#include <framework/data/cboritem.h>
#include <framework/data/dataexport.h>

#include <QCborArray>
#include <QCborMap>
#include <QDateTime>
#include <QString>

#include <initializer_list>
#include <optional>
#include <stdexcept>

namespace fw {

// A message that breaks the wire protocol (docs/protocol.md).
class FW_DATA_EXPORT ProtocolError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

// {"id": uint, "object": text, "method": text, "args": [...]}, and "stream": true when the
// client takes a large result in parts.
struct Request
{
    quint64 id = 0;
    QString object;
    QString method;
    QCborArray args;
    bool streamed = false;
};

struct ReplyError
{
    QString code;
    QString message;
};

// {"id": uint, "result": value} or {"id": uint, "error": {"code": text, "message": text}};
// or a part of a streamed result, {"id": uint, "total": uint, "part": packet}, "total" optional.
struct Reply
{
    quint64 id = 0;
    std::optional<ReplyError> error;
    CborItem result; // a part's packet, for a part
    bool part = false;
    std::optional<quint64> total; // the rows of the whole result, when a part says
};

// {"event": text, ...} with no "id": what the server sends unasked, to a connection that asked
// to be told (docs/protocol.md). `fields` holds the whole map, "event" included.
struct Event
{
    QString name;
    QCborMap fields;
};

FW_DATA_EXPORT QByteArray encodeRequest(const Request &request);
// No method takes more arguments; a request with more is refused before it is decoded.
constexpr quint64 MaxRequestArguments = 64;

// Throws ProtocolError naming what is wrong; the id is kept in *id as soon as it is read, so
// the error reply can carry it.
FW_DATA_EXPORT Request decodeRequest(const QByteArray &message, quint64 *id = nullptr);

// A reply whose result is already encoded (a large packet is written once, never copied into
// a tree of values).
FW_DATA_EXPORT QByteArray encodeReply(quint64 id, QByteArrayView encodedResult);
// What goes before the result: a frame of it and the result is the reply, without a copy of the
// reply in between.
FW_DATA_EXPORT QByteArray encodeReplyHead(quint64 id);
// A part of a streamed result: a data packet of the next rows, ahead of the reply.
FW_DATA_EXPORT QByteArray encodeReplyPart(quint64 id, std::optional<quint64> total, QByteArrayView encodedPacket);
FW_DATA_EXPORT QByteArray encodeErrorReply(quint64 id, const QString &code, const QString &message);
FW_DATA_EXPORT Reply decodeReply(const QByteArray &message);
FW_DATA_EXPORT QByteArray encodeEvent(const QString &name, const QCborMap &fields);
// The event a message is; nullopt when it is not one (a reply, whose first key is its "id", is
// told at once without reading further). A map without "id" that names no event is no event.
FW_DATA_EXPORT std::optional<Event> decodeEvent(const QByteArray &message);

// The result envelope of the account methods: {"ok": bool, "message": text, "payload": value}.
FW_DATA_EXPORT QByteArray encodeEnvelope(bool ok, const QString &message, QByteArrayView encodedPayload);
// The payload given in parts (a packet's head and its rows), written once.
FW_DATA_EXPORT QByteArray encodeEnvelope(bool ok, const QString &message, std::initializer_list<QByteArrayView> encodedPayloadParts);
FW_DATA_EXPORT QByteArray encodeEnvelope(bool ok, const QString &message, const QCborValue &payload);

// A date-time argument: tag 0 with RFC 3339 text in local time with its offset.
FW_DATA_EXPORT QCborValue dateTimeToCbor(const QDateTime &moment);
// nullopt when the value is not a tag-0 date-time.
FW_DATA_EXPORT std::optional<QDateTime> dateTimeFromCbor(const QCborValue &value);

} // namespace fw
