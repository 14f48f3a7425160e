#pragma once

#include <QByteArray>

namespace fw {
class RecordSet;
}

// The record set's stored fields and rows, in view order, written back as a data packet.
QByteArray recordSetPacket(const fw::RecordSet &set);
