#pragma once

#include <framework/data/field.h>

#include <QList>

namespace fw {
class RecordSet;
struct PacketField;
}

namespace acc00420 {

// Each field's position in the movement record, for reads made per row or per painted cell.
namespace MovementField {
enum : int {
        CDCLIENTE, NRSEQMOVCLI, CDFILIAL, CDCONSUMIDOR, VRMOVCLI, DTMOVCLI, DSHISTMOV, IDTIPMOCVLI,
        NRSEQVENDA, CDCAIXA, NMCONSUMIDOR, DTABERCAIX, CDTIPORECE, VRMOVPESCONS, VRSALDPECONS,
        VRSALDOCONS, DTATUMOVCLIE, CDOPERADOR, DSATUMOVCLIE, NMOPERADOR, DTRECMOVCLIE, OPERARECA,
        TIPO, DTMOVIMCLIE, VRPESUBSIDIO, VRTETOSUBSID, VRCONSUMID, VRPATROCINA,
};
} // namespace MovementField

// The movement record of a client's account statement, field by field in its fixed order:
// name, type, size, caption, formats, and whether the field itself is visible. The last two
// are computed on the screen and never travel.
QList<fw::FieldDef> movementFields();
// The stored ones, as they travel in a packet.
QList<fw::PacketField> movementPacketFields();
void defineMovementFields(fw::RecordSet &set);

// The consumer record the consumer look-ups deliver.
QList<fw::PacketField> consumerPacketFields();

} // namespace acc00420
