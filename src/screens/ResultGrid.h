#pragma once

#include <QAbstractTableModel>
#include <QBasicTimer>
#include <QByteArrayView>
#include <QFont>
#include <QFontMetricsF>
#include <QStringList>
#include <QTableView>
#include <algorithm>
#include <cstdlib>
#include <memory>
#include <new>
#include <optional>
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

// Cell texts as UTF-8 in one block, row by row: a row is each cell's length (a variable-length
// number) followed by its bytes, and is found by one offset. Four bytes a row and about one a
// cell, where an offset and a length for each cell took eight. A row written again is copied
// whole to the block's end; the bytes go when every row goes.
class Utf8Rows {
public:
    int Columns() const { return columns_; }
    // Empties the block.
    void SetColumns(int columns);
    // Rows added are empty.
    void Resize(size_t rows);
    QByteArrayView At(size_t row, int column) const;
    void Set(size_t row, int column, QByteArrayView utf8);
    // Writes the row's Columns() cells in one copy.
    void SetRow(size_t row, const QByteArrayView* cells);
    void Swap(Utf8Rows& other) {
        std::swap(columns_, other.columns_);
        rows_.Swap(other.rows_);
        bytes_.Swap(other.bytes_);
    }

private:
    static constexpr quint32 kEmptyRow = 0xFFFFFFFF;

    int columns_ = 0;
    PlainArray<quint32> rows_; // offsets into bytes_, or kEmptyRow
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
    int ColumnCount() const { return cells_.Columns(); }
    void SetColumnCount(int count);
    QString Text(int row, int column) const;
    // The cell's text as UTF-8, valid until the cell or the rows change.
    QByteArrayView Utf8(int row, int column) const;
    void SetText(int row, int column, const QString& text);
    void SetUtf8(int row, int column, QByteArrayView utf8);
    // Adds a row with these ColumnCount() cells.
    void AppendRow(const QByteArrayView* utf8);
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
    Utf8Rows cells_;
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

// Each column's widest texts by estimate, noted as rows are appended while their bytes are at
// hand, so that fitting a column after a fill measures a few texts instead of every row. The
// notes hold only while every row came by an append: anything else makes them stale.
class WidestTexts {
public:
    // How far under the widest estimate a text is still noted: measuring narrows a text by
    // kerning, which is a pixel or two a pair.
    static constexpr float kSlack = 16;

    // Fresh notes for an empty grid of `columns` columns.
    void Reset(int columns);
    void MakeStale() { fresh_ = false; }
    bool Fresh() const { return fresh_; }
    void Note(int column, int row, float estimate);
    struct Column {
        float widest = 0;   // estimate
        int widestRow = -1; // the first row that has it
        // Rows with an estimate within kSlack of the widest when noted, unless too many did.
        std::vector<std::pair<int, float>> near;
        bool tooMany = false;
    };
    const Column& Of(int column) const { return columns_[column]; }

private:
    static constexpr size_t kMostNear = 1024;
    std::vector<Column> columns_;
    bool fresh_ = false;
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
    // Adds a data row with these Cols() cells.
    void AppendRowUtf8(const QByteArrayView* cells);
    // How many data rows the grid has room for, partly shown ones included.
    int RowsInView() const;
    // The row the user last selected (1 for a grid nobody has clicked yet), 0 with no data rows.
    int Row() const;
    void SetColHidden(int column, bool hidden);
    bool ColHidden(int column) const { return isColumnHidden(column); }
    // Fits the column to the widest text among all its rows and its header.
    void AutoSize(int column);
    // The columns the user reads: shown, and with a header. Left to right.
    QList<int> ShownColumns() const;
    // The selected rows, top to bottom, as tab-separated lines under the header line, the shown
    // columns only; as a spreadsheet takes a paste. Empty with none selected.
    QString SelectedRowsText() const;
    // Puts that text on the clipboard; Ctrl+C does it too.
    void CopySelectedRows() const;

    void doItemsLayout() override;
    void reset() override;

signals:
    // A row was opened: double-clicked, or Enter pressed on it.
    void DblClick();

protected:
    void changeEvent(QEvent* event) override;
    void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;
    void selectionChanged(const QItemSelection& selected,
                          const QItemSelection& deselected) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void rowsInserted(const QModelIndex& parent, int start, int end) override;
    void rowsAboutToBeRemoved(const QModelIndex& parent, int start, int end) override;
    void timerEvent(QTimerEvent* event) override;

private:
    ResultGridModel* model_;
    AdvanceTable& Advances();
    // The exact width of the column's widest text, header included, from the notes; none when
    // they cannot tell.
    std::optional<qreal> WidestNoted(int column);
    qreal WidestMeasured(int column);

    std::unique_ptr<AdvanceTable> advances_;
    WidestTexts widest_;
    // What changed since the view last laid out its items: rows appended below what it shows
    // need only the scroll bar updated, anything else a repaint.
    bool rowsAddedBelowView_ = false;
    bool otherLayoutChange_ = false;
    static constexpr int kScrollBarIntervalMs = 100;
    QBasicTimer scrollBarTimer_; // the scroll bar's next update for rows added below the view
};
