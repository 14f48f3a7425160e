#pragma once

#include <framework/report/reportdesigner.h>

#include <QString>

#include <optional>

namespace acc00420 {

inline const QString ReceiptReport = QStringLiteral(":/acc00420/Recibo.QR2");

// The movement a receipt is of; its personal value in reais, none when it has none.
struct ReceiptOf
{
    QString client;
    QString number;
    std::optional<double> personal;
};

// Fills the receipt report's query parameters that it declares: the movement, the signed-in
// branch, and the personal value as plain text ("12,5", the report writes it out).
void supplyReceiptParams(fw::ReportParams &params, const ReceiptOf &receipt);

// Writes the receipt as a PDF, its query run on the shared database; returns its number of
// pages. Throws fw::ReportError.
int printReceiptToPdf(const QString &file, const ReceiptOf &receipt);

} // namespace acc00420
