#pragma once

class QItemSelection;
class QModelIndex;
class ResultGrid;

// What assistive technology learns of the result grid: a table of the columns the user reads, the
// shown columns that have a header, under one row of column headers. Qt's own table counts every
// column of the model, the hidden id and the empty last one among them, and the hidden row
// header, and warns when a reader asks for a cell beyond it.
namespace ResultGridAccessibility {

// Makes the grid answer with that table; done once, by the grid.
void Install();

// Where the table has the cell at a model index among its children; a column the table leaves
// out counts as the nearest shown one to its left. -1 for no cell.
int ChildIndex(const ResultGrid& grid, const QModelIndex& index);

// The focus and selection events of the view, with the cell numbered by ChildIndex.
void CurrentChanged(ResultGrid& grid, const QModelIndex& current);
void SelectionChanged(ResultGrid& grid, const QItemSelection& selected,
                      const QItemSelection& deselected);

} // namespace ResultGridAccessibility
