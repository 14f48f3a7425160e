#include "dispatcher.h"

namespace server {

void Dispatcher::add(const QString &object, const QString &method, QList<ArgSpec> args,
                     Handler handler)
{
    add(object, fw::MethodSpec{method, std::move(args)}, std::move(handler));
}

void Dispatcher::add(const QString &object, const fw::MethodSpec &method, Handler handler)
{
    m_objects[object].insert(method.name, {method, std::move(handler)});
}

Outcome Dispatcher::dispatch(const QString &object, const QString &method, const QCborArray &args,
                             Caller &caller) const
{
    const auto o = m_objects.constFind(object);
    if (o == m_objects.cend())
        return Outcome::error(QStringLiteral("unknown-object"),
                              QStringLiteral("objeto %1 não é publicado por este servidor").arg(object));
    const auto m = o->constFind(method);
    if (m == o->cend())
        return Outcome::error(QStringLiteral("unknown-method"),
                              QStringLiteral("%1 não tem o método %2").arg(object, method));
    if (const auto why = fw::checkArguments(m->contract, args))
        return Outcome::error(QStringLiteral("bad-arguments"), *why);
    return m->handler(args, caller);
}

} // namespace server
