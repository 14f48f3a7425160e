#pragma once

#include <framework/data/fieldtypes.h>
#include <framework/data/dataexport.h>

#include <QByteArray>
#include <QByteArrayView>

#include <cstdint>
#include <vector>

namespace fw {

// The values of one field for every stored row ("slot"), kept compactly so that a statement
// of a hundred thousand movements stays small: numbers and date-times in a flat array, texts
// as 4-byte references into one UTF-8 arena where repeated texts (codes, names, standard
// descriptions) are stored once.
class FW_DATA_EXPORT ColumnStore
{
public:
    explicit ColumnStore(FieldType type);

    FieldType type() const { return m_type; }
    quint32 size() const { return m_size; }
    void reserve(quint32 count);
    void clear();
    // Drops the values from slot `size` on.
    void truncate(quint32 size);

    void appendNull();
    void appendUtf8(const char *text, qsizetype length);
    void appendNumber(double value);
    void appendInteger(qint64 value);
    void append(const Value &value);

    bool isNull(quint32 slot) const;
    QString string(quint32 slot) const;
    // A text's UTF-8 bytes where they are stored, valid until the column changes; null for none.
    QByteArrayView utf8(quint32 slot) const;
    double number(quint32 slot) const { return m_numbers[slot]; }
    qint64 integer(quint32 slot) const { return m_integers[slot]; }
    Value value(quint32 slot) const;
    void set(quint32 slot, const Value &value);

private:
    quint32 storeText(const char *text, qsizetype length);
    bool holds(quint32 ref, const char *text, qsizetype length) const;

    static constexpr quint32 NullText = UINT32_MAX;

    FieldType m_type;
    quint32 m_size = 0;
    std::vector<double> m_numbers;
    std::vector<qint64> m_integers;
    std::vector<bool> m_nulls; // numbers and integers only; texts use NullText
    std::vector<quint32> m_textRefs;
    QByteArray m_arena; // each text: its byte length as a varint, then its UTF-8 bytes
    // The texts stored last, by a hash of their bytes: a repeated text is found with one probe
    // and one compare, and a column of distinct texts pays no more than that.
    std::vector<quint32> m_recent;
};

} // namespace fw
