#include <framework/data/datapacket.h>
#include <framework/data/frame.h>
#include <framework/data/protocol.h>
#include <framework/data/recordset.h>
#include <framework/data/wiredatetime.h>
#include "recordsetpacket.h"

#include <QBuffer>
#include <QCborArray>
#include <QTest>

using namespace fw;

namespace {

QByteArray cbor(const QCborValue &v)
{
    return v.toCbor();
}

QCborMap packet(const QCborArray &fields, const QCborArray &rows)
{
    QCborMap m;
    m.insert(QLatin1String("fields"), fields);
    m.insert(QLatin1String("rows"), rows);
    return m;
}

QCborMap fieldOf(const char *name, const char *type, int size)
{
    QCborMap m;
    m.insert(QLatin1String("name"), QLatin1String(name));
    m.insert(QLatin1String("type"), QLatin1String(type));
    m.insert(QLatin1String("size"), size);
    return m;
}

} // namespace

class TestDataPacket : public QObject
{
    Q_OBJECT
private slots:
    void roundTrip()
    {
        RecordSet source;
        source.addField({"DSHISTMOV", FieldType::String, 80});
        source.addField({"VRMOVCLI", FieldType::Float, 0});
        source.addField({"DTMOVCLI", FieldType::DateTime, 0});
        source.addField({"NRSEQ", FieldType::Integer, 0});
        source.createDataSet();
        const QDateTime moment = QDateTime::fromMSecsSinceEpoch(1796643000123); // .123 ms
        const QString accents = QStringLiteral("Débito à crédito — São João ção");
        source.insert();
        source.fieldByName("DSHISTMOV").setAsString(accents);
        source.fieldByName("VRMOVCLI").setAsFloat(-0.01);
        source.fieldByName("DTMOVCLI").setAsDateTime(moment);
        source.fieldByName("NRSEQ").setAsInteger(42);
        source.post();
        source.insert(); // all nulls
        source.post();
        source.insert();
        source.fieldByName("DSHISTMOV").setAsString(QString(80, u'é')); // exactly the size
        source.post();

        RecordSet copy;
        copy.loadFromPacket(recordSetPacket(source));
        QCOMPARE(copy.recordCount(), 3);
        QCOMPARE(copy.fieldByName("DSHISTMOV").size(), 80);
        copy.last();
        QCOMPARE(copy.fieldByName("DSHISTMOV").asString(), accents);
        QCOMPARE(copy.fieldByName("VRMOVCLI").asFloat(), -0.01);
        QCOMPARE(copy.fieldByName("DTMOVCLI").asDateTime(), moment);
        QCOMPARE(copy.fieldByName("DTMOVCLI").asDateTime().time().msec(), 123);
        QCOMPARE(copy.fieldByName("NRSEQ").asInteger(), 42);
        copy.prior();
        for (int i = 0; i < copy.fieldCount(); ++i)
            QVERIFY(copy.field(i).isNull());
        copy.first();
        QCOMPARE(copy.fieldByName("DSHISTMOV").asString().size(), 80);
    }

    void rowsWrittenBeforeTheirHead_data()
    {
        QTest::addColumn<int>("rows");
        for (int n : {0, 23, 24, 255, 256, 70000})
            QTest::newRow(qPrintable(QString::number(n))) << n;
    }
    void rowsWrittenBeforeTheirHead()
    {
        QFETCH(int, rows);
        const QList<PacketField> fields{{"N", FieldType::Integer, 0}};
        QByteArray body;
        {
            DataPacketWriter writer(&body, fields.size());
            for (int i = 0; i < rows; ++i) {
                writer.beginRow();
                writer.writeInteger(i);
            }
            writer.finish();
        }
        RecordSet set;
        set.loadFromPacket(DataPacketWriter::head(fields, quint64(rows)) + body);
        QCOMPARE(set.recordCount(), rows);
        if (rows > 0) {
            set.last();
            QCOMPARE(set.fieldByName("N").asInteger(), rows - 1);
        }
    }

    void malformedPacketsAreRefused_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        const QCborArray fields{fieldOf("A", "string", 3)};
        QTest::newRow("not a map") << cbor(QCborArray{1, 2});
        QTest::newRow("no rows") << cbor(QCborMap{{QLatin1String("fields"), fields}});
        QTest::newRow("rows before fields")
            << QByteArray::fromHex("a2") + cbor(QLatin1String("rows")) + cbor(QCborArray{})
                   + cbor(QLatin1String("fields")) + cbor(fields);
        QTest::newRow("short row") << cbor(packet(fields, {QCborValue(QCborArray{})}));
        QTest::newRow("long row") << cbor(packet(fields, {QCborValue(QCborArray{"a", "b"})}));
        QTest::newRow("row not a list") << cbor(packet(fields, {"a"}));
        QTest::newRow("wrong type") << cbor(packet(fields, {QCborValue(QCborArray{1})}));
        QTest::newRow("over size") << cbor(packet(fields, {QCborValue(QCborArray{"abcd"})}));
        QTest::newRow("unknown type") << cbor(packet({fieldOf("A", "money", 0)}, {}));
        QTest::newRow("repeated field") << cbor(packet({fieldOf("A", "string", 1), fieldOf("a", "string", 1)}, {}));
        QTest::newRow("bad date") << cbor(packet({fieldOf("D", "datetime", 0)},
                                                 {QCborValue(QCborArray{QCborValue(QCborKnownTags::DateTimeString, "2026-02-30T00:00:00Z")})}));
        QTest::newRow("date without tag") << cbor(packet({fieldOf("D", "datetime", 0)},
                                                        {QCborValue(QCborArray{"2026-02-01T00:00:00Z"})}));
        QByteArray truncated = cbor(packet(fields, {QCborValue(QCborArray{"abc"}), QCborValue(QCborArray{"abc"})}));
        truncated.chop(3);
        QTest::newRow("truncated") << truncated;
        QTest::newRow("empty") << QByteArray();
    }
    void malformedPacketsAreRefused()
    {
        QFETCH(QByteArray, bytes);
        RecordSet set;
        QVERIFY_THROWS_EXCEPTION(PacketError, set.loadFromPacket(bytes));
        QVERIFY(!set.active());
    }

    // Every encoding RFC 8949 allows for a row reads as the plain one does; what breaks it is
    // refused. Fields A (string) and F (float); the rows as bytes, then what follows them.
    void everyEncodingOfARowReads_data()
    {
        QTest::addColumn<QByteArray>("mapHead");
        QTest::addColumn<QByteArray>("rowsAndAfter"); // hex
        QTest::addColumn<QString>("a");               // empty: refused
        QTest::addColumn<double>("f");
        const QByteArray two = "a2", three = "a3", open = "bf";
        QTest::newRow("open list of rows") << two << QByteArray("9f826161fb3ff0000000000000ff") << "a" << 1.0;
        QTest::newRow("open row, half float") << two << QByteArray("819f6161f93c00ff") << "a" << 1.0;
        QTest::newRow("text in chunks, single float") << two << QByteArray("81827f61616162fffa3f800000") << "ab" << 1.0;
        QTest::newRow("integer as the number") << two << QByteArray("8182616120") << "a" << -1.0;
        QTest::newRow("keys after the rows") << three << QByteArray("81826161016178829f9fffff01") << "a" << 1.0;
        QTest::newRow("open packet") << open << QByteArray("818261610161780aff") << "a" << 1.0;
        QTest::newRow("text that is no UTF-8") << two << QByteArray("818262c32801") << "" << 0.0;
        QTest::newRow("break inside a row") << two << QByteArray("81826161ff") << "" << 0.0;
        QTest::newRow("break for a number") << two << QByteArray("81826161ff01") << "" << 0.0;
        QTest::newRow("open row without its end") << two << QByteArray("819f616101") << "" << 0.0;
        QTest::newRow("nesting past any packet's") << three << QByteArray("81826161016178") + QByteArray("9f").repeated(100) << "" << 0.0;
    }
    void everyEncodingOfARowReads()
    {
        QFETCH(QByteArray, mapHead);
        QFETCH(QByteArray, rowsAndAfter);
        QFETCH(QString, a);
        QFETCH(double, f);
        const QByteArray bytes = QByteArray::fromHex(mapHead) + cbor(QLatin1String("fields"))
            + cbor(QCborArray{fieldOf("A", "string", 0), fieldOf("F", "float", 0)}) + cbor(QLatin1String("rows"))
            + QByteArray::fromHex(rowsAndAfter);
        RecordSet set;
        if (a.isEmpty()) {
            QVERIFY_THROWS_EXCEPTION(PacketError, set.loadFromPacket(bytes));
            return;
        }
        set.loadFromPacket(bytes);
        QCOMPARE(set.recordCount(), 1);
        QCOMPARE(set.fieldByName("A").asString(), a);
        QCOMPARE(set.fieldByName("F").asFloat(), f);
    }

    // A count of rows the packet doesn't carry is refused, with nothing reserved for them
    // (four billion floats would be a failed allocation of gigabytes).
    void announcedRowsThatAreNotThereAreRefused()
    {
        QByteArray bytes = cbor(packet({fieldOf("A", "float", 0), fieldOf("B", "float", 0)}, {}));
        bytes.chop(1); // the empty row list
        bytes += QByteArray::fromHex("9afffffffe");
        RecordSet set;
        QVERIFY_THROWS_EXCEPTION(PacketError, set.loadFromPacket(bytes));
    }

    // A broken value under a key after the rows is reported; skipping it must not go round
    // and round on it.
    void brokenKeyAfterTheRowsIsRefused()
    {
        const QByteArray bytes = QByteArray::fromHex("a3") + cbor(QLatin1String("fields"))
            + cbor(QCborArray{fieldOf("A", "string", 0)}) + cbor(QLatin1String("rows")) + cbor(QCborArray{})
            + cbor(QLatin1String("x")) + QByteArray::fromHex("7a0000ffff61");
        RecordSet set;
        QVERIFY_THROWS_EXCEPTION(PacketError, set.loadFromPacket(bytes));
    }

    // A text whose length runs past the packet's end is refused before room is made for it
    // (here 2^56 bytes, an allocation that fails).
    void textLongerThanThePacketIsRefused()
    {
        QByteArray bytes = cbor(packet({fieldOf("A", "string", 0)}, {QCborValue(QCborArray{"abc"})}));
        bytes.replace(QByteArray::fromHex("63616263"), QByteArray::fromHex("7b0100000000000000616263"));
        RecordSet set;
        QVERIFY_THROWS_EXCEPTION(PacketError, set.loadFromPacket(bytes));
    }

    // Text that is no UTF-8 inside the field list makes Qt hand back a half-built list, whose
    // elements must not be read: the packet is refused for that very value.
    void brokenFieldListIsRefusedUnread()
    {
        const QByteArray bytes = QByteArray::fromHex("a2") + cbor(QLatin1String("fields"))
            + QByteArray::fromHex("81a2") + cbor(QLatin1String("name")) + QByteArray::fromHex("62c3ff")
            + cbor(QLatin1String("type")) + cbor(QLatin1String("string")) + cbor(QLatin1String("rows"))
            + cbor(QCborArray{});
        RecordSet set;
        try {
            set.loadFromPacket(bytes);
            QFAIL("a packet with broken text was taken");
        } catch (const PacketError &e) {
            QVERIFY2(QString::fromUtf8(e.what()).contains(QStringLiteral("\"fields\" ilegível")), e.what());
        }
    }

    void sizeCountsCharactersNotBytes()
    {
        RecordSet set;
        set.loadFromPacket(cbor(packet({fieldOf("A", "string", 3)}, {QCborValue(QCborArray{"ção"})})));
        QCOMPARE(set.fieldByName("A").asString(), QStringLiteral("ção"));
    }

    void wireDateTime_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<qint64>("msecs");
        QTest::newRow("utc") << "1970-01-01T00:00:00Z" << qint64(0);
        QTest::newRow("offset") << "2026-12-07T10:30:00.000-03:00" << qint64(1796650200000);
        QTest::newRow("millis") << "2026-12-07T13:30:00.123Z" << qint64(1796650200123);
        QTest::newRow("more digits") << "2026-12-07T13:30:00.1239Z" << qint64(1796650200123);
        QTest::newRow("one digit") << "2026-12-07T13:30:00.5Z" << qint64(1796650200500);
        QTest::newRow("leap day") << "2024-02-29T00:00:00Z" << qint64(1709164800000);
        QTest::newRow("before epoch") << "1899-12-30T00:00:00Z" << qint64(-2209161600000);
    }
    void wireDateTime()
    {
        QFETCH(QString, text);
        QFETCH(qint64, msecs);
        const QByteArray bytes = text.toLatin1();
        QCOMPARE(parseWireDateTime(bytes.constData(), bytes.size()), std::optional<qint64>(msecs));
        const QByteArray written = formatWireDateTime(msecs);
        QCOMPARE(parseWireDateTime(written.constData(), written.size()), std::optional<qint64>(msecs));
    }

    void wireDateTimeCarriesLocalOffset()
    {
        // The tests run in America/Sao_Paulo (UTC-3 since 2019).
        QCOMPARE(formatWireDateTime(1796650200000), QByteArray("2026-12-07T10:30:00.000-03:00"));
        // Summer time of 2018/2019, back and forth: each instant gets the offset of its own day.
        QCOMPARE(formatWireDateTime(1541257200000), QByteArray("2018-11-03T12:00:00.000-03:00"));
        QCOMPARE(formatWireDateTime(1541430000000), QByteArray("2018-11-05T13:00:00.000-02:00"));
        QCOMPARE(formatWireDateTime(1541257200000), QByteArray("2018-11-03T12:00:00.000-03:00"));
        QCOMPARE(formatWireDateTime(1550502000000), QByteArray("2019-02-18T12:00:00.000-03:00"));
    }

    // An instant whose year takes more than four digits is refused, not written as another one.
    void instantsPastTheYearsWrittenAreRefused_data()
    {
        QTest::addColumn<QDateTime>("moment");
        QTest::newRow("year 10000") << QDateTime(QDate(10000, 3, 1), QTime(12, 0), Qt::UTC);
        QTest::newRow("before year 0000") << QDateTime(QDate(-2, 3, 1), QTime(12, 0), Qt::UTC); // 2 BC
    }
    void instantsPastTheYearsWrittenAreRefused()
    {
        QFETCH(QDateTime, moment);
        QVERIFY_THROWS_EXCEPTION(std::out_of_range, formatWireDateTime(moment.toMSecsSinceEpoch()));
        QVERIFY_THROWS_EXCEPTION(std::out_of_range, dateTimeToCbor(moment));
    }

    void badWireDateTimes_data()
    {
        QTest::addColumn<QString>("text");
        QTest::newRow("no zone") << "2026-12-07T10:30:00";
        QTest::newRow("month 13") << "2026-13-07T10:30:00Z";
        QTest::newRow("feb 29 non leap") << "2026-02-29T10:30:00Z";
        QTest::newRow("hour 24") << "2026-12-07T24:00:00Z";
        QTest::newRow("trailing") << "2026-12-07T10:30:00Zx";
        QTest::newRow("empty fraction") << "2026-12-07T10:30:00.Z";
        QTest::newRow("letters") << "abcd-ef-ghTij:kl:mnZ";
    }
    void badWireDateTimes()
    {
        QFETCH(QString, text);
        const QByteArray bytes = text.toLatin1();
        QCOMPARE(parseWireDateTime(bytes.constData(), bytes.size()), std::nullopt);
    }

    void deltaRoundTrip()
    {
        Delta delta;
        delta.fields = {{"ID", FieldType::String, 10}, {"V", FieldType::Float, 0}, {"D", FieldType::DateTime, 0}};
        delta.changes.append({DeltaChange::Op::Insert, {}, {QString("1"), 2.5, qint64(1796650200123)}});
        delta.changes.append({DeltaChange::Op::Modify, {QString("2"), 1.0, Value()}, {QString("2"), 3.0, Value()}});
        delta.changes.append({DeltaChange::Op::Delete, {QString("3"), Value(), Value()}, {}});
        const Delta back = deltaFromCbor(QCborValue::fromCbor(deltaToCbor(delta).toCborValue().toCbor()));
        QCOMPARE(back.fields, delta.fields);
        QCOMPARE(back.changes.size(), 3);
        for (int i = 0; i < 3; ++i) {
            QCOMPARE(back.changes[i].op, delta.changes[i].op);
            QVERIFY(back.changes[i].oldValues == delta.changes[i].oldValues);
            QVERIFY(back.changes[i].newValues == delta.changes[i].newValues);
        }
    }

    void badDeltas_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        const QCborArray fields{fieldOf("ID", "string", 2)};
        auto delta = [&](const QCborValue &changes) {
            return cbor(QCborMap{{QLatin1String("fields"), fields}, {QLatin1String("changes"), changes}});
        };
        QTest::newRow("unknown op") << delta(QCborArray{QCborMap{{QLatin1String("op"), "upsert"}}});
        QTest::newRow("insert without new") << delta(QCborArray{QCborMap{{QLatin1String("op"), "insert"}}});
        QTest::newRow("over size") << delta(QCborArray{QCborMap{{QLatin1String("op"), "insert"},
                                                                 {QLatin1String("new"), QCborArray{"abc"}}}});
        QTest::newRow("changes not a list") << delta(7);
    }
    void badDeltas()
    {
        QFETCH(QByteArray, bytes);
        QVERIFY_THROWS_EXCEPTION(PacketError, deltaFromCbor(QCborValue::fromCbor(bytes)));
    }

    // Frames come whole and in order however the bytes arrive, appended or read from the
    // socket, until one announces more than the limit.
    void frames_data()
    {
        QTest::addColumn<bool>("fromDevice");
        QTest::addColumn<int>("chunk");
        for (const bool device : {false, true}) {
            for (const int chunk : {1, 3, 1000})
                QTest::addRow("%s, %d bytes at a time", device ? "read" : "appended", chunk) << device << chunk;
        }
    }
    void frames()
    {
        QFETCH(bool, fromDevice);
        QFETCH(int, chunk);
        FrameReader reader(16);
        const QByteArray stream = encodeFrame("hello") + encodeFrame("") + encodeFrame("sixteen bytes!!!") + frameHeader(17) + "x";
        QByteArrayList got;
        auto status = FrameReader::Status::NeedMore;
        for (qsizetype at = 0; at < stream.size() && status != FrameReader::Status::TooLarge; at += chunk) {
            QBuffer arrived;
            arrived.setData(stream.mid(at, chunk));
            arrived.open(QIODevice::ReadOnly);
            if (!fromDevice)
                reader.append(arrived.data());
            QByteArray frame;
            do {
                if (fromDevice)
                    reader.readFrom(arrived);
                while ((status = reader.next(&frame)) == FrameReader::Status::Frame)
                    got.append(frame);
            } while (fromDevice && status == FrameReader::Status::NeedMore && arrived.bytesAvailable() > 0);
        }
        QCOMPARE(got, (QByteArrayList{"hello", "", "sixteen bytes!!!"}));
        QCOMPARE(status, FrameReader::Status::TooLarge);
    }

    void requestBytesAsDocumented()
    {
        const QByteArray frame = encodeFrame(
            encodeRequest({1, "Acc00420.rdmPagClie", "getPrxMovClie", {"000000000000000001234"}}));
        QCOMPARE(frame.toHex(' '),
                 QByteArray("00 00 00 51 a4 62 69 64 01 66 6f 62 6a 65 63 74 73 41 63 63 30 30 34 32 30 "
                            "2e 72 64 6d 50 61 67 43 6c 69 65 66 6d 65 74 68 6f 64 6d 67 65 74 50 72 78 "
                            "4d 6f 76 43 6c 69 65 64 61 72 67 73 81 75 30 30 30 30 30 30 30 30 30 30 30 "
                            "30 30 30 30 30 30 31 32 33 34"));
        const QByteArray envelope = encodeFrame(encodeReply(2, encodeEnvelope(true, {}, QCborValue(true))));
        QCOMPARE(envelope.toHex(' '),
                 QByteArray("00 00 00 23 a2 62 69 64 02 66 72 65 73 75 6c 74 a3 62 6f 6b f5 67 6d 65 73 "
                            "73 61 67 65 60 67 70 61 79 6c 6f 61 64 f5"));
    }

    void requestsAndReplies()
    {
        const QByteArray request = encodeRequest({7, "Acc00420.rdmPagClie", "getPrxMovClie", {"00042"}});
        const Request r = decodeRequest(request);
        QCOMPARE(r.id, quint64(7));
        QCOMPARE(r.method, QStringLiteral("getPrxMovClie"));
        QCOMPARE(r.args.at(0).toString(), QStringLiteral("00042"));

        quint64 id = 0;
        QVERIFY_THROWS_EXCEPTION(ProtocolError, decodeRequest(QByteArray::fromHex("ff00"), &id));
        QVERIFY_THROWS_EXCEPTION(ProtocolError,
                                 decodeRequest(cbor(QCborMap{{QLatin1String("id"), 3}}), &id));
        QCOMPARE(id, quint64(3)); // kept for the error reply

        const Reply ok = decodeReply(encodeReply(9, cbor(QCborValue(true))));
        QCOMPARE(ok.id, quint64(9));
        QVERIFY(!ok.error);
        QCOMPARE(ok.result.toValue(), QCborValue(true));
        const Reply failed = decodeReply(encodeErrorReply(9, "unknown-method", "método desconhecido"));
        QCOMPARE(failed.error->code, QStringLiteral("unknown-method"));
        QVERIFY_THROWS_EXCEPTION(ProtocolError, decodeReply(cbor(QCborMap{{QLatin1String("id"), 1}})));
    }

    // The same for an error reply whose code is no UTF-8: refused for its "error" value.
    void brokenErrorReplyIsRefusedUnread()
    {
        const QByteArray bytes = QByteArray::fromHex("a2") + cbor(QLatin1String("id")) + cbor(4)
            + cbor(QLatin1String("error")) + QByteArray::fromHex("a2") + cbor(QLatin1String("code"))
            + QByteArray::fromHex("62c3ff") + cbor(QLatin1String("message")) + cbor(QLatin1String("x"));
        try {
            decodeReply(bytes);
            QFAIL("an error reply with broken text was taken");
        } catch (const ProtocolError &e) {
            QVERIFY2(QString::fromUtf8(e.what()).contains(QStringLiteral("\"error\" ilegível")), e.what());
        }
    }
};

QTEST_GUILESS_MAIN(TestDataPacket)
#include "tst_datapacket.moc"
