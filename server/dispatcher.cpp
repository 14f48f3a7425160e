#include "dispatcher.h"

#include "protocol.h"

namespace server {

void Dispatcher::add(const QString &object, const QString &method, QList<ArgSpec> args,
                     Handler handler)
{
    m_objects[object].insert(method, {std::move(args), std::move(handler)});
}

std::optional<QString> Dispatcher::checkArguments(const QString &method, const Method &m,
                                                  const QCborArray &args) const
{
    if (args.size() != m.args.size())
        return QStringLiteral("%1 recebe %2 argumentos, vieram %3")
            .arg(method).arg(m.args.size()).arg(args.size());
    for (qsizetype i = 0; i < args.size(); ++i) {
        const ArgSpec &expected = m.args.at(i);
        const QCborValue &value = args.at(i);
        const QString where = QStringLiteral("argumento %1 (%2) de %3").arg(i + 1).arg(expected.name, method);
        switch (expected.type) {
        case ArgSpec::Type::Text:
            if (!value.isString())
                return where + QStringLiteral(" deve ser texto");
            if (expected.maxLength > 0 && value.toString().size() > expected.maxLength)
                return where + QStringLiteral(" excede %1 caracteres").arg(expected.maxLength);
            break;
        case ArgSpec::Type::DateTime:
            if (!fw::dateTimeFromCbor(value))
                return where + QStringLiteral(" deve ser data-hora (etiqueta 0)");
            break;
        case ArgSpec::Type::Map:
            if (!value.isMap())
                return where + QStringLiteral(" deve ser um mapa");
            break;
        }
    }
    return std::nullopt;
}

Outcome Dispatcher::dispatch(const QString &object, const QString &method, const QCborArray &args) const
{
    const auto o = m_objects.constFind(object);
    if (o == m_objects.cend())
        return Outcome::error(QStringLiteral("unknown-object"),
                              QStringLiteral("objeto %1 não é publicado por este servidor").arg(object));
    const auto m = o->constFind(method);
    if (m == o->cend())
        return Outcome::error(QStringLiteral("unknown-method"),
                              QStringLiteral("%1 não tem o método %2").arg(object, method));
    if (const auto why = checkArguments(method, *m, args))
        return Outcome::error(QStringLiteral("bad-arguments"), *why);
    return m->handler(args);
}

} // namespace server
