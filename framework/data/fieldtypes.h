#pragma once

#include <framework/data/dataexport.h>

#include <QString>

#include <variant>

namespace fw {

enum class FieldType { String, Float, DateTime, Integer, Boolean };

// Wire and diagnostic names: "string", "float", "datetime", "integer", "boolean".
FW_DATA_EXPORT QString fieldTypeName(FieldType type);
FW_DATA_EXPORT bool fieldTypeFromName(const QString &name, FieldType *type);

// One stored value: null, text, a float, or an integer (also date-times, as milliseconds since
// the epoch, and booleans as 0/1).
using Value = std::variant<std::monostate, QString, double, qint64>;

inline bool isNull(const Value &v) { return std::holds_alternative<std::monostate>(v); }

} // namespace fw
