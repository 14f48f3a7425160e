#include "fieldtypes.h"

namespace fw {

QString fieldTypeName(FieldType type)
{
    switch (type) {
    case FieldType::String: return QStringLiteral("string");
    case FieldType::Float: return QStringLiteral("float");
    case FieldType::DateTime: return QStringLiteral("datetime");
    case FieldType::Integer: return QStringLiteral("integer");
    case FieldType::Boolean: return QStringLiteral("boolean");
    }
    return {};
}

bool fieldTypeFromName(const QString &name, FieldType *type)
{
    for (FieldType t : {FieldType::String, FieldType::Float, FieldType::DateTime,
                        FieldType::Integer, FieldType::Boolean}) {
        if (fieldTypeName(t) == name) {
            *type = t;
            return true;
        }
    }
    return false;
}

} // namespace fw
