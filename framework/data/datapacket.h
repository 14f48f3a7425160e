#pragma once

#include <framework/data/cborcursor.h>
#include <framework/data/columnstore.h>
#include <framework/data/fieldtypes.h>
#include <framework/data/dataexport.h>

#include <QByteArrayView>
#include <QCborMap>
#include <QCborStreamReader>
#include <QCborStreamWriter>
#include <QList>

#include <optional>
#include <stdexcept>
#include <string>

namespace fw {

// A data packet is one CBOR map: {"fields": [{"name", "type", "size"}, ...], "rows": [[...]]}
// with "fields" before "rows"; null is CBOR null, date-times are tag 0 text. docs/protocol.md
// gives it byte for byte.
class FW_DATA_EXPORT PacketError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

struct PacketField
{
    QString name;
    FieldType type = FieldType::String;
    int size = 0; // characters, for strings; 0 is unlimited

    bool operator==(const PacketField &) const = default;
};

// Reads a packet value by value, straight from its encoding, so a large statement never
// exists twice in memory.
class FW_DATA_EXPORT DataPacketReader
{
public:
    explicit DataPacketReader(QByteArrayView packet);
    // Reads a bare list of rows of these fields; 'where' names them in what is refused.
    DataPacketReader(QByteArrayView rows, const QList<PacketField> &fields, const QString &where);

    const QList<PacketField> &fields() const { return m_fields; }
    // The number of rows the packet announces, or -1 when it doesn't say.
    qint64 announcedRows() const { return m_announcedRows; }

    // Checks the values of a field against another size than the packet's (0: unlimited).
    void setFieldSize(int index, int size) { m_fields[index].size = size; }

    // Steps into the next row; false after the last one (the packet is then checked to end).
    bool nextRow();
    // Decodes the row's next value, checked against its field, and appends it to the column
    // (or skips it when the column is null).
    void readCell(ColumnStore *column);
    Value readValue();

private:
    void readHeader();
    void enterRows(const QString &notAList);
    void skipKeysAfterRows();
    const PacketField &currentField() const;
    // The text's bytes, valid until the next read; `what` names it when it is something else.
    QByteArrayView readUtf8(const char *what);
    void checkSize(QByteArrayView utf8) const;
    qint64 readDateTime();
    // nullopt when the item is no number.
    std::optional<double> readNumber();
    [[noreturn]] void fail(const QString &why) const;

    QCborStreamReader m_reader; // the head, up to the rows
    QByteArrayView m_bytes;
    CborCursor m_cursor;        // the rows
    QList<PacketField> m_fields;
    qint64 m_announcedRows = -1;
    quint64 m_rowsLeft = 0;
    bool m_rowsOpen = false;
    qint64 m_keysAfterRows = 0; // -1: up to the packet's break
    qint64 m_row = -1;
    int m_cell = 0;
    bool m_inRow = false;
    bool m_rowLengthKnown = false;
    bool m_rowsOnly = false;
    QString m_where;
};

// Writes a packet value by value straight into a byte array, each value's bytes appended as
// RFC 8949 gives them (no device call per value). A row's length is in its head, so a row ends
// where the next one begins; finish() (or the destructor) ends the packet. Until then the array
// is grown ahead of what is written and holds more than the packet: read it once finished.
class FW_DATA_EXPORT DataPacketWriter
{
public:
    // rowCount -1 writes an indefinite-length row list.
    DataPacketWriter(QByteArray *out, const QList<PacketField> &fields, qint64 rowCount);
    // Writes rows only, for a packet whose row count is known at the end: the rows go to a
    // buffer of their own, and head() is put in front of them.
    DataPacketWriter(QByteArray *out, qsizetype fieldCount);
    ~DataPacketWriter();
    DataPacketWriter(const DataPacketWriter &) = delete;
    DataPacketWriter &operator=(const DataPacketWriter &) = delete;
    static QByteArray head(const QList<PacketField> &fields, quint64 rowCount);

    void beginRow();
    void writeNull();
    void writeString(QStringView text);
    void writeUtf8(const char *text, qsizetype length);
    void writeFloat(double value);
    void writeDateTime(qint64 msecsSinceEpoch);
    void writeInteger(qint64 value);
    void writeBoolean(bool value);
    void writeValue(FieldType type, const Value &value);
    void finish();

private:
    // Where the next `bytes` go, the array grown when it has no room for them.
    char *take(qsizetype bytes)
    {
        if (m_room < bytes)
            makeRoom(bytes);
        char *at = m_at;
        m_at += bytes;
        m_room -= bytes;
        return at;
    }
    // What take() got beyond what was written.
    void giveBack(qsizetype bytes)
    {
        m_at -= bytes;
        m_room += bytes;
    }
    void makeRoom(qsizetype bytes);
    void writeHeadOf(int major, quint64 argument);

    QByteArray *m_out;
    char *m_at = nullptr;  // the end of what is written, inside m_out
    qsizetype m_room = 0;  // bytes of m_out past m_at
    bool m_rowsOnly = false;
    bool m_openRows = false;
    bool m_finished = false;
    qsizetype m_fieldCount = 0;
};

FW_DATA_EXPORT QCborArray fieldsToCbor(const QList<PacketField> &fields);
// Throws PacketError on a malformed list.
FW_DATA_EXPORT QList<PacketField> fieldsFromCbor(const QCborValue &fields);
FW_DATA_EXPORT QCborValue valueToCbor(FieldType type, const Value &value);

// A change log as it travels: {"fields": [...], "changes": [{"op", "old", "new"}, ...]}.
struct DeltaChange
{
    enum class Op { Insert, Modify, Delete };
    Op op = Op::Insert;
    QList<Value> oldValues; // empty for an insert
    QList<Value> newValues; // empty for a delete
};

struct FW_DATA_EXPORT Delta
{
    QList<PacketField> fields;
    QList<DeltaChange> changes;

    int indexOf(const QString &fieldName) const;
};

FW_DATA_EXPORT QCborMap deltaToCbor(const Delta &delta);
// Throws PacketError naming what is wrong.
FW_DATA_EXPORT Delta deltaFromCbor(const QCborValue &value);
FW_DATA_EXPORT QString deltaOpName(DeltaChange::Op op);

} // namespace fw
