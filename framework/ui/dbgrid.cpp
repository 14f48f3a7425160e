#include "dbgrid.h"

#include <framework/ui/handlerguard.h>

#include <QDebug>
#include <QEvent>
#include <QHeaderView>
#include <QPainter>
#include <QStyledItemDelegate>

namespace fw {
namespace {

// The average character width, in pixels, of the 8-point dialog font the screens' column
// widths were laid out in.
constexpr qreal DesignAverageCharWidth = 5.0;

int rowHeightFor(const QFontMetrics &metrics)
{
    return metrics.height() + 6;
}

} // namespace

// Paints through the grid, so the screen's cell hook sees every cell.
class GridCellDelegate : public QStyledItemDelegate
{
public:
    explicit GridCellDelegate(TDBGrid *grid) : QStyledItemDelegate(grid), m_grid(grid) {}

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        QStyleOptionViewItem opt = option;
        initStyleOption(&opt, index);
        // The focus frame is the hook's to draw, as it decides.
        const QStyle::State state = opt.state;
        if (m_grid->onDrawColumnCell)
            opt.state &= ~QStyle::State_HasFocus;
        // Drawn with the option as initialised: the base paint would initialise it again and ask
        // the model for every role a second time.
        m_grid->style()->drawControl(QStyle::CE_ItemViewItem, &opt, painter, m_grid);
        m_grid->paintCell(painter, option.rect, index, state);
    }

private:
    TDBGrid *m_grid;
};

TDBGrid::TDBGrid(QWidget *parent)
    : QTableView(parent)
{
    setItemDelegate(new GridCellDelegate(this));
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionBehavior(QAbstractItemView::SelectItems);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setTabKeyNavigation(true);
    setShowGrid(true);
    setWordWrap(false);
    verticalHeader()->hide(); // no indicator column
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(rowHeightFor(fontMetrics()));
    horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    horizontalHeader()->setHighlightSections(false);
    // The selection shows also while another control has the focus.
    QPalette p = palette();
    p.setColor(QPalette::Inactive, QPalette::Highlight, p.color(QPalette::Active, QPalette::Highlight));
    p.setColor(QPalette::Inactive, QPalette::HighlightedText, p.color(QPalette::Active, QPalette::HighlightedText));
    setPalette(p);
}

void TDBGrid::setDataSource(DataSource *source)
{
    if (m_source)
        disconnect(m_source, nullptr, this, nullptr);
    m_source = source;
    if (m_source)
        connect(m_source, &DataSource::dataSetChanged, this, &TDBGrid::rebuild);
    rebuild();
}

void TDBGrid::rebuild()
{
    RecordSet *set = m_source ? m_source->dataSet() : nullptr;
    auto *old = m_model;
    m_model = set ? new RecordSetModel(set, this) : nullptr;
    setModel(m_model);
    delete old;
    if (!m_model)
        return;
    connect(set, &RecordSet::currentChanged, this, &TDBGrid::followCursor);
    // While rows come and go the view moves its current cell by itself; that is not the
    // operator moving, so the record set's cursor is left alone and shown again after.
    auto hold = [this] { m_syncing = true; };
    auto release = [this] {
        m_syncing = false;
        followCursor();
    };
    connect(m_model, &QAbstractItemModel::rowsAboutToBeInserted, this, hold);
    connect(m_model, &QAbstractItemModel::rowsInserted, this, release);
    connect(m_model, &QAbstractItemModel::rowsAboutToBeRemoved, this, hold);
    connect(m_model, &QAbstractItemModel::rowsRemoved, this, release);
    connect(m_model, &QAbstractItemModel::modelAboutToBeReset, this, hold);
    connect(m_model, &QAbstractItemModel::modelReset, this, release);
    connect(selectionModel(), &QItemSelectionModel::currentChanged, this, &TDBGrid::moveCursor);
    setColumns(m_columns);
}

void TDBGrid::setColumns(const QList<GridColumn> &columns)
{
    m_columns = columns;
    if (!m_model || columns.isEmpty())
        return;
    QStringList names;
    for (const GridColumn &c : columns)
        names.append(c.fieldName);
    m_model->setColumns(names);
    for (int i = 0; i < columns.size(); ++i) {
        if (!columns[i].title.isEmpty())
            m_model->setColumnTitle(i, columns[i].title);
        setColumnHidden(i, !columns[i].visible);
    }
    applyColumnWidths();
}

int TDBGrid::scaledWidth(int designWidth) const
{
    return qRound(designWidth * QFontMetricsF(font()).averageCharWidth() / DesignAverageCharWidth);
}

void TDBGrid::centreCurrent()
{
    if (!currentIndex().isValid())
        return;
    // A reload's rows are laid out later; the scroll range must hold them now.
    executeDelayedItemsLayout();
    scrollTo(currentIndex(), QAbstractItemView::PositionAtCenter);
}

void TDBGrid::applyColumnWidths()
{
    if (!m_model)
        return;
    for (int i = 0; i < m_columns.size() && i < m_model->columnCount(); ++i) {
        if (m_columns[i].width < 0)
            continue;
        const int title = horizontalHeader()->sectionSizeHint(i);
        horizontalHeader()->resizeSection(i, std::max(scaledWidth(m_columns[i].width), title));
    }
}

void TDBGrid::changeEvent(QEvent *event)
{
    QTableView::changeEvent(event);
    if (event->type() == QEvent::FontChange) {
        verticalHeader()->setDefaultSectionSize(rowHeightFor(fontMetrics()));
        applyColumnWidths();
    }
}

void TDBGrid::rowsAboutToBeRemoved(const QModelIndex &parent, int start, int end)
{
    m_syncing = true; // the view moves its current cell off the rows that go: not the operator
    QTableView::rowsAboutToBeRemoved(parent, start, end);
}

Field *TDBGrid::columnField(int column) const
{
    if (!m_model || column < 0 || column >= m_model->columnCount())
        return nullptr;
    return &m_model->recordSet()->field(m_model->fieldIndex(column));
}

void TDBGrid::followCursor()
{
    if (!m_model || m_syncing)
        return;
    RecordSet *set = m_model->recordSet();
    const int row = set->active() ? set->recNo() : -1;
    m_syncing = true;
    if (row < 0) {
        selectionModel()->clearCurrentIndex();
    } else {
        const int column = std::max(0, currentIndex().column());
        setCurrentIndex(m_model->index(row, column));
    }
    m_syncing = false;
}

void TDBGrid::moveCursor(const QModelIndex &current)
{
    if (m_syncing || !current.isValid())
        return;
    RecordSet *set = m_model->recordSet();
    if (current.row() == set->recNo())
        return;
    m_syncing = true;
    guarded([&] { set->setRecNo(current.row()); });
    m_syncing = false;
    followCursor(); // refused (a record that could not be posted): the grid goes back
}

void TDBGrid::paintCell(QPainter *painter, const QRect &rect, const QModelIndex &index, QStyle::State state)
{
    if (!onDrawColumnCell)
        return;
    const bool selected = state & QStyle::State_Selected;
    painter->save();
    painter->setClipRect(rect); // what the hook draws stays inside its cell
    painter->setBrush(palette().brush(selected ? QPalette::Highlight : QPalette::Base));
    painter->setPen(palette().color(selected ? QPalette::HighlightedText : QPalette::Text));
    m_canvas = painter;
    m_paintedRow = index.row();
    m_model->recordSet()->readAt(index.row(), [&] {
        // Painting can't stop for a dialog: a failing hook leaves the grid's own painting.
        try {
            onDrawColumnCell(*this, rect, index.column(), state);
        } catch (const std::exception &e) {
            qWarning("%s: pintura da célula falhou: %s", qPrintable(objectName()), e.what());
        }
    });
    m_canvas = nullptr;
    m_paintedRow = -1;
    painter->restore();
}

} // namespace fw
