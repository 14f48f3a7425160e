#pragma once

#include <QByteArray>
#include <QString>

#include <memory>

class QSemaphore;

namespace server {

// Operators' passwords as argon2id hashes (libsodium's string form, salt and parameters
// inside). Each hash takes tens of megabytes while it runs, so no more than a few run at once;
// the others wait their turn, and past a short wait are told the server is busy.
class Passwords
{
public:
    explicit Passwords(int atOnce = 2);
    ~Passwords();

    // Throws PasswordsBusy when no turn comes in time, std::runtime_error when out of memory.
    QByteArray hash(const QString &password) const;
    // False also for an empty or malformed hash. With no hash (an unknown operator) it checks
    // against a fixed one, so an unknown code takes as long as a wrong password.
    bool verify(const QByteArray &hash, const QString &password) const;
    static bool needsRehash(const QByteArray &hash);

private:
    std::unique_ptr<QSemaphore> m_turns;
};

struct PasswordsBusy
{
};

} // namespace server
