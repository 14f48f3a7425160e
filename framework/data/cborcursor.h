#pragma once

#include <QByteArrayView>
#include <QtGlobal>

#include <string>

namespace fw {

// Reads CBOR data items (RFC 8949) straight from their bytes: the rows of a data packet, where
// the cost of a QCborStreamReader call per value would be most of their reading. Every length
// is checked against the bytes left, and nesting is bounded; whatever can't be read throws
// CborCursor::Broken with the reason.
class CborCursor
{
public:
    struct Broken
    {
        const char *why;
    };
    // An item's head: its major type (0-7), its argument, and whether its length is open
    // (indefinite: items follow up to a break).
    struct Head
    {
        int major = 0;
        int additional = 0;
        quint64 argument = 0;
        bool open = false;
    };

    CborCursor(QByteArrayView bytes, qsizetype at)
        : m_bytes(bytes)
        , m_at(at)
    {
    }

    qsizetype offset() const { return m_at; }
    bool atBreak() const { return m_at < m_bytes.size() && quint8(m_bytes[m_at]) == 0xff; }
    // The byte the next item starts with; throws when none is left.
    quint8 peek() const
    {
        if (m_at >= m_bytes.size())
            throw Broken{"fim inesperado dos dados"};
        return quint8(m_bytes[m_at]);
    }
    void skipByte() { ++m_at; }
    Head readHead();
    // A text string's bytes (its chunks joined when it comes in chunks), valid until the next
    // read; throws when the item is no text or its bytes are no UTF-8.
    QByteArrayView readText();
    // Steps over one whole item, whatever it holds.
    void skip() { skip(0); }

private:
    void skip(int depth);
    void need(quint64 bytes) const;

    QByteArrayView m_bytes;
    qsizetype m_at;
    std::string m_text;
};

} // namespace fw
