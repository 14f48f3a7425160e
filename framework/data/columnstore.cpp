#include "columnstore.h"

#include <stdexcept>

namespace fw {
namespace {

// Texts up to this many bytes are looked up before being stored; longer ones (observations,
// descriptions) are seldom repeated and are simply appended.
constexpr qsizetype SharedTextMaxBytes = 48;
// The dictionary stops growing here, so a column of unique codes costs no more than this.
constexpr qsizetype SharedTextMaxEntries = 512;

bool usesIntegers(FieldType type)
{
    return type == FieldType::DateTime || type == FieldType::Integer || type == FieldType::Boolean;
}

} // namespace

ColumnStore::ColumnStore(FieldType type)
    : m_type(type)
{
}

void ColumnStore::reserve(quint32 count)
{
    if (m_type == FieldType::String) {
        m_textRefs.reserve(count);
    } else {
        m_nulls.reserve(count);
        if (usesIntegers(m_type))
            m_integers.reserve(count);
        else
            m_numbers.reserve(count);
    }
}

void ColumnStore::clear()
{
    *this = ColumnStore(m_type);
}

quint32 ColumnStore::storeText(const char *text, qsizetype length)
{
    const bool shareable = length <= SharedTextMaxBytes;
    if (shareable) {
        const auto it = m_shared.constFind(QByteArray::fromRawData(text, length));
        if (it != m_shared.cend())
            return *it;
    }
    if (quint64(m_arena.size()) + quint64(length) + 5 >= NullText)
        throw std::length_error("coluna de texto excede 4 GiB");
    const auto ref = quint32(m_arena.size());
    quint64 n = quint64(length);
    do {
        char byte = char(n & 0x7f);
        n >>= 7;
        if (n)
            byte = char(byte | 0x80);
        m_arena.append(byte);
    } while (n);
    m_arena.append(text, length);
    if (shareable && m_shared.size() < SharedTextMaxEntries)
        m_shared.insert(QByteArray(text, length), ref);
    return ref;
}

void ColumnStore::appendNull()
{
    if (m_type == FieldType::String) {
        m_textRefs.push_back(NullText);
    } else {
        m_nulls.push_back(true);
        if (usesIntegers(m_type))
            m_integers.push_back(0);
        else
            m_numbers.push_back(0);
    }
    ++m_size;
}

void ColumnStore::appendUtf8(const char *text, qsizetype length)
{
    m_textRefs.push_back(storeText(text, length));
    ++m_size;
}

void ColumnStore::appendNumber(double value)
{
    m_nulls.push_back(false);
    m_numbers.push_back(value);
    ++m_size;
}

void ColumnStore::appendInteger(qint64 value)
{
    m_nulls.push_back(false);
    m_integers.push_back(value);
    ++m_size;
}

void ColumnStore::append(const Value &value)
{
    appendNull();
    set(m_size - 1, value);
}

bool ColumnStore::isNull(quint32 slot) const
{
    if (m_type == FieldType::String)
        return m_textRefs[slot] == NullText;
    return m_nulls[slot];
}

QString ColumnStore::string(quint32 slot) const
{
    const quint32 ref = m_textRefs[slot];
    if (ref == NullText)
        return {};
    const char *p = m_arena.constData() + ref;
    quint64 length = 0;
    int shift = 0;
    while (true) {
        const auto byte = quint8(*p++);
        length |= quint64(byte & 0x7f) << shift;
        if (!(byte & 0x80))
            break;
        shift += 7;
    }
    return QString::fromUtf8(p, qsizetype(length));
}

Value ColumnStore::value(quint32 slot) const
{
    if (isNull(slot))
        return {};
    switch (m_type) {
    case FieldType::String: return string(slot);
    case FieldType::Float: return m_numbers[slot];
    default: return m_integers[slot];
    }
}

void ColumnStore::set(quint32 slot, const Value &value)
{
    if (m_type == FieldType::String) {
        if (const auto *text = std::get_if<QString>(&value)) {
            const QByteArray utf8 = text->toUtf8();
            m_textRefs[slot] = storeText(utf8.constData(), utf8.size());
        } else {
            m_textRefs[slot] = NullText;
        }
        return;
    }
    m_nulls[slot] = fw::isNull(value);
    if (usesIntegers(m_type)) {
        const auto *i = std::get_if<qint64>(&value);
        m_integers[slot] = i ? *i : 0;
    } else {
        const auto *d = std::get_if<double>(&value);
        m_numbers[slot] = d ? *d : 0;
    }
}

} // namespace fw
