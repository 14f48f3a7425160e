#pragma once

#include <QString>

// The shared database's client tables as the screen's tests use them: client C1 (CPF
// 529.982.247-25, "João Batista") at branch 0001, and 000…9 (CPF 390.533.447-05) at branch
// 0002 only.
inline const QString C1 = QString(20, u'0') + u'1';
inline const QString CPF = QStringLiteral("52998224725");

// Opens the shared database module on a new file and fills those tables.
void createSharedClients(const QString &file);
