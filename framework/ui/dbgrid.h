#pragma once

#include <framework/data/datasource.h>
#include <framework/data/recordsetmodel.h>
#include <framework/ui/uiexport.h>

#include <QPointer>
#include <QStyle>
#include <QTableView>

#include <functional>

class QPainter;

namespace fw {

// A grid column: the field it shows, its own title (empty: the field's label), its width in
// design pixels (-1: the default) and whether it is shown. Design pixels are measured at the
// small dialog font the screens were laid out in; the grid scales them to its own font and
// never makes a column narrower than its title.
struct GridColumn
{
    QString fieldName;
    QString title;
    int width = -1;
    bool visible = true;
};

// A read-only grid over a data source's record set. The current row follows the record set's
// cursor and moving in the grid moves the cursor. Rows have one fixed height (nothing is
// measured row by row) and only the rows in view are painted.
//
// Each data cell is painted by the grid and then, when set, by onDrawColumnCell: while it runs,
// canvas() is the painter (its brush is the background the grid chose for the cell, its pen
// the text colour) and the record set's fields read the row being painted.
class FW_UI_EXPORT TDBGrid : public QTableView
{
    Q_OBJECT
public:
    explicit TDBGrid(QWidget *parent = nullptr);

    void setDataSource(DataSource *source);
    DataSource *dataSource() const { return m_source; }
    void setColumns(const QList<GridColumn> &columns);
    const QList<GridColumn> &columns() const { return m_columns; }
    RecordSetModel *recordModel() const { return m_model; }
    Field *columnField(int column) const;

    std::function<void(TDBGrid &grid, const QRect &rect, int column, QStyle::State state)> onDrawColumnCell;
    QPainter *canvas() const { return m_canvas; }
    // The row being painted while onDrawColumnCell runs; -1 otherwise.
    int paintedRow() const { return m_paintedRow; }

    // The width in this grid's font of a width laid out at the design font.
    int scaledWidth(int designWidth) const;
    // Scrolls the current record to the middle of the view, so the rows before and after it
    // show too (after a reload put the cursor back on it).
    void centreCurrent();

protected:
    void changeEvent(QEvent *event) override;
    void rowsAboutToBeRemoved(const QModelIndex &parent, int start, int end) override;

private:
    friend class GridCellDelegate;
    void rebuild();
    void applyColumnWidths();
    void followCursor();
    void moveCursor(const QModelIndex &current);
    void paintCell(QPainter *painter, const QRect &rect, const QModelIndex &index, QStyle::State state);

    QPointer<DataSource> m_source;
    RecordSetModel *m_model = nullptr;
    QList<GridColumn> m_columns;
    QPainter *m_canvas = nullptr;
    int m_paintedRow = -1;
    bool m_syncing = false;
};

} // namespace fw
