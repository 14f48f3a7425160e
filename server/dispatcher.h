#pragma once

#include "caller.h"

#include <framework/data/methodcontract.h>

#include <QCborArray>
#include <QCborValue>
#include <QHash>
#include <QString>

#include <functional>

namespace server {

using ArgSpec = fw::ArgSpec;

// A method's answer: the encoded result, or an error for the caller.
struct Outcome
{
    QByteArray result;
    QString errorCode;
    QString errorMessage;
    bool refusal = false; // the result is a failed envelope, the operator told why (outcomes.h)

    static Outcome ok(QByteArray encoded) { return {std::move(encoded), {}, {}}; }
    static Outcome error(QString code, QString message)
    {
        return {{}, std::move(code), std::move(message)};
    }
    bool failed() const { return !errorCode.isEmpty(); }
};

// Methods of the published objects, by object and method name. Every request is checked
// against its method's arguments before the handler sees it, so a handler gets exactly the
// count and types it declared; the handler also gets the connection's caller.
class Dispatcher
{
public:
    using Handler = std::function<Outcome(const QCborArray &args, Caller &caller)>;

    void add(const QString &object, const QString &method, QList<ArgSpec> args, Handler handler);
    void add(const QString &object, const fw::MethodSpec &method, Handler handler);
    Outcome dispatch(const QString &object, const QString &method, const QCborArray &args, Caller &caller) const;

private:
    struct Method
    {
        fw::MethodSpec contract;
        Handler handler;
    };

    QHash<QString, QHash<QString, Method>> m_objects;
};

} // namespace server
