#include "datapacket.h"

#include <QtEndian>

#include <framework/data/cborread.h>
#include <framework/data/wiredatetime.h>

#include <QCborArray>
#include <QCborStreamWriter>
#include <QCborValue>
#include <QFloat16>

#include <cmath>
#include <cstring>

namespace fw {
namespace {

[[noreturn]] void packetError(const QString &why)
{
    throw PacketError(QStringLiteral("pacote de dados inválido: %1").arg(why).toStdString());
}

qsizetype utf8Characters(QByteArrayView utf8)
{
    qsizetype count = 0;
    for (char c : utf8)
        count += (quint8(c) & 0xC0) != 0x80;
    return count;
}

} // namespace

// ---------------------------------------------------------------------------------- reader

DataPacketReader::DataPacketReader(QByteArrayView packet)
    : m_reader(packet.data(), packet.size())
    , m_bytes(packet)
    , m_cursor(packet, 0)
{
    readHeader();
}

DataPacketReader::DataPacketReader(QByteArrayView rows, const QList<PacketField> &fields, const QString &where)
    : m_reader(rows.data(), rows.size())
    , m_bytes(rows)
    , m_cursor(rows, 0)
    , m_fields(fields)
    , m_rowsOnly(true)
    , m_where(where)
{
    enterRows(QStringLiteral("linhas não são uma lista"));
}

void DataPacketReader::fail(const QString &why) const
{
    if (!m_where.isEmpty())
        packetError(QStringLiteral("%1: %2").arg(m_where, why));
    if (m_row >= 0)
        packetError(QStringLiteral("linha %1: %2").arg(m_row + 1).arg(why));
    packetError(why);
}

void DataPacketReader::readHeader()
{
    if (!m_reader.isMap())
        fail(QStringLiteral("esperado um mapa"));
    const qint64 entries = m_reader.isLengthKnown() ? qint64(m_reader.length()) : -1;
    m_reader.enterContainer();
    bool haveFields = false;
    qint64 read = 0;
    while (m_reader.hasNext()) {
        const auto key = readCborText(m_reader);
        if (!key)
            fail(QStringLiteral("chave do pacote ilegível"));
        ++read;
        if (*key == QLatin1String("fields")) {
            const QCborValue fields = QCborValue::fromCbor(m_reader);
            // A list cut short or with broken text comes back half-built: reading it reads
            // past its elements.
            if (m_reader.lastError() != QCborError::NoError)
                fail(QStringLiteral("\"fields\" ilegível: %1").arg(m_reader.lastError().toString()));
            m_fields = fieldsFromCbor(fields);
            haveFields = true;
        } else if (*key == QLatin1String("rows")) {
            if (!haveFields)
                fail(QStringLiteral("\"rows\" antes de \"fields\""));
            // The rows are read straight from their bytes from here on.
            m_keysAfterRows = entries < 0 ? -1 : entries - read;
            m_cursor = CborCursor(m_bytes, m_reader.currentOffset());
            enterRows(QStringLiteral("\"rows\" não é uma lista"));
            return;
        } else if (!m_reader.next()) {
            fail(QStringLiteral("valor ilegível da chave %1").arg(*key));
        }
    }
    fail(QStringLiteral("sem \"rows\""));
}

void DataPacketReader::enterRows(const QString &notAList)
{
    try {
        if (m_cursor.peek() >> 5 != 4)
            fail(notAList);
        const CborCursor::Head rows = m_cursor.readHead();
        m_rowsOpen = rows.open;
        m_rowsLeft = rows.argument;
        m_announcedRows = rows.open || rows.argument > quint64(INT64_MAX) ? -1 : qint64(rows.argument);
    } catch (const CborCursor::Broken &b) {
        fail(QString::fromUtf8(b.why));
    }
}

bool DataPacketReader::nextRow()
{
    try {
        if (m_inRow) {
            if (m_cell != m_fields.size() || (!m_rowLengthKnown && !m_cursor.atBreak()))
                fail(QStringLiteral("a linha não tem %1 valores").arg(m_fields.size()));
            if (!m_rowLengthKnown)
                m_cursor.skipByte(); // its break
            m_inRow = false;
        }
        if (m_rowsOpen ? m_cursor.atBreak() : m_rowsLeft == 0) {
            if (m_rowsOpen)
                m_cursor.skipByte();
            if (!m_rowsOnly)
                skipKeysAfterRows();
            return false;
        }
        ++m_row;
        if (!m_rowsOpen)
            --m_rowsLeft;
        if (m_cursor.peek() >> 5 != 4)
            fail(QStringLiteral("linha não é uma lista"));
        const CborCursor::Head row = m_cursor.readHead();
        m_rowLengthKnown = !row.open;
        if (m_rowLengthKnown && row.argument != quint64(m_fields.size()))
            fail(QStringLiteral("a linha tem %1 valores, esperados %2").arg(row.argument).arg(m_fields.size()));
    } catch (const CborCursor::Broken &b) {
        fail(QString::fromUtf8(b.why));
    }
    m_inRow = true;
    m_cell = 0;
    return true;
}

void DataPacketReader::skipKeysAfterRows()
{
    // Keys after the rows are not ours: stepped over, but a broken one refuses the packet.
    if (m_keysAfterRows >= 0) {
        for (qint64 i = 0; i < m_keysAfterRows * 2; ++i)
            m_cursor.skip();
        return;
    }
    while (!m_cursor.atBreak())
        m_cursor.skip();
    m_cursor.skipByte();
}

const PacketField &DataPacketReader::currentField() const
{
    // A row that said its length was checked against the fields as it began.
    if (!m_inRow || m_cell >= m_fields.size() || (!m_rowLengthKnown && m_cursor.atBreak()))
        fail(QStringLiteral("a linha não tem %1 valores").arg(m_fields.size()));
    return m_fields.at(m_cell);
}

QByteArrayView DataPacketReader::readUtf8(const char *what)
{
    const QString &name = m_fields.at(m_cell).name;
    if (m_cursor.peek() >> 5 != 3)
        fail(QStringLiteral("%1 esperado em %2").arg(QLatin1String(what), name));
    try {
        return m_cursor.readText();
    } catch (const CborCursor::Broken &) {
        fail(QStringLiteral("texto ilegível em %1").arg(name));
    }
}

void DataPacketReader::checkSize(QByteArrayView utf8) const
{
    const PacketField &field = m_fields.at(m_cell);
    // Counting characters is only needed when the bytes could exceed the size.
    if (field.size > 0 && utf8.size() > field.size && utf8Characters(utf8) > field.size)
        fail(QStringLiteral("%1 excede %2 caracteres").arg(field.name).arg(field.size));
}

qint64 DataPacketReader::readDateTime()
{
    if (m_cursor.peek() >> 5 != 6 || m_cursor.readHead().argument != quint64(QCborKnownTags::DateTimeString))
        fail(QStringLiteral("data-hora (etiqueta 0) esperada em %1").arg(m_fields.at(m_cell).name));
    const QByteArrayView text = readUtf8("texto de data-hora");
    const auto msecs = parseWireDateTime(text.data(), text.size());
    if (!msecs)
        fail(QStringLiteral("data-hora inválida em %1: %2")
                 .arg(m_fields.at(m_cell).name, QString::fromUtf8(text.data(), text.size())));
    return *msecs;
}

std::optional<double> DataPacketReader::readNumber()
{
    const CborCursor::Head head = m_cursor.readHead();
    switch (head.major) {
    case 0: return double(head.argument);
    case 1: return -1.0 - double(head.argument);
    case 7:
        if (head.additional == 25) {
            const auto bits = quint16(head.argument);
            qfloat16 half;
            std::memcpy(&half, &bits, sizeof bits);
            return double(half);
        }
        if (head.additional == 26) {
            const auto bits = quint32(head.argument);
            float single;
            std::memcpy(&single, &bits, sizeof bits);
            return double(single);
        }
        if (head.additional == 27) {
            double value;
            std::memcpy(&value, &head.argument, sizeof value);
            return value;
        }
        return std::nullopt;
    default: return std::nullopt;
    }
}

void DataPacketReader::readCell(ColumnStore *column)
{
    const PacketField &field = currentField();
    try {
        if (m_cursor.peek() == 0xf6) {
            m_cursor.skipByte();
            if (column)
                column->appendNull();
            ++m_cell;
            return;
        }
        // The common kinds go straight to their column, without a Value in between.
        switch (field.type) {
        case FieldType::String: {
            const QByteArrayView utf8 = readUtf8("texto");
            checkSize(utf8);
            if (column)
                column->appendUtf8(utf8.data(), utf8.size());
            ++m_cell;
            return;
        }
        case FieldType::DateTime: {
            const qint64 msecs = readDateTime();
            if (column)
                column->appendInteger(msecs);
            ++m_cell;
            return;
        }
        default:
            break;
        }
    } catch (const CborCursor::Broken &b) {
        fail(QStringLiteral("%1 em %2").arg(QString::fromUtf8(b.why), field.name));
    }
    const Value v = readValue();
    if (column)
        column->append(v);
}

Value DataPacketReader::readValue()
{
    const PacketField &field = currentField();
    Value result;
    try {
        if (m_cursor.peek() == 0xf6) {
            m_cursor.skipByte();
            ++m_cell;
            return result;
        }
        switch (field.type) {
        case FieldType::String: {
            const QByteArrayView utf8 = readUtf8("texto");
            checkSize(utf8);
            result = QString::fromUtf8(utf8.data(), utf8.size());
            break;
        }
        case FieldType::Float: {
            const std::optional<double> number = readNumber();
            if (!number)
                fail(QStringLiteral("número esperado em %1").arg(field.name));
            if (!std::isfinite(*number))
                fail(QStringLiteral("número não finito em %1").arg(field.name));
            result = *number;
            break;
        }
        case FieldType::DateTime:
            result = readDateTime();
            break;
        case FieldType::Integer: {
            const CborCursor::Head head = m_cursor.readHead();
            if (head.major > 1 || head.argument > quint64(INT64_MAX))
                fail(QStringLiteral("inteiro esperado em %1").arg(field.name));
            result = head.major == 0 ? qint64(head.argument) : -1 - qint64(head.argument);
            break;
        }
        case FieldType::Boolean: {
            const quint8 initial = m_cursor.peek();
            if (initial != 0xf4 && initial != 0xf5)
                fail(QStringLiteral("booleano esperado em %1").arg(field.name));
            m_cursor.skipByte();
            result = qint64(initial == 0xf5);
            break;
        }
        }
    } catch (const CborCursor::Broken &b) {
        fail(QStringLiteral("%1 em %2").arg(QString::fromUtf8(b.why), field.name));
    }
    ++m_cell;
    return result;
}

// ---------------------------------------------------------------------------------- writer

namespace {

void writeHead(QCborStreamWriter &writer, const QList<PacketField> &fields)
{
    writer.startMap(2);
    writer.append(QLatin1StringView("fields"));
    writer.startArray(quint64(fields.size()));
    for (const PacketField &f : fields) {
        writer.startMap(3);
        writer.append(QLatin1StringView("name"));
        writer.append(f.name);
        writer.append(QLatin1StringView("type"));
        writer.append(fieldTypeName(f.type));
        writer.append(QLatin1StringView("size"));
        writer.append(quint64(f.size));
        writer.endMap();
    }
    writer.endArray();
    writer.append(QLatin1StringView("rows"));
}

} // namespace

DataPacketWriter::DataPacketWriter(QByteArray *out, const QList<PacketField> &fields, qint64 rowCount)
    : m_out(out)
    , m_fieldCount(fields.size())
{
    {
        QCborStreamWriter writer(out); // appends to what the array already holds
        writeHead(writer, fields);
    }
    m_openRows = rowCount < 0;
    if (m_openRows)
        *take(1) = char(0x9f); // an array of rows whose end is marked
    else
        writeHeadOf(4, quint64(rowCount));
}

DataPacketWriter::DataPacketWriter(QByteArray *out, qsizetype fieldCount)
    : m_out(out)
    , m_rowsOnly(true)
    , m_fieldCount(fieldCount)
{
}

DataPacketWriter::~DataPacketWriter()
{
    finish();
}

QByteArray DataPacketWriter::head(const QList<PacketField> &fields, quint64 rowCount)
{
    QByteArray bytes;
    QCborStreamWriter writer(&bytes);
    writeHead(writer, fields);
    writer.startArray(rowCount);
    return bytes;
}

// The array doubles, so a packet of n bytes costs a handful of copies, not one per value.
void DataPacketWriter::makeRoom(qsizetype bytes)
{
    const qsizetype written = m_out->size() - m_room;
    m_out->resize(std::max(written + bytes, 2 * written + 1024));
    m_at = m_out->data() + written;
    m_room = m_out->size() - written;
}

namespace {

// A data item's head: its major type and its argument in the fewest bytes (RFC 8949 3.1), as
// QCborStreamWriter writes it; at most 9 bytes, and how many it took.
int putHead(char *at, int major, quint64 argument)
{
    const char type = char(major << 5);
    if (argument < 24) {
        at[0] = char(type | char(argument));
        return 1;
    }
    if (argument <= 0xff) {
        at[0] = char(type | 24);
        at[1] = char(argument);
        return 2;
    }
    if (argument <= 0xffff) {
        at[0] = char(type | 25);
        qToBigEndian(quint16(argument), at + 1);
        return 3;
    }
    if (argument <= 0xffffffffULL) {
        at[0] = char(type | 26);
        qToBigEndian(quint32(argument), at + 1);
        return 5;
    }
    at[0] = char(type | 27);
    qToBigEndian(argument, at + 1);
    return 9;
}

} // namespace

void DataPacketWriter::writeHeadOf(int major, quint64 argument)
{
    giveBack(9 - putHead(take(9), major, argument));
}

void DataPacketWriter::beginRow()
{
    writeHeadOf(4, quint64(m_fieldCount));
}

void DataPacketWriter::writeNull() { *take(1) = char(0xf6); }

void DataPacketWriter::writeString(QStringView text)
{
    const QByteArray utf8 = text.toUtf8();
    writeUtf8(utf8.constData(), utf8.size());
}

void DataPacketWriter::writeUtf8(const char *text, qsizetype length)
{
    char *at = take(9 + length);
    const int head = putHead(at, 3, quint64(length));
    std::memcpy(at + head, text, size_t(length));
    giveBack(9 - head);
}

void DataPacketWriter::writeFloat(double value)
{
    char *at = take(9);
    at[0] = char(0xfb);
    qToBigEndian(value, at + 1);
}

void DataPacketWriter::writeDateTime(qint64 msecs)
{
    char text[WireDateTimeMaxLength];
    const qsizetype length = formatWireDateTime(msecs, text);
    *take(1) = char(0xc0); // tag 0
    writeUtf8(text, length);
}

void DataPacketWriter::writeInteger(qint64 value)
{
    if (value < 0)
        writeHeadOf(1, quint64(-1 - value));
    else
        writeHeadOf(0, quint64(value));
}

void DataPacketWriter::writeBoolean(bool value) { *take(1) = char(value ? 0xf5 : 0xf4); }

void DataPacketWriter::writeValue(FieldType type, const Value &value)
{
    if (isNull(value)) {
        writeNull();
        return;
    }
    switch (type) {
    case FieldType::String: writeString(std::get<QString>(value)); break;
    case FieldType::Float: writeFloat(std::get<double>(value)); break;
    case FieldType::DateTime: writeDateTime(std::get<qint64>(value)); break;
    case FieldType::Integer: writeInteger(std::get<qint64>(value)); break;
    case FieldType::Boolean: writeBoolean(std::get<qint64>(value) != 0); break;
    }
}

void DataPacketWriter::finish()
{
    if (m_finished)
        return;
    m_finished = true;
    // Rows have their length in their head; only an open list of rows has an end to mark.
    if (!m_rowsOnly && m_openRows)
        *take(1) = char(0xff);
    m_out->resize(m_out->size() - m_room);
    m_room = 0;
}

// ---------------------------------------------------------------------------- value helpers

QCborArray fieldsToCbor(const QList<PacketField> &fields)
{
    QCborArray list;
    for (const PacketField &f : fields) {
        QCborMap m;
        m.insert(QLatin1String("name"), f.name);
        m.insert(QLatin1String("type"), fieldTypeName(f.type));
        m.insert(QLatin1String("size"), f.size);
        list.append(m);
    }
    return list;
}

QList<PacketField> fieldsFromCbor(const QCborValue &value)
{
    if (!value.isArray())
        packetError(QStringLiteral("\"fields\" não é uma lista"));
    QList<PacketField> fields;
    for (const QCborValue &item : value.toArray()) {
        const QCborMap m = item.toMap();
        PacketField f;
        f.name = m.value(QLatin1String("name")).toString();
        const QCborValue size = m.value(QLatin1String("size"));
        if (!item.isMap() || f.name.isEmpty()
            || !fieldTypeFromName(m.value(QLatin1String("type")).toString(), &f.type)
            || (!size.isUndefined() && (!size.isInteger() || size.toInteger() < 0
                                        || size.toInteger() > 1'000'000)))
            packetError(QStringLiteral("definição de campo %1 inválida").arg(fields.size() + 1));
        f.size = int(size.toInteger());
        for (const PacketField &other : std::as_const(fields)) {
            if (other.name.compare(f.name, Qt::CaseInsensitive) == 0)
                packetError(QStringLiteral("campo %1 repetido").arg(f.name));
        }
        fields.append(f);
    }
    return fields;
}

QCborValue valueToCbor(FieldType type, const Value &value)
{
    if (isNull(value))
        return QCborValue(nullptr);
    switch (type) {
    case FieldType::String: return std::get<QString>(value);
    case FieldType::Float: return std::get<double>(value);
    case FieldType::DateTime:
        return QCborValue(QCborKnownTags::DateTimeString,
                          QString::fromLatin1(formatWireDateTime(std::get<qint64>(value))));
    case FieldType::Integer: return std::get<qint64>(value);
    case FieldType::Boolean: return std::get<qint64>(value) != 0;
    }
    return {};
}

int Delta::indexOf(const QString &fieldName) const
{
    for (int i = 0; i < fields.size(); ++i) {
        if (fields.at(i).name.compare(fieldName, Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

QString deltaOpName(DeltaChange::Op op)
{
    switch (op) {
    case DeltaChange::Op::Insert: return QStringLiteral("insert");
    case DeltaChange::Op::Modify: return QStringLiteral("modify");
    case DeltaChange::Op::Delete: return QStringLiteral("delete");
    }
    return {};
}

QCborMap deltaToCbor(const Delta &delta)
{
    auto row = [&](const QList<Value> &values) -> QCborValue {
        if (values.isEmpty())
            return QCborValue(nullptr);
        QCborArray a;
        for (int i = 0; i < values.size(); ++i)
            a.append(valueToCbor(delta.fields.at(i).type, values.at(i)));
        return a;
    };
    QCborArray changes;
    for (const DeltaChange &c : delta.changes) {
        QCborMap m;
        m.insert(QLatin1String("op"), deltaOpName(c.op));
        m.insert(QLatin1String("old"), row(c.oldValues));
        m.insert(QLatin1String("new"), row(c.newValues));
        changes.append(m);
    }
    QCborMap m;
    m.insert(QLatin1String("fields"), fieldsToCbor(delta.fields));
    m.insert(QLatin1String("changes"), changes);
    return m;
}

Delta deltaFromCbor(const QCborValue &value)
{
    if (!value.isMap())
        packetError(QStringLiteral("delta não é um mapa"));
    const QCborMap m = value.toMap();
    Delta delta;
    delta.fields = fieldsFromCbor(m.value(QLatin1String("fields")));
    const QCborValue changes = m.value(QLatin1String("changes"));
    if (!changes.isArray())
        packetError(QStringLiteral("\"changes\" não é uma lista"));
    // A change's values are read back by the packet reader, so they are checked exactly as a
    // packet's are.
    auto row = [&](const QCborValue &v, int n) {
        const QByteArray encoded = QCborArray{v}.toCborValue().toCbor();
        DataPacketReader reader(encoded, delta.fields, QStringLiteral("alteração %1").arg(n));
        QList<Value> values;
        reader.nextRow();
        for (int i = 0; i < delta.fields.size(); ++i)
            values.append(reader.readValue());
        reader.nextRow();
        return values;
    };
    int n = 0;
    for (const QCborValue &item : changes.toArray()) {
        ++n;
        const QCborMap c = item.toMap();
        const QString op = c.value(QLatin1String("op")).toString();
        DeltaChange change;
        if (op == QLatin1String("insert")) {
            change.op = DeltaChange::Op::Insert;
            change.newValues = row(c.value(QLatin1String("new")), n);
        } else if (op == QLatin1String("modify")) {
            change.op = DeltaChange::Op::Modify;
            change.oldValues = row(c.value(QLatin1String("old")), n);
            change.newValues = row(c.value(QLatin1String("new")), n);
        } else if (op == QLatin1String("delete")) {
            change.op = DeltaChange::Op::Delete;
            change.oldValues = row(c.value(QLatin1String("old")), n);
        } else {
            packetError(QStringLiteral("alteração %1: operação \"%2\" desconhecida").arg(n).arg(op));
        }
        delta.changes.append(change);
    }
    return delta;
}

} // namespace fw
