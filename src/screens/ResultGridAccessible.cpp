#include "screens/ResultGridAccessible.h"

#include "screens/ResultGrid.h"

#include <QAccessibleWidget>
#include <QHash>
#include <QHeaderView>
#include <QItemSelection>
#include <QPointer>
#include <algorithm>

namespace {

constexpr int kHeaderRow = -1;

// Which of the shown columns stands for a model column: itself, or for a column the table leaves
// out (the empty last one the user may click in), the nearest shown one to its left. -1 when no
// column is shown.
int TableColumn(const ResultGrid& grid, int modelColumn) {
    const QList<int> shown = grid.ShownColumns();
    int found = shown.isEmpty() ? -1 : 0;
    for (int i = 0; i < shown.size() && shown[i] <= modelColumn; ++i)
        found = i;
    return found;
}

QAccessibleInterface* TableOf(ResultGrid* grid) {
    return grid ? QAccessible::queryAccessibleInterface(grid) : nullptr;
}

// A header cell or a data cell, by its model row (kHeaderRow for the header) and model column.
class GridCell : public QAccessibleInterface, public QAccessibleTableCellInterface {
public:
    GridCell(ResultGrid* grid, int row, int column) : grid_(grid), row_(row), column_(column) {}

    const ResultGrid* Grid() const { return grid_; }

    bool isValid() const override {
        return grid_ && row_ < grid_->model()->rowCount() &&
               grid_->ShownColumns().contains(column_);
    }
    QObject* object() const override { return nullptr; }
    QWindow* window() const override { return grid_ ? grid_->window()->windowHandle() : nullptr; }
    QAccessibleInterface* parent() const override { return TableOf(grid_); }
    QAccessibleInterface* child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }
    QAccessibleInterface* childAt(int, int) const override { return nullptr; }
    QAccessible::Role role() const override {
        return row_ == kHeaderRow ? QAccessible::ColumnHeader : QAccessible::Cell;
    }
    QString text(QAccessible::Text kind) const override {
        if (kind != QAccessible::Name || !grid_)
            return QString();
        return grid_->TextMatrix(row_ + 1, column_);
    }
    void setText(QAccessible::Text, const QString&) override {}

    QRect rect() const override {
        if (!isValid())
            return QRect();
        if (row_ == kHeaderRow) {
            const QHeaderView* header = grid_->horizontalHeader();
            const QRect section(header->sectionViewportPosition(column_), 0,
                                header->sectionSize(column_), header->height());
            return section.translated(header->viewport()->mapToGlobal(QPoint()));
        }
        return grid_->visualRect(Index()).translated(grid_->viewport()->mapToGlobal(QPoint()));
    }

    QAccessible::State state() const override {
        QAccessible::State state;
        if (!isValid()) {
            state.invalid = true;
            return state;
        }
        state.readOnly = true;
        if (row_ == kHeaderRow)
            return state;
        state.selectable = true;
        state.selected = isSelected();
        state.focusable = true;
        const QModelIndex current = grid_->currentIndex();
        state.focused = grid_->hasFocus() && current.row() == row_ &&
                        TableColumn(*grid_, current.column()) == columnIndex();
        if (!grid_->viewport()->rect().intersects(grid_->visualRect(Index())))
            state.invisible = state.offscreen = true;
        return state;
    }

    void* interface_cast(QAccessible::InterfaceType type) override {
        if (type == QAccessible::TableCellInterface && row_ != kHeaderRow)
            return static_cast<QAccessibleTableCellInterface*>(this);
        return nullptr;
    }

    bool isSelected() const override {
        return isValid() && grid_->selectionModel()->isRowSelected(row_, QModelIndex());
    }
    QList<QAccessibleInterface*> columnHeaderCells() const override;
    QList<QAccessibleInterface*> rowHeaderCells() const override { return {}; }
    int columnIndex() const override {
        return grid_ ? static_cast<int>(grid_->ShownColumns().indexOf(column_)) : -1;
    }
    int rowIndex() const override { return row_; }
    int columnExtent() const override { return 1; }
    int rowExtent() const override { return 1; }
    QAccessibleInterface* table() const override { return TableOf(grid_); }

private:
    QModelIndex Index() const { return grid_->model()->index(row_, column_); }

    QPointer<ResultGrid> grid_;
    int row_;
    int column_;
};

class GridTable : public QAccessibleWidget, public QAccessibleTableInterface {
public:
    explicit GridTable(ResultGrid* grid) : QAccessibleWidget(grid, QAccessible::Table) {}
    ~GridTable() override { Forget(kHeaderRow); }

    void* interface_cast(QAccessible::InterfaceType type) override {
        if (type == QAccessible::TableInterface)
            return static_cast<QAccessibleTableInterface*>(this);
        return QAccessibleWidget::interface_cast(type);
    }

    // The header row, then the data rows, each of the shown columns.
    int childCount() const override { return (rowCount() + 1) * columnCount(); }
    QAccessibleInterface* child(int index) const override {
        const int columns = columnCount();
        if (index < 0 || columns == 0 || index >= childCount())
            return nullptr;
        return Cell(index / columns - 1, Grid().ShownColumns().at(index % columns));
    }
    int indexOfChild(const QAccessibleInterface* child) const override {
        const auto* cell = dynamic_cast<const GridCell*>(child);
        if (cell == nullptr || cell->Grid() != widget() || !cell->isValid())
            return -1;
        return (cell->rowIndex() + 1) * columnCount() + cell->columnIndex();
    }
    QAccessibleInterface* childAt(int x, int y) const override {
        const ResultGrid& grid = Grid();
        const QPoint global(x, y);
        const QHeaderView* header = grid.horizontalHeader();
        const QPoint inHeader = header->viewport()->mapFromGlobal(global);
        if (header->isVisible() && header->viewport()->rect().contains(inHeader)) {
            const int column = header->logicalIndexAt(inHeader);
            return grid.ShownColumns().contains(column) ? Cell(kHeaderRow, column) : nullptr;
        }
        const QPoint inView = grid.viewport()->mapFromGlobal(global);
        const QModelIndex index =
            grid.viewport()->rect().contains(inView) ? grid.indexAt(inView) : QModelIndex();
        if (!index.isValid() || !grid.ShownColumns().contains(index.column()))
            return nullptr;
        return Cell(index.row(), index.column());
    }
    QAccessibleInterface* focusChild() const override {
        const ResultGrid& grid = Grid();
        return grid.hasFocus()
                   ? child(ResultGridAccessibility::ChildIndex(grid, grid.currentIndex()))
                   : nullptr;
    }

    QAccessibleInterface* caption() const override { return nullptr; }
    QAccessibleInterface* summary() const override { return nullptr; }
    // A reader may ask for any row and column; one beyond the table is none, without a word.
    QAccessibleInterface* cellAt(int row, int column) const override {
        if (row < 0 || row >= rowCount() || column < 0 || column >= columnCount())
            return nullptr;
        return Cell(row, Grid().ShownColumns().at(column));
    }
    int selectedCellCount() const override { return selectedRowCount() * columnCount(); }
    QList<QAccessibleInterface*> selectedCells() const override {
        QList<QAccessibleInterface*> cells;
        for (const int row : selectedRows())
            for (int column = 0; column < columnCount(); ++column)
                cells.append(cellAt(row, column));
        return cells;
    }
    QString columnDescription(int column) const override {
        return column >= 0 && column < columnCount()
                   ? Grid().TextMatrix(0, Grid().ShownColumns().at(column))
                   : QString();
    }
    QString rowDescription(int) const override { return QString(); }
    int selectedColumnCount() const override { return 0; }
    int selectedRowCount() const override { return static_cast<int>(selectedRows().size()); }
    int columnCount() const override { return static_cast<int>(Grid().ShownColumns().size()); }
    int rowCount() const override { return Grid().model()->rowCount(); }
    QList<int> selectedColumns() const override { return {}; }
    QList<int> selectedRows() const override {
        QList<int> rows;
        for (const QModelIndex& index : Grid().selectionModel()->selectedRows())
            rows.append(index.row());
        std::sort(rows.begin(), rows.end());
        return rows;
    }
    bool isColumnSelected(int) const override { return false; }
    bool isRowSelected(int row) const override {
        return Grid().selectionModel()->isRowSelected(row, QModelIndex());
    }
    // The grid selects whole rows.
    bool selectRow(int row) override { return SelectRow(row, QItemSelectionModel::Select); }
    bool unselectRow(int row) override { return SelectRow(row, QItemSelectionModel::Deselect); }
    bool selectColumn(int) override { return false; }
    bool unselectColumn(int) override { return false; }

    // Cells are known by their place: those at or below rows that come or go are places of other
    // rows now.
    void modelChange(QAccessibleTableModelChangeEvent* event) override {
        switch (event->modelChangeType()) {
        case QAccessibleTableModelChangeEvent::DataChanged:
            break;
        case QAccessibleTableModelChangeEvent::RowsInserted:
        case QAccessibleTableModelChangeEvent::RowsRemoved:
            Forget(event->firstRow());
            break;
        default:
            Forget(kHeaderRow);
            break;
        }
    }

private:
    ResultGrid& Grid() const { return *static_cast<ResultGrid*>(widget()); }

    static quint64 Key(int row, int column) {
        return quint64(quint32(row)) << 32 | quint32(column);
    }

    QAccessibleInterface* Cell(int row, int column) const {
        const quint64 key = Key(row, column);
        if (const auto known = cells_.constFind(key); known != cells_.constEnd())
            if (QAccessibleInterface* cell = QAccessible::accessibleInterface(*known))
                return cell;
        auto* cell = new GridCell(&Grid(), row, column);
        cells_.insert(key, QAccessible::registerAccessibleInterface(cell));
        return cell;
    }

    // Drops the cells of rows from `firstRow` on; kHeaderRow drops all.
    void Forget(int firstRow) {
        for (auto it = cells_.begin(); it != cells_.end();) {
            if (int(quint32(it.key() >> 32)) >= firstRow) {
                QAccessible::deleteAccessibleInterface(it.value());
                it = cells_.erase(it);
            } else {
                ++it;
            }
        }
    }

    bool SelectRow(int row, QItemSelectionModel::SelectionFlag how) {
        if (row < 0 || row >= rowCount())
            return false;
        Grid().selectionModel()->select(Grid().model()->index(row, 0),
                                        how | QItemSelectionModel::Rows);
        return true;
    }

    mutable QHash<quint64, QAccessible::Id> cells_;
};

QList<QAccessibleInterface*> GridCell::columnHeaderCells() const {
    QAccessibleInterface* table = TableOf(grid_);
    const int column = columnIndex();
    if (table == nullptr || column < 0)
        return {};
    return {table->child(column)};
}

void Announce(ResultGrid& grid, const QModelIndex& index, QAccessible::Event type) {
    const int child = ResultGridAccessibility::ChildIndex(grid, index);
    if (child < 0)
        return;
    QAccessibleEvent event(&grid, type);
    event.setChild(child);
    QAccessible::updateAccessibility(&event);
}

QAccessibleInterface* Factory(const QString& className, QObject* object) {
    if (className == QLatin1String(ResultGrid::staticMetaObject.className()) && object)
        return new GridTable(static_cast<ResultGrid*>(object));
    return nullptr;
}

} // namespace

namespace ResultGridAccessibility {

int ChildIndex(const ResultGrid& grid, const QModelIndex& index) {
    const int column = TableColumn(grid, index.column());
    if (!index.isValid() || column < 0)
        return -1;
    return (index.row() + 1) * static_cast<int>(grid.ShownColumns().size()) + column;
}

void Install() {
    static const bool installed = (QAccessible::installFactory(Factory), true);
    Q_UNUSED(installed);
}

void CurrentChanged(ResultGrid& grid, const QModelIndex& current) {
    if (QAccessible::isActive())
        Announce(grid, current, QAccessible::Focus);
}

void SelectionChanged(ResultGrid& grid, const QItemSelection& selected,
                      const QItemSelection& deselected) {
    if (!QAccessible::isActive())
        return;
    if (!selected.isEmpty())
        Announce(grid, selected.indexes().value(0), QAccessible::SelectionAdd);
    if (!deselected.isEmpty())
        Announce(grid, deselected.indexes().value(0), QAccessible::SelectionRemove);
}

} // namespace ResultGridAccessibility
