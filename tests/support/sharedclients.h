#pragma once

#include <QString>
#include <QStringList>

// The shared database's client tables as the screen's tests use them: client C1 (CPF
// 529.982.247-25, "João Batista") at branch 0001, and 000…9 (CPF 390.533.447-05) at branch
// 0002 only.
inline const QString C1 = QString(20, u'0') + u'1';
inline const QString CPF = QStringLiteral("52998224725");

// Runs statements that must succeed on the shared database file, through a connection of its
// own: the back office's shared database module only reads.
void writeShared(const QString &file, const QStringList &statements);

// Fills those tables in a new file and opens the shared database module on it.
void createSharedClients(const QString &file);
