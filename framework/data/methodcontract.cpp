#include "methodcontract.h"

#include <framework/data/protocol.h>

namespace fw {

std::optional<QString> checkArguments(const MethodSpec &method, const QCborArray &args)
{
    if (args.size() != method.args.size())
        return QStringLiteral("%1 recebe %2 argumentos, vieram %3")
            .arg(method.name).arg(method.args.size()).arg(args.size());
    for (qsizetype i = 0; i < args.size(); ++i) {
        const ArgSpec &expected = method.args.at(i);
        const QCborValue &value = args.at(i);
        const QString where = QStringLiteral("argumento %1 (%2) de %3").arg(i + 1).arg(expected.name, method.name);
        switch (expected.type) {
        case ArgSpec::Type::Text:
            if (!value.isString())
                return where + QStringLiteral(" deve ser texto");
            if (expected.maxLength > 0 && value.toString().size() > expected.maxLength)
                return where + QStringLiteral(" excede %1 caracteres").arg(expected.maxLength);
            break;
        case ArgSpec::Type::DateTime:
            if (!dateTimeFromCbor(value))
                return where + QStringLiteral(" deve ser data-hora (etiqueta 0)");
            break;
        case ArgSpec::Type::Map:
            if (!value.isMap())
                return where + QStringLiteral(" deve ser um mapa");
            break;
        case ArgSpec::Type::Unsigned:
            if (!value.isInteger() || value.toInteger() < 0)
                return where + QStringLiteral(" deve ser um inteiro sem sinal");
            break;
        }
    }
    return std::nullopt;
}

} // namespace fw
