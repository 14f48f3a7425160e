#include "statementpacket.h"

#include <framework/data/datapacket.h>
#include "movementfields.h"

QByteArray statementPacket(const QList<TestMovement> &movements)
{
    const QList<fw::PacketField> fields = acc00420::movementPacketFields();
    QByteArray packet;
    fw::DataPacketWriter writer(&packet, fields, movements.size());
    for (const TestMovement &m : movements) {
        writer.beginRow();
        for (const fw::PacketField &f : fields) {
            auto number = [&](const std::optional<double> &v) { v ? writer.writeFloat(*v) : writer.writeNull(); };
            const QString &n = f.name;
            if (n == "CDCLIENTE") writer.writeString(u"000000000000000000001");
            else if (n == "NRSEQMOVCLI") writer.writeString(m.number);
            else if (n == "CDFILIAL") writer.writeString(u"0001");
            else if (n == "IDTIPMOCVLI") m.type.isNull() ? writer.writeNull() : writer.writeString(m.type);
            else if (n == "VRMOVCLI") number(m.company);
            else if (n == "VRMOVPESCONS") number(m.personal);
            else if (n == "VRSALDPECONS") number(m.personalBalance);
            else if (n == "VRSALDOCONS") number(m.companyBalance);
            else if (n == "VRPESUBSIDIO") number(m.subsidyPercent);
            else if (n == "VRTETOSUBSID") number(m.subsidyCeiling);
            else if (n == "DTMOVCLI") writer.writeDateTime(m.when.toMSecsSinceEpoch());
            else if (n == "NRSEQVENDA") m.sale.isEmpty() ? writer.writeNull() : writer.writeString(m.sale);
            else if (n == "CDCAIXA") m.till.isEmpty() ? writer.writeNull() : writer.writeString(m.till);
            else if (n == "TIPO") writer.writeString(u"M");
            else writer.writeNull();
        }
    }
    writer.finish();
    return packet;
}

QByteArray consumersPacket(const QString &client, const QList<std::pair<QString, QString>> &consumers)
{
    QByteArray packet;
    fw::DataPacketWriter writer(&packet, acc00420::consumerPacketFields(), consumers.size());
    for (const auto &[code, name] : consumers) {
        writer.beginRow();
        writer.writeString(code);
        writer.writeString(name);
        writer.writeString(client);
    }
    writer.finish();
    return packet;
}
