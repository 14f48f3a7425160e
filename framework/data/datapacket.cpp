#include "datapacket.h"

#include <QtEndian>

#include <framework/data/cborread.h>
#include <framework/data/wiredatetime.h>

#include <QCborArray>
#include <QCborStreamWriter>
#include <QCborValue>

#include <cmath>

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
    , m_packetSize(packet.size())
{
    readHeader();
}

DataPacketReader::DataPacketReader(QByteArrayView rows, const QList<PacketField> &fields, const QString &where)
    : m_reader(rows.data(), rows.size())
    , m_packetSize(rows.size())
    , m_fields(fields)
    , m_rowsOnly(true)
    , m_where(where)
{
    if (!m_reader.isArray())
        fail(QStringLiteral("linhas não são uma lista"));
    m_announcedRows = m_reader.isLengthKnown() ? qint64(m_reader.length()) : -1;
    m_reader.enterContainer();
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
    m_reader.enterContainer();
    bool haveFields = false;
    while (m_reader.hasNext()) {
        const auto key = readCborText(m_reader);
        if (!key)
            fail(QStringLiteral("chave do pacote ilegível"));
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
            if (!m_reader.isArray())
                fail(QStringLiteral("\"rows\" não é uma lista"));
            m_announcedRows = m_reader.isLengthKnown() ? qint64(m_reader.length()) : -1;
            m_reader.enterContainer();
            return;
        } else if (!m_reader.next()) {
            fail(QStringLiteral("valor ilegível da chave %1").arg(*key));
        }
    }
    fail(QStringLiteral("sem \"rows\""));
}

bool DataPacketReader::nextRow()
{
    if (m_inRow) {
        if (m_cell != m_fields.size() || m_reader.hasNext())
            fail(QStringLiteral("a linha não tem %1 valores").arg(m_fields.size()));
        m_reader.leaveContainer();
        m_inRow = false;
    }
    if (m_reader.lastError() != QCborError::NoError)
        fail(m_reader.lastError().toString());
    if (!m_reader.hasNext()) {
        m_reader.leaveContainer(); // rows
        if (!m_rowsOnly) {
            // Keys after the rows are not ours: skip them. A broken one stops the skipping
            // (the reader stays on it) and is reported below.
            while (m_reader.hasNext() && m_reader.next()) {
            }
            m_reader.leaveContainer(); // packet
        }
        if (m_reader.lastError() != QCborError::NoError)
            fail(m_reader.lastError().toString());
        return false;
    }
    ++m_row;
    if (!m_reader.isArray())
        fail(QStringLiteral("linha não é uma lista"));
    m_rowLengthKnown = m_reader.isLengthKnown();
    if (m_rowLengthKnown && m_reader.length() != quint64(m_fields.size()))
        fail(QStringLiteral("a linha tem %1 valores, esperados %2")
                 .arg(m_reader.length()).arg(m_fields.size()));
    m_reader.enterContainer();
    m_inRow = true;
    m_cell = 0;
    return true;
}

const PacketField &DataPacketReader::currentField() const
{
    // A row that said its length was checked against the fields as it began.
    if (!m_inRow || m_cell >= m_fields.size() || (!m_rowLengthKnown && !m_reader.hasNext()))
        fail(QStringLiteral("a linha não tem %1 valores").arg(m_fields.size()));
    return m_fields.at(m_cell);
}

void DataPacketReader::expectString(const char *what)
{
    if (!m_reader.isString())
        fail(QStringLiteral("%1 esperado em %2").arg(QLatin1String(what), m_fields.at(m_cell).name));
}

QByteArrayView DataPacketReader::readUtf8(const char *what)
{
    expectString(what);
    qsizetype total = 0;
    QCborStreamReader::StringResult<qsizetype> r;
    do {
        const qsizetype chunk = m_reader.currentStringChunkSize();
        // The length is the sender's word: one past the packet's end must not reserve room.
        if (chunk < 0 || chunk > m_packetSize - m_reader.currentOffset())
            fail(QStringLiteral("texto ilegível em %1").arg(m_fields.at(m_cell).name));
        if (qsizetype(m_text.size()) < total + chunk)
            m_text.resize(size_t(total + chunk));
        r = m_reader.readStringChunk(m_text.data() + total, chunk);
        if (r.status == QCborStreamReader::Ok)
            total += r.data;
    } while (r.status == QCborStreamReader::Ok);
    if (r.status == QCborStreamReader::Error)
        fail(QStringLiteral("texto ilegível em %1").arg(m_fields.at(m_cell).name));
    return QByteArrayView(m_text.data(), total);
}

void DataPacketReader::checkSize(QByteArrayView utf8) const
{
    const PacketField &field = m_fields.at(m_cell);
    // Counting characters is only needed when the bytes could exceed the size.
    if (field.size > 0 && utf8.size() > field.size && utf8Characters(utf8) > field.size)
        fail(QStringLiteral("%1 excede %2 caracteres").arg(field.name).arg(field.size));
}

std::optional<qint64> DataPacketReader::readDateTime()
{
    if (!m_reader.isTag() || m_reader.toTag() != QCborTag(QCborKnownTags::DateTimeString))
        fail(QStringLiteral("data-hora (etiqueta 0) esperada em %1").arg(m_fields.at(m_cell).name));
    m_reader.next();
    const QByteArrayView text = readUtf8("texto de data-hora");
    const auto msecs = parseWireDateTime(text.data(), text.size());
    if (!msecs)
        fail(QStringLiteral("data-hora inválida em %1: %2")
                 .arg(m_fields.at(m_cell).name, QString::fromUtf8(text.data(), text.size())));
    return msecs;
}

void DataPacketReader::readCell(ColumnStore *column)
{
    const PacketField &field = currentField();
    if (m_reader.isNull()) {
        m_reader.next();
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
        const qint64 msecs = *readDateTime();
        if (column)
            column->appendInteger(msecs);
        ++m_cell;
        return;
    }
    default: {
        const Value v = readValue();
        if (column)
            column->append(v);
    }
    }
}

Value DataPacketReader::readValue()
{
    const PacketField &field = currentField();
    Value result;
    if (m_reader.isNull()) {
        m_reader.next();
    } else {
        switch (field.type) {
        case FieldType::String: {
            const QByteArrayView utf8 = readUtf8("texto");
            checkSize(utf8);
            result = QString::fromUtf8(utf8.data(), utf8.size());
            break;
        }
        case FieldType::Float:
            if (m_reader.isDouble())
                result = m_reader.toDouble();
            else if (m_reader.isFloat())
                result = double(m_reader.toFloat());
            else if (m_reader.isFloat16())
                result = double(m_reader.toFloat16());
            else if (m_reader.isInteger())
                result = double(m_reader.toInteger());
            else
                fail(QStringLiteral("número esperado em %1").arg(field.name));
            if (!std::isfinite(std::get<double>(result)))
                fail(QStringLiteral("número não finito em %1").arg(field.name));
            m_reader.next();
            break;
        case FieldType::DateTime:
            result = *readDateTime();
            break;
        case FieldType::Integer:
            if (!m_reader.isInteger())
                fail(QStringLiteral("inteiro esperado em %1").arg(field.name));
            result = m_reader.toInteger();
            m_reader.next();
            break;
        case FieldType::Boolean:
            if (!m_reader.isBool())
                fail(QStringLiteral("booleano esperado em %1").arg(field.name));
            result = qint64(m_reader.toBool());
            m_reader.next();
            break;
        }
    }
    if (m_reader.lastError() != QCborError::NoError)
        fail(m_reader.lastError().toString());
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
        m_out->append(char(0x9f)); // an array of rows whose end is marked
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

// A data item's head: its major type and its argument in the fewest bytes (RFC 8949 3.1),
// as QCborStreamWriter writes it, without a device call per value.
void DataPacketWriter::writeHeadOf(int major, quint64 argument)
{
    const char type = char(major << 5);
    if (argument < 24) {
        m_out->append(char(type | char(argument)));
        return;
    }
    char bytes[9];
    int size;
    if (argument <= 0xff) {
        bytes[0] = char(type | 24);
        bytes[1] = char(argument);
        size = 2;
    } else if (argument <= 0xffff) {
        bytes[0] = char(type | 25);
        qToBigEndian(quint16(argument), bytes + 1);
        size = 3;
    } else if (argument <= 0xffffffffULL) {
        bytes[0] = char(type | 26);
        qToBigEndian(quint32(argument), bytes + 1);
        size = 5;
    } else {
        bytes[0] = char(type | 27);
        qToBigEndian(argument, bytes + 1);
        size = 9;
    }
    m_out->append(bytes, size);
}

void DataPacketWriter::beginRow()
{
    writeHeadOf(4, quint64(m_fieldCount));
}

void DataPacketWriter::writeNull() { m_out->append(char(0xf6)); }

void DataPacketWriter::writeString(QStringView text)
{
    const QByteArray utf8 = text.toUtf8();
    writeUtf8(utf8.constData(), utf8.size());
}

void DataPacketWriter::writeUtf8(const char *text, qsizetype length)
{
    writeHeadOf(3, quint64(length));
    m_out->append(text, length);
}

void DataPacketWriter::writeFloat(double value)
{
    char bytes[9];
    bytes[0] = char(0xfb);
    qToBigEndian(value, bytes + 1);
    m_out->append(bytes, 9);
}

void DataPacketWriter::writeDateTime(qint64 msecs)
{
    char text[WireDateTimeMaxLength];
    const qsizetype length = formatWireDateTime(msecs, text);
    m_out->append(char(0xc0)); // tag 0
    writeUtf8(text, length);
}

void DataPacketWriter::writeInteger(qint64 value)
{
    if (value < 0)
        writeHeadOf(1, quint64(-1 - value));
    else
        writeHeadOf(0, quint64(value));
}

void DataPacketWriter::writeBoolean(bool value) { m_out->append(char(value ? 0xf5 : 0xf4)); }

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
        m_out->append(char(0xff));
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
