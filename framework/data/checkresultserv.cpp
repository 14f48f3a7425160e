#include "checkresultserv.h"

#include <framework/core/abort.h>
#include <framework/data/cborread.h>
#include <framework/core/dialogs.h>

#include <QCborStreamReader>

namespace fw {
namespace {

struct Envelope
{
    bool valid = false;
    bool ok = false;
    QString message;
    qint64 payloadStart = -1;
    qint64 payloadEnd = -1;
};

Envelope open(QByteArrayView bytes)
{
    Envelope envelope;
    QCborStreamReader reader(bytes.data(), bytes.size());
    if (!reader.isMap())
        return envelope;
    const qint64 entries = reader.isLengthKnown() ? qint64(reader.length()) : -1;
    if (!reader.enterContainer())
        return envelope;
    bool haveOk = false;
    qint64 entry = 0;
    while (reader.hasNext()) {
        ++entry;
        const auto key = readCborText(reader);
        if (!key)
            return envelope;
        if (*key == QLatin1String("ok")) {
            if (!reader.isBool())
                return envelope;
            envelope.ok = reader.toBool();
            haveOk = true;
            reader.next();
        } else if (*key == QLatin1String("message")) {
            if (reader.isString()) {
                const auto text = readCborText(reader);
                if (!text)
                    return envelope;
                envelope.message = *text;
            } else if (!reader.next()) {
                return envelope;
            }
        } else if (*key == QLatin1String("payload")) {
            envelope.payloadStart = reader.currentOffset();
            if (entry == entries) {
                // The envelope's last value ends with it: a large packet is not walked twice.
                envelope.payloadEnd = bytes.size();
                envelope.valid = haveOk;
                return envelope;
            }
            if (!reader.next())
                return envelope;
            envelope.payloadEnd = reader.currentOffset();
        } else if (!reader.next()) {
            return envelope;
        }
    }
    envelope.valid = haveOk && reader.lastError() == QCborError::NoError;
    return envelope;
}

} // namespace

CborItem CheckResultServ(const CborItem &result, bool report, int)
{
    const QByteArrayView bytes = result.bytes();
    const Envelope envelope = open(bytes);
    if (envelope.valid && envelope.ok) {
        if (envelope.payloadStart < 0)
            return {};
        // The payload stays inside the received frame, not copied.
        return result.inner(envelope.payloadStart, envelope.payloadEnd - envelope.payloadStart);
    }
    if (report) {
        QString text = !envelope.valid
            ? QStringLiteral("O servidor de aplicação deu uma resposta inválida. Tente novamente; "
                             "se persistir, avise o suporte.")
            : envelope.message;
        if (text.trimmed().isEmpty())
            text = QStringLiteral("O servidor de aplicação não concluiu a operação.");
        showError(text);
    }
    throw Abort();
}

} // namespace fw
