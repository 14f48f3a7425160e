#pragma once

#include <framework/data/dataexport.h>

#include <QCborArray>
#include <QList>
#include <QString>

#include <optional>

namespace fw {

// What one argument of a server method must be on the wire.
struct ArgSpec
{
    enum class Type { Text, DateTime, Map, Unsigned };
    QString name;
    Type type = Type::Text;
    int maxLength = 0; // characters, for texts; 0 is unlimited
};

// A server method: its name and its arguments in order. Both ends read the same table: the
// caller checks what it sends, the server what it receives.
struct MethodSpec
{
    QString name;
    QList<ArgSpec> args;
};

// Why the arguments don't fit the method (count, type, length), in words for the caller's log;
// nothing when they fit.
FW_DATA_EXPORT std::optional<QString> checkArguments(const MethodSpec &method, const QCborArray &args);

} // namespace fw
