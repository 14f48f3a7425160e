#pragma once

#include <framework/data/database.h>

#include <QFileInfo>
#include <QString>

#include <optional>

// Why a tool cannot read the ledger it was given: a SQLite file that is not there is a
// mistyped path, and opening it would create an empty ledger in its place.
inline std::optional<QString> missingLedger(const QString &url)
{
    const fw::DatabaseUrl where = fw::DatabaseUrl::parse(url);
    if (where.kind == fw::DatabaseUrl::Kind::SQLite && !QFileInfo(where.path).isFile())
        return QStringLiteral("o banco %1 não existe; informe o arquivo do razão em --database").arg(where.path);
    return std::nullopt;
}
