#include "movementfields.h"

#include <framework/data/datapacket.h>
#include <framework/data/recordset.h>

namespace acc00420 {

using fw::FieldDef;
using fw::FieldType;

QList<FieldDef> movementFields()
{
    const QString money = QStringLiteral("0.00");
    auto text = [](const char *name, int size, const QString &label, bool visible) {
        return FieldDef{QLatin1String(name), FieldType::String, size, label, {}, {}, visible};
    };
    auto moment = [](const char *name, const QString &label, bool visible) {
        return FieldDef{QLatin1String(name), FieldType::DateTime, 0, label, {}, {}, visible};
    };
    auto amount = [](const char *name, const QString &label, const QString &display,
                     const QString &edit, bool visible, bool calculated = false) {
        return FieldDef{QLatin1String(name), FieldType::Float, 0, label, display, edit, visible, calculated};
    };
    return {
        text("CDCLIENTE", 21, {}, false),
        text("NRSEQMOVCLI", 10, QStringLiteral("Número"), true),
        text("CDFILIAL", 4, {}, false),
        text("CDCONSUMIDOR", 21, QStringLiteral("Consumidor"), true),
        amount("VRMOVCLI", QStringLiteral("Vr. Empresa"), money, money, false),
        moment("DTMOVCLI", QStringLiteral("Data"), true),
        text("DSHISTMOV", 80, QStringLiteral("Histórico Movimentação"), true),
        text("IDTIPMOCVLI", 1, QStringLiteral("Desc. Tipo "), true),
        text("NRSEQVENDA", 10, QStringLiteral("Número Venda"), false),
        text("CDCAIXA", 3, {}, false),
        text("NMCONSUMIDOR", 50, QStringLiteral("Nome do Consumidor"), true),
        moment("DTABERCAIX", {}, false),
        text("CDTIPORECE", 3, QStringLiteral("Tipo Recebimento"), true),
        amount("VRMOVPESCONS", QStringLiteral("Vr. Pessoal"), money, {}, true),
        amount("VRSALDPECONS", QStringLiteral("Saldo Pessoal"), money, {}, true),
        amount("VRSALDOCONS", QStringLiteral("Saldo Empresa"), money, {}, true),
        moment("DTATUMOVCLIE", QStringLiteral("Data Atualização"), true),
        text("CDOPERADOR", 12, {}, false),
        text("DSATUMOVCLIE", 200, QStringLiteral("Descrição Atualização"), true),
        text("NMOPERADOR", 40, QStringLiteral("Operador Atuallização"), true),
        moment("DTRECMOVCLIE", {}, false),
        text("OPERARECA", 40, {}, false),
        text("TIPO", 1, QStringLiteral("Tipo"), true),
        moment("DTMOVIMCLIE", {}, false),
        amount("VRPESUBSIDIO", QStringLiteral("% Subs."), {}, {}, false),
        amount("VRTETOSUBSID", QStringLiteral("Teto Subs."), money, {}, false),
        amount("VRCONSUMID", QStringLiteral("A Pagar (Cons)"), money, {}, true, true),
        amount("VRPATROCINA", QStringLiteral("Vr. Patrocinado"), money, {}, true, true),
    };
}

QList<fw::PacketField> movementPacketFields()
{
    QList<fw::PacketField> fields;
    for (const FieldDef &def : movementFields()) {
        if (!def.calculated)
            fields.append({def.name, def.type, def.size});
    }
    return fields;
}

void defineMovementFields(fw::RecordSet &set)
{
    for (const FieldDef &def : movementFields())
        set.addField(def);
}

QList<fw::PacketField> consumerPacketFields()
{
    return {{QStringLiteral("CDCONSUMIDOR"), FieldType::String, 21},
            {QStringLiteral("NMCONSUMIDOR"), FieldType::String, 50},
            {QStringLiteral("CDCLIENTE"), FieldType::String, 21}};
}

} // namespace acc00420
