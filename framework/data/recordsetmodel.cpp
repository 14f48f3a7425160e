#include "recordsetmodel.h"

namespace fw {
namespace {

QVariant toVariant(FieldType type, const Value &value)
{
    if (const auto *text = std::get_if<QString>(&value))
        return *text;
    if (const auto *d = std::get_if<double>(&value))
        return *d;
    if (const auto *i = std::get_if<qint64>(&value)) {
        if (type == FieldType::DateTime)
            return QDateTime::fromMSecsSinceEpoch(*i);
        if (type == FieldType::Boolean)
            return *i != 0;
        return *i;
    }
    return {};
}

} // namespace

RecordSetModel::RecordSetModel(RecordSet *recordSet, QObject *parent)
    : QAbstractTableModel(parent)
    , m_recordSet(recordSet)
{
    connect(recordSet, &RecordSet::aboutToReset, this, &RecordSetModel::beginResetModel);
    connect(recordSet, &RecordSet::reset, this, &RecordSetModel::endResetModel);
    connect(recordSet, &RecordSet::aboutToInsertRow, this,
            [this](int row) { beginInsertRows({}, row, row); });
    connect(recordSet, &RecordSet::rowInserted, this, &RecordSetModel::endInsertRows);
    connect(recordSet, &RecordSet::aboutToAppendRows, this,
            [this](int first, int last) { beginInsertRows({}, first, last); });
    connect(recordSet, &RecordSet::rowsAppended, this, &RecordSetModel::endInsertRows);
    connect(recordSet, &RecordSet::aboutToRemoveRow, this,
            [this](int row) { beginRemoveRows({}, row, row); });
    connect(recordSet, &RecordSet::rowRemoved, this, &RecordSetModel::endRemoveRows);
    connect(recordSet, &RecordSet::rowChanged, this, [this](int row) {
        if (row >= 0 && row < rowCount() && columnCount() > 0)
            emit dataChanged(index(row, 0), index(row, columnCount() - 1));
    });
}

void RecordSetModel::setColumns(const QStringList &fieldNames)
{
    std::vector<int> columns;
    for (const QString &name : fieldNames)
        columns.push_back(m_recordSet->fieldByName(name).index());
    beginResetModel();
    m_columns = std::move(columns);
    m_titles.clear();
    endResetModel();
}

int RecordSetModel::fieldIndex(int column) const
{
    return m_columns.empty() ? column : m_columns.at(size_t(column));
}

void RecordSetModel::setColumnTitle(int column, const QString &title)
{
    m_titles.insert(column, title);
    emit headerDataChanged(Qt::Horizontal, column, column);
}

int RecordSetModel::rowCount(const QModelIndex &parent) const
{
    if (parent.isValid() || !m_recordSet || !m_recordSet->active())
        return 0;
    return m_recordSet->recordCount();
}

int RecordSetModel::columnCount(const QModelIndex &parent) const
{
    if (parent.isValid() || !m_recordSet)
        return 0;
    return m_columns.empty() ? m_recordSet->fieldCount() : int(m_columns.size());
}

QVariant RecordSetModel::data(const QModelIndex &index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    const int field = fieldIndex(index.column());
    switch (role) {
    case Qt::DisplayRole:
        return m_recordSet->displayTextAt(index.row(), field);
    case EditTextRole:
    case Qt::EditRole:
        return m_recordSet->textAt(index.row(), field);
    case ValueRole:
        return toVariant(m_recordSet->field(field).dataType(), m_recordSet->valueAt(index.row(), field));
    case IsNullRole:
        return isNull(m_recordSet->valueAt(index.row(), field));
    case PendingRole:
        return m_recordSet->isPendingAt(index.row());
    case Qt::ToolTipRole:
        return m_recordSet->isPendingAt(index.row()) ? QStringLiteral("Alteração ainda não enviada ao servidor.") : QVariant();
    case Qt::TextAlignmentRole: {
        const FieldType type = m_recordSet->field(field).dataType();
        const bool numeric = type == FieldType::Float || type == FieldType::Integer;
        return QVariant::fromValue(Qt::AlignVCenter | (numeric ? Qt::AlignRight : Qt::AlignLeft));
    }
    default:
        return {};
    }
}

QVariant RecordSetModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole || !m_recordSet)
        return QAbstractTableModel::headerData(section, orientation, role);
    if (orientation == Qt::Horizontal && section >= 0 && section < columnCount()) {
        const QString title = m_titles.value(section);
        return title.isEmpty() ? m_recordSet->field(fieldIndex(section)).displayLabel() : title;
    }
    return QAbstractTableModel::headerData(section, orientation, role);
}

Qt::ItemFlags RecordSetModel::flags(const QModelIndex &index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable;
}

} // namespace fw
