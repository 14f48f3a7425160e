#include "columnstore.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace fw {
namespace {

// Texts up to this many bytes (their length then takes one varint byte) are looked up before
// being stored; longer ones are seldom repeated and are simply appended.
constexpr qsizetype SharedTextMaxBytes = 127;
// Slots of the recent-texts table (a power of two): more than the distinct codes or names a
// column usually repeats, at 4 bytes each.
constexpr quint32 RecentSlots = 1024;

// A quick hash of a short text, eight bytes at a time.
quint32 textHash(const char *text, qsizetype length)
{
    quint64 h = quint64(length) * 0x9E3779B97F4A7C15ULL;
    qsizetype i = 0;
    for (; i + 8 <= length; i += 8) {
        quint64 word;
        std::memcpy(&word, text + i, 8);
        h = (h ^ word) * 0xFF51AFD7ED558CCDULL;
        h ^= h >> 29;
    }
    if (i < length) {
        quint64 word = 0;
        std::memcpy(&word, text + i, size_t(length - i));
        h = (h ^ word) * 0xFF51AFD7ED558CCDULL;
    }
    h ^= h >> 32;
    return quint32(h);
}

bool usesIntegers(FieldType type)
{
    return type == FieldType::DateTime || type == FieldType::Integer || type == FieldType::Boolean;
}

} // namespace

ColumnStore::ColumnStore(FieldType type)
    : m_type(type)
{
}

namespace {

// Room for `count`, at least half as much again as there was: a column filled packet after
// packet is copied a handful of times, not once per packet.
template<typename Vector>
void growTo(Vector &values, quint32 count)
{
    if (count > values.capacity())
        values.reserve(std::max<size_t>(count, values.capacity() + values.capacity() / 2));
}

} // namespace

void ColumnStore::reserve(quint32 count)
{
    if (m_type == FieldType::String) {
        growTo(m_textRefs, count);
    } else {
        growTo(m_nulls, count);
        if (usesIntegers(m_type))
            growTo(m_integers, count);
        else
            growTo(m_numbers, count);
    }
}

void ColumnStore::clear()
{
    *this = ColumnStore(m_type);
}

void ColumnStore::truncate(quint32 size)
{
    if (size >= m_size)
        return;
    if (m_type == FieldType::String) {
        m_textRefs.resize(size); // the texts stay in the arena, where later values may share them
    } else {
        m_nulls.resize(size);
        if (usesIntegers(m_type))
            m_integers.resize(size);
        else
            m_numbers.resize(size);
    }
    m_size = size;
}

bool ColumnStore::holds(quint32 ref, const char *text, qsizetype length) const
{
    // A short text's length takes one varint byte.
    const char *p = m_arena.constData() + ref;
    return quint8(*p) == length && std::memcmp(p + 1, text, size_t(length)) == 0;
}

quint32 ColumnStore::storeText(const char *text, qsizetype length)
{
    quint32 *recent = nullptr;
    if (length <= SharedTextMaxBytes) {
        if (m_recent.empty())
            m_recent.assign(RecentSlots, NullText);
        recent = &m_recent[textHash(text, length) & (RecentSlots - 1)];
        if (*recent != NullText && holds(*recent, text, length))
            return *recent;
    }
    if (quint64(m_arena.size()) + quint64(length) + 10 >= NullText)
        throw std::length_error("coluna de texto excede 4 GiB");
    const auto ref = quint32(m_arena.size());
    char head[10];
    int headSize = 0;
    quint64 n = quint64(length);
    do {
        char byte = char(n & 0x7f);
        n >>= 7;
        if (n)
            byte = char(byte | 0x80);
        head[headSize++] = byte;
    } while (n);
    m_arena.resize(m_arena.size() + headSize + length);
    char *out = m_arena.data() + ref;
    std::memcpy(out, head, size_t(headSize));
    std::memcpy(out + headSize, text, size_t(length));
    if (recent)
        *recent = ref;
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

QByteArrayView ColumnStore::utf8(quint32 slot) const
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
    return QByteArrayView(p, qsizetype(length));
}

QString ColumnStore::string(quint32 slot) const
{
    const QByteArrayView text = utf8(slot);
    return text.isNull() ? QString() : QString::fromUtf8(text);
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
