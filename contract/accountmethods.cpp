#include "accountmethods.h"

namespace acc00420 {

const QList<fw::MethodSpec> &accountMethods()
{
    using T = fw::ArgSpec::Type;
    static const QList<fw::MethodSpec> methods = {
        {"getMovCliente",
         {{"CDCONSUMIDOR", T::Text, 21}, {"TCDCONSUMIDOR", T::Text, 1}, {"CDCLIENTE", T::Text, 21}, {"DTINICIO", T::DateTime}}},
        {"setAtualizaCons",
         {{"CDFILIAL", T::Text, 4}, {"CDCLIENTE", T::Text, 21}, {"CDCONSUMIDOR", T::Text, 21},
          {"DTINICIO", T::DateTime}, {"CDOPERADOR", T::Text, 12}}},
        {"getConsumidor",
         {{"CDCLIENTE", T::Text, 21}, {"CDCONSUMIDOR", T::Text, 21}, {"TCDCONSUMIDOR", T::Text, 1}, {"CDFILIAL", T::Text, 4}}},
        {"SetMovCliente", {{"DELTA", T::Map}}},
        {"getPrxMovClie", {{"CDCLIENTE", T::Text, 21}}},
        {"setCancelamento",
         {{"IDTIPMOCVLI", T::Text, 1}, {"CDOPERADOR", T::Text, 12}, {"DTCANCELAMENTO", T::DateTime},
          {"DSATUMOVCLIE", T::Text, 200}, {"CDCLIENTE", T::Text, 21}, {"NRSEQMOVCLI", T::Text, 10}}},
        {"setCancelaVenda",
         {{"DSCANCVENDA", T::Text, 200}, {"CDFILIAL", T::Text, 4}, {"CDCAIXA", T::Text, 3}, {"NRSEQVENDA", T::Text, 10}}},
        {"setCancelaReceb", {{"CDFILIAL", T::Text, 4}, {"CDCAIXA", T::Text, 3}, {"NRSEQVENDA", T::Text, 10}}},
        {"verificaHistorico", {{"CDCLIENTE", T::Text, 21}}},
        {"getMovClienteDesde",
         {{"CDCONSUMIDOR", T::Text, 21}, {"TCDCONSUMIDOR", T::Text, 1}, {"CDCLIENTE", T::Text, 21}, {"DTINICIO", T::DateTime},
          {"VERSAO", T::Unsigned}}},
        {"acompanhar", {{"CDCLIENTE", T::Text, 21}}},
        {"deixar", {{"CDCLIENTE", T::Text, 21}}},
    };
    return methods;
}

const fw::MethodSpec &accountMethod(const QString &name)
{
    for (const fw::MethodSpec &m : accountMethods()) {
        if (m.name == name)
            return m;
    }
    qFatal("the account contract has no method %s", qPrintable(name));
}

} // namespace acc00420
