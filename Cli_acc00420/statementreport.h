#pragma once

#include "statement.h"

#include <framework/report/reportrenderer.h>

#include <QDateTime>

namespace acc00420 {

// A statement as it is printed: whom it is of, the period, and who issued it when.
struct StatementPrint
{
    StatementHolder holder;
    QString branchName;
    QDate from, to;
    bool showCancelled = true;
    QString issuedBy;
    QDateTime issuedAt;
};

inline const QString StatementReport = QStringLiteral(":/acc00420/Extrato.QR2");

// The statement report's rows (the period's movements with their running balances) and its
// parameters (the head, the totals, what is owed by age), from a statement made by the
// ledger's rule: the report computes nothing.
fw::ReportData statementReportData(const StatementPrint &print, const Statement &statement);

// Writes the statement as a PDF; returns its number of pages. Throws fw::ReportError.
int printStatementToPdf(const QString &file, const StatementPrint &print, const Statement &statement);

} // namespace acc00420
