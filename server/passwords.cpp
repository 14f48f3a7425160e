#include "passwords.h"

#include <QSemaphore>

#include <sodium.h>

#include <stdexcept>

namespace server {
namespace {

constexpr int TurnWaitMs = 5000;

void initialise()
{
    static const bool ready = sodium_init() >= 0;
    if (!ready)
        throw std::runtime_error("a biblioteca de criptografia (libsodium) não iniciou");
}

// Holds one of the turns while a hash runs.
class Turn
{
public:
    explicit Turn(QSemaphore &turns)
        : m_turns(turns)
    {
        if (!m_turns.tryAcquire(1, TurnWaitMs))
            throw PasswordsBusy{};
    }
    ~Turn() { m_turns.release(); }

private:
    QSemaphore &m_turns;
};

} // namespace

Passwords::Passwords(int atOnce)
    : m_turns(std::make_unique<QSemaphore>(std::max(1, atOnce)))
{
    initialise();
}

Passwords::~Passwords() = default;

QByteArray Passwords::hash(const QString &password) const
{
    const QByteArray clear = password.toUtf8();
    char out[crypto_pwhash_STRBYTES];
    Turn turn(*m_turns);
    if (crypto_pwhash_str(out, clear.constData(), quint64(clear.size()), crypto_pwhash_OPSLIMIT_INTERACTIVE,
                          crypto_pwhash_MEMLIMIT_INTERACTIVE) != 0)
        throw std::runtime_error("memória insuficiente para calcular o resumo da senha");
    return QByteArray(out);
}

bool Passwords::verify(const QByteArray &hash, const QString &password) const
{
    static const QByteArray unknown = Passwords(1).hash(QStringLiteral("operador inexistente"));
    const QByteArray &against = hash.isEmpty() ? unknown : hash;
    if (against.size() >= qsizetype(crypto_pwhash_STRBYTES))
        return false;
    const QByteArray clear = password.toUtf8();
    Turn turn(*m_turns);
    const bool matches = crypto_pwhash_str_verify(against.constData(), clear.constData(), quint64(clear.size())) == 0;
    return matches && !hash.isEmpty();
}

bool Passwords::needsRehash(const QByteArray &hash)
{
    return crypto_pwhash_str_needs_rehash(hash.constData(), crypto_pwhash_OPSLIMIT_INTERACTIVE,
                                          crypto_pwhash_MEMLIMIT_INTERACTIVE) != 0;
}

} // namespace server
