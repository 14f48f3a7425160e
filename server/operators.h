#pragma once

#include "passwords.h"
#include "storage.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <stdexcept>

namespace server {

// What an operator may do, by the names the ledger keeps and the sign-in reply lists, and the
// words that say it in a refusal ("não tem permissão para <words>").
struct Right
{
    const char *name;
    const char *words;
};
const QList<Right> &rights();
QString rightWords(const QString &name);
// Every right's name, in that order.
QStringList rightNames();

struct OperatorRecord
{
    QString code;
    QString name;
    bool active = true;
    QStringList branches;
    QStringList rights;
};

// Bad input to an administration command: what is wrong, for the command line. Nothing was
// changed.
class OperatorError : public std::runtime_error
{
public:
    explicit OperatorError(const QString &message)
        : std::runtime_error(message.toStdString())
    {
    }
};

// The ledger's operators: who may sign in, where, and with which rights.
class Operators
{
public:
    Operators(const Storage &storage, const Passwords &passwords);

    void add(const OperatorRecord &record, const QString &password) const;
    void setPassword(const QString &code, const QString &password) const;
    // Also ends the operator's open sessions.
    void disable(const QString &code) const;
    QList<OperatorRecord> list() const;

private:
    void checkPassword(const QString &password) const;

    const Storage &m_storage;
    const Passwords &m_passwords;
};

} // namespace server
