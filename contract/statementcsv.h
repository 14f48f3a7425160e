#pragma once

#include "statement.h"

#include <QByteArray>

namespace acc00420 {

// A statement's movements for a spreadsheet in Brazilian Portuguese: UTF-8 with a byte-order
// mark, one header row, semicolons between fields, dates as dd/mm/yyyy, amounts with the
// decimal comma and no grouping. A text that a spreadsheet would take for a formula is written
// as text.
QByteArray statementCsv(const Statement &statement);

// The movement type as a statement names it: Crédito, Débito, Déb-Ajuste, Cancelado.
QString movementTypeName(QStringView type);

} // namespace acc00420
