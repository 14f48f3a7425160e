#include "cborcursor.h"

#include <QtEndian>

#include <cstring>

namespace fw {
namespace {

// Deeper than any packet nests: a hostile item of endless arrays stops here, not on the stack.
constexpr int MaxDepth = 64;

} // namespace

void CborCursor::need(quint64 bytes) const
{
    if (bytes > quint64(m_bytes.size() - m_at))
        throw Broken{"fim inesperado dos dados"};
}

CborCursor::Head CborCursor::readHead()
{
    const quint8 initial = peek();
    ++m_at;
    Head head;
    head.major = initial >> 5;
    head.additional = initial & 0x1f;
    const char *p = m_bytes.data() + m_at;
    switch (head.additional) {
    case 24:
        need(1);
        head.argument = quint8(*p);
        m_at += 1;
        break;
    case 25:
        need(2);
        head.argument = qFromBigEndian<quint16>(p);
        m_at += 2;
        break;
    case 26:
        need(4);
        head.argument = qFromBigEndian<quint32>(p);
        m_at += 4;
        break;
    case 27:
        need(8);
        head.argument = qFromBigEndian<quint64>(p);
        m_at += 8;
        break;
    case 28:
    case 29:
    case 30:
        throw Broken{"valor CBOR reservado"};
    case 31:
        // Open lengths are for strings and containers; a lone break is out of place.
        if (head.major < 2 || head.major == 6 || head.major == 7)
            throw Broken{"quebra fora de lugar"};
        head.open = true;
        break;
    default:
        head.argument = quint64(head.additional);
    }
    return head;
}

QByteArrayView CborCursor::readText()
{
    const Head head = readHead();
    if (head.major != 3)
        throw Broken{"texto esperado"};
    QByteArrayView text;
    if (!head.open) {
        need(head.argument);
        text = m_bytes.sliced(m_at, qsizetype(head.argument));
        m_at += qsizetype(head.argument);
    } else {
        m_text.clear();
        while (!atBreak()) {
            const Head chunk = readHead();
            if (chunk.major != 3 || chunk.open)
                throw Broken{"pedaço de texto inválido"};
            need(chunk.argument);
            m_text.append(m_bytes.data() + m_at, size_t(chunk.argument));
            m_at += qsizetype(chunk.argument);
        }
        need(1);
        ++m_at; // the break
        text = QByteArrayView(m_text.data(), qsizetype(m_text.size()));
    }
    if (!text.isValidUtf8())
        throw Broken{"texto que não é UTF-8"};
    return text;
}

void CborCursor::skip(int depth)
{
    if (depth > MaxDepth)
        throw Broken{"aninhamento excessivo"};
    const Head head = readHead();
    switch (head.major) {
    case 0:
    case 1:
    case 7:
        return;
    case 2:
    case 3:
        if (!head.open) {
            need(head.argument);
            m_at += qsizetype(head.argument);
            return;
        }
        while (!atBreak()) {
            const Head chunk = readHead();
            if (chunk.major != head.major || chunk.open)
                throw Broken{"pedaço de cadeia inválido"};
            need(chunk.argument);
            m_at += qsizetype(chunk.argument);
        }
        ++m_at;
        return;
    case 6:
        skip(depth + 1);
        return;
    default: { // arrays and maps: a map's entries are two items each
        if (head.open) {
            while (!atBreak())
                skip(depth + 1);
            need(1);
            ++m_at;
            return;
        }
        need(head.argument); // before doubling a map's count, which could wrap
        const quint64 items = head.major == 5 ? head.argument * 2 : head.argument;
        // Each item takes a byte at least: a count the bytes can't hold is refused at once.
        need(items);
        for (quint64 i = 0; i < items; ++i)
            skip(depth + 1);
    }
    }
}

} // namespace fw
