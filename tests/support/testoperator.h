#pragma once

#include "storage.h"

#include <framework/data/serversession.h>

#include <QString>

// The password of the operators the tests sign in as.
inline const QString TestPassword = QStringLiteral("senha-de-teste");

// Gives operator `code` (kept when the ledger has it) the rights named, every one by default,
// at every branch the ledger has, with TestPassword.
void grantTestOperator(const server::Storage &storage, const QString &code = QStringLiteral("0007"),
                       const QStringList &rights = {});

// Makes `session` sign in as `code` at `branch` with `password` whenever a connection opens
// without one, as the back office does when started with its password.
void signInWith(fw::ServerSession &session, const QString &code = QStringLiteral("0007"),
                const QString &branch = QStringLiteral("0001"), const QString &password = TestPassword);

// The same with a session of the connection's own, which lives as long as it.
void signInOnOpen(fw::TNetConnection &connection, const QString &code = QStringLiteral("0007"),
                  const QString &branch = QStringLiteral("0001"), const QString &password = TestPassword);
