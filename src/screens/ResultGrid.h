#pragma once

#include <QAbstractTableModel>
#include <QByteArrayView>
#include <QFont>
#include <QFontMetricsF>
#include <QStringList>
#include <QTableView>
#include <algorithm>
#include <cstdlib>
#include <memory>
#include <new>
#include <type_traits>
#include <vector>

// A growing array of plain values on realloc. It doubles its capacity, so a large block grows by
// moving pages rather than copying them, and it keeps its capacity when it shrinks.
template <typename T> class PlainArray {
    static_assert(std::is_trivially_copyable_v<T>);

public:
    PlainArray() = default;
    PlainArray(const PlainArray&) = delete;
    PlainArray& operator=(const PlainArray&) = delete;
    ~PlainArray() { std::free(data_); }
    void Swap(PlainArray& other) {
        std::swap(data_, other.data_);
        std::swap(size_, other.size_);
        std::swap(capacity_, other.capacity_);
    }

    T* Data() { return data_; }
    const T* Data() const { return data_; }
    size_t Size() const { return size_; }
    // New elements are left as they are; the caller writes them.
    void Resize(size_t size) {
        Reserve(size);
        size_ = size;
    }
    void Reserve(size_t size) {
        if (size <= capacity_)
            return;
        const size_t capacity = std::max({size, capacity_ * 2, size_t(64)});
        T* data = static_cast<T*>(std::realloc(data_, capacity * sizeof(T)));
        if (data == nullptr)
            throw std::bad_alloc();
        data_ = data;
        capacity_ = capacity;
    }

private:
    T* data_ = nullptr;
    size_t size_ = 0;
    size_t capacity_ = 0;
};

// Cell texts as UTF-8 in one block, an offset and a length to a cell. A cell written again gets
// new bytes at the end of the block; the bytes go when every cell goes.
class Utf8Cells {
public:
    size_t Size() const { return cells_.Size(); }
    // Cells added are empty.
    void Resize(size_t count);
    QByteArrayView At(size_t cell) const {
        const Cell& c = cells_.Data()[cell];
        return QByteArrayView(bytes_.Data() + c.offset, c.length);
    }
    void Set(size_t cell, QByteArrayView utf8);
    void Swap(Utf8Cells& other) {
        cells_.Swap(other.cells_);
        bytes_.Swap(other.bytes_);
    }

private:
    struct Cell {
        quint32 offset;
        quint32 length;
    };
    PlainArray<Cell> cells_;
    PlainArray<char> bytes_;
};

// The rows behind the result grid. Rows added or changed while a fill runs are announced to the
// view in one batch the next time the event loop runs, so a long fill costs no view work per row.
class ResultGridModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit ResultGridModel(QObject* parent = nullptr);

    int StoredRows() const { return storedRows_; }
    void SetStoredRows(int count);
    int ColumnCount() const { return headers_.size(); }
    void SetColumnCount(int count);
    QString Text(int row, int column) const;
    // The cell's text as UTF-8, valid until the cell or the rows change.
    QByteArrayView Utf8(int row, int column) const;
    void SetText(int row, int column, const QString& text);
    void SetUtf8(int row, int column, QByteArrayView utf8);
    QString Header(int column) const { return headers_.value(column); }
    void SetHeader(int column, const QString& text);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    // Tells the view about rows and cells changed since the last announcement.
    void Announce();

private:
    bool IsCell(int row, int column) const;
    void ScheduleAnnouncement();

    QStringList headers_;
    Utf8Cells cells_; // row by row, ColumnCount() to a row
    int storedRows_ = 0;
    int announcedRows_ = 0;
    int dirtyTop_ = -1;
    int dirtyBottom_ = -1;
    bool announcementPending_ = false;
};

// The width of a UTF-8 text as the sum of its characters' advances in one font, each character
// measured once. Kerning and shaping only narrow a text against that sum, so it finds the few
// texts worth measuring exactly.
class AdvanceTable {
public:
    explicit AdvanceTable(const QFont& font);
    const QFont& Font() const { return font_; }
    float Of(QByteArrayView utf8);

private:
    float OfCodePoint(char32_t codePoint);

    QFont font_;
    QFontMetricsF metrics_;
    float ascii_[128];
    std::vector<float> others_; // by code point, negative while not measured yet
};

// The query screen's result list: one fixed header row (row 0) above the data rows, addressed
// by row and column as the screen needs it.
class ResultGrid : public QTableView {
    Q_OBJECT
public:
    // Room a cell leaves around its text, as the view draws it.
    static constexpr int kCellPadding = 8;

    explicit ResultGrid(QWidget* parent = nullptr);
    ~ResultGrid() override;

    int Rows() const; // the header row included
    void SetRows(int rows);
    int Cols() const { return model_->ColumnCount(); }
    void SetCols(int cols);
    QString TextMatrix(int row, int column) const;
    void SetTextMatrix(int row, int column, const QString& text);
    void SetTextMatrixUtf8(int row, int column, QByteArrayView utf8);
    // How many data rows the grid has room for, partly shown ones included.
    int RowsInView() const;
    // The row the user last selected (1 for a grid nobody has clicked yet), 0 with no data rows.
    int Row() const;
    void SetColHidden(int column, bool hidden);
    bool ColHidden(int column) const { return isColumnHidden(column); }
    // Fits the column to the widest text among all its rows and its header.
    void AutoSize(int column);
    // The selected rows, top to bottom, as tab-separated lines under the header line, the shown
    // columns that have a header only; as a spreadsheet takes a paste. Empty with none selected.
    QString SelectedRowsText() const;
    // Puts that text on the clipboard; Ctrl+C does it too.
    void CopySelectedRows() const;

    void doItemsLayout() override;
    void reset() override;

signals:
    // A row was opened: double-clicked, or Enter pressed on it.
    void DblClick();

protected:
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void rowsInserted(const QModelIndex& parent, int start, int end) override;
    void rowsAboutToBeRemoved(const QModelIndex& parent, int start, int end) override;

private:
    ResultGridModel* model_;
    std::unique_ptr<AdvanceTable> advances_;
    // What changed since the view last laid out its items: rows appended below what it shows
    // need only the scroll bar updated, anything else a repaint.
    bool rowsAddedBelowView_ = false;
    bool otherLayoutChange_ = false;
};
