#include "protocol.h"

#include <framework/data/cborread.h>
#include <framework/data/frame.h>
#include <framework/data/wiredatetime.h>

#include <QCborMap>
#include <QCborStreamReader>
#include <QCborStreamWriter>

namespace fw {
namespace {

[[noreturn]] void protocolError(const QString &why)
{
    throw ProtocolError(why.toStdString());
}

// Counts a request's arguments before anything is built from it: one announcing millions would
// otherwise be decoded whole, into hundreds of megabytes, before its count is refused. What else
// is wrong with it is the full decoding's to say.
void checkArgumentCount(const QByteArray &message, quint64 *id)
{
    QCborStreamReader reader(message);
    if (!reader.isMap() || !reader.enterContainer())
        return;
    while (reader.hasNext()) {
        const std::optional<QString> key = readCborText(reader);
        if (!key || !reader.hasNext())
            return;
        if (*key == QLatin1String("id") && reader.isUnsignedInteger() && id)
            *id = reader.toUnsignedInteger();
        if (*key == QLatin1String("args") && reader.isArray()) {
            quint64 count = 0;
            if (reader.isLengthKnown()) {
                count = reader.length();
            } else if (reader.enterContainer()) {
                while (reader.hasNext() && count <= MaxRequestArguments && reader.next())
                    ++count;
            }
            if (count > MaxRequestArguments)
                protocolError(QStringLiteral("a requisição traz %1 argumentos; nenhum método recebe mais de %2")
                                  .arg(count).arg(MaxRequestArguments));
            return;
        }
        if (!reader.next())
            return;
    }
}

} // namespace

QByteArray encodeRequest(const Request &request)
{
    QCborMap m;
    m.insert(QLatin1String("id"), qint64(request.id));
    m.insert(QLatin1String("object"), request.object);
    m.insert(QLatin1String("method"), request.method);
    m.insert(QLatin1String("args"), request.args);
    if (request.streamed)
        m.insert(QLatin1String("stream"), true);
    return m.toCborValue().toCbor();
}

Request decodeRequest(const QByteArray &message, quint64 *id)
{
    checkArgumentCount(message, id);
    QCborParserError error;
    const QCborValue value = QCborValue::fromCbor(message, &error);
    if (error.error != QCborError::NoError)
        protocolError(QStringLiteral("CBOR inválido: %1").arg(error.errorString()));
    if (!value.isMap())
        protocolError(QStringLiteral("a requisição não é um mapa"));
    const QCborMap m = value.toMap();
    Request r;
    const QCborValue idValue = m.value(QLatin1String("id"));
    if (!idValue.isInteger() || idValue.toInteger() < 0)
        protocolError(QStringLiteral("requisição sem \"id\" inteiro não negativo"));
    r.id = quint64(idValue.toInteger());
    if (id)
        *id = r.id;
    const QCborValue object = m.value(QLatin1String("object"));
    const QCborValue method = m.value(QLatin1String("method"));
    const QCborValue args = m.value(QLatin1String("args"));
    if (!object.isString())
        protocolError(QStringLiteral("requisição sem \"object\""));
    if (!method.isString())
        protocolError(QStringLiteral("requisição sem \"method\""));
    if (!args.isArray())
        protocolError(QStringLiteral("requisição sem a lista \"args\""));
    r.object = object.toString();
    r.method = method.toString();
    r.args = args.toArray();
    r.streamed = m.value(QLatin1String("stream")).isTrue();
    return r;
}

QByteArray encodeReplyHead(quint64 id)
{
    QByteArray bytes;
    QCborStreamWriter writer(&bytes);
    writer.startMap(2);
    writer.append(QLatin1String("id"));
    writer.append(id);
    writer.append(QLatin1String("result"));
    // The map's last value follows as it was encoded.
    return bytes;
}

QByteArray encodeReply(quint64 id, QByteArrayView encodedResult)
{
    QByteArray bytes = encodeReplyHead(id);
    bytes.append(encodedResult);
    return bytes;
}

QByteArray encodeReplyPart(quint64 id, std::optional<quint64> total, QByteArrayView encodedPacket)
{
    QByteArray bytes;
    {
        QCborStreamWriter writer(&bytes);
        writer.startMap(total ? 3 : 2);
        writer.append(QLatin1String("id"));
        writer.append(id);
        if (total) {
            writer.append(QLatin1String("total"));
            writer.append(*total);
        }
        writer.append(QLatin1String("part"));
    }
    bytes.append(encodedPacket);
    return bytes;
}

QByteArray encodeErrorReply(quint64 id, const QString &code, const QString &message)
{
    QCborMap error;
    error.insert(QLatin1String("code"), code);
    error.insert(QLatin1String("message"), message);
    QCborMap m;
    m.insert(QLatin1String("id"), qint64(id));
    m.insert(QLatin1String("error"), error);
    return m.toCborValue().toCbor();
}

Reply decodeReply(const QByteArray &message)
{
    QCborStreamReader reader(message);
    if (!reader.isMap())
        protocolError(QStringLiteral("a resposta não é um mapa"));
    const qint64 entries = reader.isLengthKnown() ? qint64(reader.length()) : -1;
    reader.enterContainer();
    Reply reply;
    bool haveId = false;
    bool haveOutcome = false;
    qint64 entry = 0;
    while (reader.hasNext()) {
        ++entry;
        const auto key = readCborText(reader);
        if (!key)
            protocolError(QStringLiteral("chave da resposta ilegível"));
        if (*key == QLatin1String("id")) {
            if (!reader.isUnsignedInteger())
                protocolError(QStringLiteral("\"id\" da resposta não é inteiro"));
            reply.id = reader.toUnsignedInteger();
            reader.next();
            haveId = true;
        } else if (*key == QLatin1String("total")) {
            if (!reader.isUnsignedInteger())
                protocolError(QStringLiteral("\"total\" da parte não é inteiro"));
            reply.total = reader.toUnsignedInteger();
            reader.next();
        } else if (*key == QLatin1String("result") || *key == QLatin1String("part")) {
            const qint64 start = reader.currentOffset();
            haveOutcome = true;
            reply.part = *key == QLatin1String("part");
            if (entry == entries) {
                // The last value of the message ends where the message ends: no need to
                // walk a large packet just to find its end.
                reply.result = CborItem(message, start, message.size() - start);
                break;
            }
            if (!reader.next())
                protocolError(QStringLiteral("\"result\" ilegível"));
            reply.result = CborItem(message, start, reader.currentOffset() - start);
        } else if (*key == QLatin1String("error")) {
            const QCborValue value = QCborValue::fromCbor(reader);
            // A value cut short or with broken text comes back half-built: reading it
            // reads past its elements.
            if (reader.lastError() != QCborError::NoError)
                protocolError(QStringLiteral("\"error\" ilegível: %1").arg(reader.lastError().toString()));
            const QCborMap error = value.toMap();
            reply.error = ReplyError{error.value(QLatin1String("code")).toString(),
                                     error.value(QLatin1String("message")).toString()};
            haveOutcome = true;
        } else if (!reader.next()) {
            protocolError(QStringLiteral("resposta ilegível"));
        }
    }
    if (reader.lastError() != QCborError::NoError)
        protocolError(QStringLiteral("resposta ilegível: %1").arg(reader.lastError().toString()));
    if (!haveId || !haveOutcome)
        protocolError(QStringLiteral("resposta sem \"id\" ou sem \"result\"/\"error\"/\"part\""));
    return reply;
}

QByteArray encodeEvent(const QString &name, const QCborMap &fields)
{
    QCborMap event;
    event.insert(QLatin1String("event"), name);
    for (auto it = fields.cbegin(); it != fields.cend(); ++it)
        event.insert(it.key(), it.value());
    return event.toCborValue().toCbor();
}

std::optional<Event> decodeEvent(const QByteArray &message)
{
    QCborStreamReader reader(message);
    if (!reader.isMap() || !reader.enterContainer() || !reader.hasNext())
        return std::nullopt;
    const std::optional<QString> first = readCborText(reader);
    if (!first || *first == QLatin1String("id"))
        return std::nullopt;
    // Events are small: the whole map is read.
    const QCborMap map = QCborValue::fromCbor(message).toMap();
    const QCborValue name = map.value(QLatin1String("event"));
    if (map.contains(QLatin1String("id")) || !name.isString())
        return std::nullopt;
    return Event{name.toString(), map};
}

QByteArray encodeEnvelope(bool ok, const QString &message, QByteArrayView encodedPayload)
{
    return encodeEnvelope(ok, message, {encodedPayload});
}

QByteArray encodeEnvelope(bool ok, const QString &message, std::initializer_list<QByteArrayView> encodedPayloadParts)
{
    QByteArray bytes;
    {
        QCborStreamWriter writer(&bytes);
        writer.startMap(3);
        writer.append(QLatin1String("ok"));
        writer.append(ok);
        writer.append(QLatin1String("message"));
        writer.append(message);
        writer.append(QLatin1String("payload"));
    }
    appendParts(bytes, encodedPayloadParts);
    return bytes;
}

QByteArray encodeEnvelope(bool ok, const QString &message, const QCborValue &payload)
{
    // "No value" travels as null; a default QCborValue is undefined, which no reader expects.
    const QCborValue value = payload.isUndefined() ? QCborValue(nullptr) : payload;
    return encodeEnvelope(ok, message, QByteArrayView(value.toCbor()));
}

QCborValue dateTimeToCbor(const QDateTime &moment)
{
    return QCborValue(QCborKnownTags::DateTimeString,
                      QString::fromLatin1(formatWireDateTime(moment.toMSecsSinceEpoch())));
}

std::optional<QDateTime> dateTimeFromCbor(const QCborValue &value)
{
    if (!value.isDateTime() && !(value.isTag() && value.tag() == QCborTag(QCborKnownTags::DateTimeString)))
        return std::nullopt;
    const QByteArray text = value.taggedValue().toString().toLatin1();
    const auto msecs = parseWireDateTime(text.constData(), text.size());
    if (!msecs)
        return std::nullopt;
    return QDateTime::fromMSecsSinceEpoch(*msecs);
}

} // namespace fw
