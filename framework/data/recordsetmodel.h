#pragma once

#include <framework/data/recordset.h>
#include <framework/data/dataexport.h>

#include <QAbstractTableModel>
#include <QHash>
#include <QPointer>

namespace fw {

// A table model over a record set: one row per record in view, one column per field of the
// given list (all fields by default). Every cell reads its record directly (O(1)); one reset
// per load, one row signal per insert, delete or change.
class FW_DATA_EXPORT RecordSetModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    enum Role {
        ValueRole = Qt::UserRole + 1, // the stored value as a QVariant (null: invalid)
        EditTextRole,                 // the field's edit text
        IsNullRole,
        PendingRole,                  // the record is a change not yet sent (RecordSet::isPendingAt)
    };

    explicit RecordSetModel(RecordSet *recordSet, QObject *parent = nullptr);

    RecordSet *recordSet() const { return m_recordSet; }
    // Which fields, by name, in which order; a name the record set lacks is an error.
    void setColumns(const QStringList &fieldNames);
    int fieldIndex(int column) const;
    // A column's own title instead of its field's display label; empty restores the label.
    void setColumnTitle(int column, const QString &title);

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

private:
    QPointer<RecordSet> m_recordSet;
    std::vector<int> m_columns; // field index per column; empty: every field
    QHash<int, QString> m_titles;
};

} // namespace fw
