#pragma once

#include <framework/data/recordsetmodel.h>

// The model's column showing this field (case-insensitive), -1 when none does.
inline int modelColumnOf(const fw::RecordSetModel &model, const QString &fieldName)
{
    for (int c = 0; c < model.columnCount(); ++c) {
        if (model.recordSet()->field(model.fieldIndex(c)).fieldName().compare(fieldName, Qt::CaseInsensitive) == 0)
            return c;
    }
    return -1;
}
