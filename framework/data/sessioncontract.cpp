#include "sessioncontract.h"

namespace fw {

const QList<MethodSpec> &sessionMethods()
{
    using T = ArgSpec::Type;
    static const QList<MethodSpec> methods = {
        {"entrar", {{"operador", T::Text, 4}, {"senha", T::Text, 128}, {"filial", T::Text, 4}, {"terminal", T::Text, 40}}},
        // A token is 43 characters; the bound only keeps what the server reads small.
        {"retomar", {{"token", T::Text, 128}}},
        {"sair", {}},
    };
    return methods;
}

} // namespace fw
