// Writes the seed corpus, valid messages only, with the project's own encoders:
//   TZ=America/Sao_Paulo build/fuzz/make_corpus fuzz/corpus
// Files are named by what they hold; inputs kept from findings have other names and stay.
#include <framework/data/datapacket.h>
#include <framework/data/frame.h>
#include "movementfields.h"
#include <framework/data/protocol.h>
#include <framework/data/recordset.h>
#include <framework/data/sessioncontract.h>
#include "statementpacket.h"
#include <framework/data/wiredatetime.h>

#include <QDir>
#include <QFile>
#include <QTimeZone>

#include <cstdio>

namespace {

QString root;

void write(const char *target, const char *name, const QByteArray &bytes)
{
    const QString dir = root + u'/' + QLatin1String(target);
    QDir().mkpath(dir);
    QFile file(dir + u'/' + QLatin1String(name));
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size()) {
        std::fprintf(stderr, "make_corpus: cannot write %s\n", qPrintable(file.fileName()));
        std::exit(1);
    }
}

const QString Object = QStringLiteral("Acc00420.rdmPagClie");

QDateTime at(int year, int month, int day, int hour, int minute)
{
    return QDateTime(QDate(year, month, day), QTime(hour, minute), QTimeZone(-3 * 3600));
}

QByteArray statement()
{
    TestMovement credit{QStringLiteral("0000000001"), QStringLiteral("C"), 150.0, 0.0, 0.0, 150.0};
    TestMovement sale{QStringLiteral("0000000002"), QStringLiteral("D"), 12.5, 3.25, -3.25, 137.5, 20.0, 100.0,
                      at(2026, 11, 21, 12, 5), QStringLiteral("0000004711"), QStringLiteral("001")};
    return statementPacket({credit, sale});
}

// Every field type, nulls, a non-ASCII text and an indefinite row list.
QByteArray everyType()
{
    const QList<fw::PacketField> fields = {{QStringLiteral("NOME"), fw::FieldType::String, 10},
                                           {QStringLiteral("VALOR"), fw::FieldType::Float, 0},
                                           {QStringLiteral("QUANDO"), fw::FieldType::DateTime, 0},
                                           {QStringLiteral("QTD"), fw::FieldType::Integer, 0},
                                           {QStringLiteral("ATIVO"), fw::FieldType::Boolean, 0}};
    QByteArray packet;
    fw::DataPacketWriter writer(&packet, fields, -1);
    writer.beginRow();
    writer.writeString(u"Graças");
    writer.writeFloat(-0.01);
    writer.writeDateTime(at(2026, 12, 7, 10, 30).toMSecsSinceEpoch());
    writer.writeInteger(-42);
    writer.writeBoolean(true);
    writer.beginRow();
    for (int i = 0; i < fields.size(); ++i)
        writer.writeNull();
    writer.finish();
    return packet;
}

// The change log of a statement after an insert, a modify and a delete, as the screen sends it.
QByteArray delta()
{
    fw::RecordSet set;
    acc00420::defineMovementFields(set);
    set.loadFromPacket(statement());
    set.edit();
    set.fieldByName("DSHISTMOV").setAsString(QStringLiteral("Acerto de saldo"));
    set.post();
    set.last();
    set.deleteRecord();
    set.insert();
    set.fieldByName("CDCLIENTE").setAsString(QStringLiteral("000000000000000000001"));
    set.fieldByName("NRSEQMOVCLI").setAsString(QStringLiteral("0000000003"));
    set.fieldByName("IDTIPMOCVLI").setAsString(QStringLiteral("D"));
    set.fieldByName("VRMOVCLI").setAsFloat(12.5);
    set.fieldByName("DTMOVCLI").setAsDateTime(at(2026, 12, 7, 10, 30));
    set.post();
    return set.deltaPacket().toCborValue().toCbor();
}

fw::Request request(quint64 id, const char *method, const QCborArray &args)
{
    return {id, Object, QLatin1String(method), args};
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_corpus CORPUS-FOLDER\n");
        return 2;
    }
    root = QString::fromLocal8Bit(argv[1]);

    const QByteArray number = fw::encodeRequest(request(1, "getPrxMovClie", {QStringLiteral("000000000000000001234")}));
    const QByteArray statementCall = fw::encodeRequest(request(
        2, "getMovCliente", {QStringLiteral("000000000000000000001"), QStringLiteral("0001"),
                             fw::dateTimeToCbor(at(2026, 10, 8, 0, 0)), fw::dateTimeToCbor(at(2026, 12, 7, 23, 59))}));
    const QByteArray send = fw::encodeRequest(request(3, "SetMovCliente", {QCborValue::fromCbor(delta())}));
    const QByteArray numberReply = fw::encodeReply(1, QCborValue(QStringLiteral("0000000042")).toCbor());
    const QByteArray statementReply = fw::encodeReply(2, fw::encodeEnvelope(true, {}, QByteArrayView(statement())));
    const QByteArray refusedReply = fw::encodeReply(3, fw::encodeEnvelope(false, QStringLiteral("Cliente não cadastrado."), QCborValue()));
    const QByteArray errorReply = fw::encodeErrorReply(4, QStringLiteral("unknown-method"), QStringLiteral("x"));

    write("fuzz_request", "request-getPrxMovClie", number);
    write("fuzz_request", "request-getMovCliente", statementCall);
    write("fuzz_request", "request-SetMovCliente", send);
    write("fuzz_request", "request-entrar",
          fw::encodeRequest({5, QLatin1String(fw::SessionObjectName), QStringLiteral("entrar"),
                             {QStringLiteral("0007"), QStringLiteral("demo0007"), QStringLiteral("0001"), QStringLiteral("caixa-3")}}));
    write("fuzz_request", "request-retomar",
          fw::encodeRequest({6, QLatin1String(fw::SessionObjectName), QStringLiteral("retomar"),
                             {QStringLiteral("q0pXq9W3JdB9hS3pYd2z2t6b7k4m1n8c5v0x3z6a9s2")}}));
    write("fuzz_request", "reply-number", numberReply);
    write("fuzz_request", "reply-statement", statementReply);
    write("fuzz_request", "reply-refused", refusedReply);
    write("fuzz_request", "reply-error", errorReply);

    // The first two bytes choose the reader's maximum (times 4) and the size of each read.
    write("fuzz_frame", "one-request", QByteArray("\xff\x07", 2) + fw::encodeFrame(number));
    write("fuzz_frame", "request-reply-empty", QByteArray("\xff\x01", 2) + fw::encodeFrame(number)
                                                     + fw::encodeFrame(numberReply) + fw::encodeFrame({}));
    write("fuzz_frame", "too-large", QByteArray("\x08\x03", 2) + fw::encodeFrame(refusedReply));

    write("fuzz_datapacket", "statement", statement());
    write("fuzz_datapacket", "consumers", consumersPacket(QStringLiteral("000000000000000000001"),
                                                          {{QStringLiteral("000000000000000000001"), QStringLiteral("Ana Beatriz Costa")},
                                                           {QStringLiteral("000000000000000000002"), QStringLiteral("João Batista")}}));
    write("fuzz_datapacket", "every-type", everyType());
    write("fuzz_datapacket", "empty", consumersPacket(QStringLiteral("000000000000000000001"), {}));

    write("fuzz_delta", "insert-modify-delete", delta());
    write("fuzz_delta", "empty", fw::deltaToCbor({acc00420::consumerPacketFields(), {}}).toCborValue().toCbor());

    write("fuzz_wiredatetime", "local", fw::formatWireDateTime(at(2026, 12, 7, 10, 30).toMSecsSinceEpoch()));
    write("fuzz_wiredatetime", "summer-time-repeated-hour", fw::formatWireDateTime(at(2018, 2, 17, 23, 59).toMSecsSinceEpoch() + 999));
    write("fuzz_wiredatetime", "before-epoch", fw::formatWireDateTime(at(1900, 2, 28, 0, 0).toMSecsSinceEpoch()));
    write("fuzz_wiredatetime", "utc-no-fraction", "2024-02-29T03:00:00Z");
    write("fuzz_wiredatetime", "long-fraction", "2026-12-07T10:30:00.123456789+05:45");
    return 0;
}
