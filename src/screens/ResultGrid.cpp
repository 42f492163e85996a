#include "screens/ResultGrid.h"

#include "screens/ResultGridAccessible.h"

#include <QClipboard>
#include <QContextMenuEvent>
#include <QGuiApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QTimer>
#include <QVarLengthArray>
#include <QtMath>
#include <algorithm>
#include <cstring>
#include <limits>

namespace {

constexpr char32_t kReplacementCharacter = 0xFFFD;

} // namespace

void Utf8Rows::SetColumns(int columns) {
    columns_ = columns;
    rows_.Resize(0);
    bytes_.Resize(0);
}

void Utf8Rows::Resize(size_t rows) {
    const size_t old = rows_.Size();
    rows_.Resize(rows);
    std::fill(rows_.Data() + std::min(old, rows), rows_.Data() + rows, kEmptyRow);
    if (rows == 0)
        bytes_.Resize(0);
}

QByteArrayView Utf8Rows::At(size_t row, int column) const {
    const quint32 offset = rows_.Data()[row];
    if (offset == kEmptyRow)
        return QByteArrayView();
    const char* p = bytes_.Data() + offset;
    for (int cell = 0;; ++cell) {
        size_t length = 0;
        for (int shift = 0;; shift += 7) {
            const auto byte = static_cast<unsigned char>(*p++);
            length |= size_t(byte & 0x7F) << shift;
            if (byte < 0x80)
                break;
        }
        if (cell == column)
            return QByteArrayView(p, static_cast<qsizetype>(length));
        p += length;
    }
}

void Utf8Rows::Set(size_t row, int column, QByteArrayView utf8) {
    QVarLengthArray<QByteArrayView, 16> cells(columns_);
    for (int cell = 0; cell < columns_; ++cell)
        cells[cell] = cell == column ? utf8 : At(row, cell);
    SetRow(row, cells.constData());
}

void Utf8Rows::SetRow(size_t row, const QByteArrayView* cells) {
    size_t size = 0;
    for (int cell = 0; cell < columns_; ++cell)
        for (size_t length = static_cast<size_t>(cells[cell].size());; length >>= 7) {
            ++size;
            if (length < 0x80)
                break;
        }
    for (int cell = 0; cell < columns_; ++cell)
        size += static_cast<size_t>(cells[cell].size());
    const size_t offset = bytes_.Size();
    if (offset + size >= kEmptyRow)
        throw std::bad_alloc(); // offsets are 32 bits: 4 GiB of text in one grid
    // A cell may be the row's old text in this block, which moves as it grows.
    const auto oldStart = reinterpret_cast<quintptr>(bytes_.Data());
    bytes_.Resize(offset + size);
    char* out = bytes_.Data() + offset;
    for (int cell = 0; cell < columns_; ++cell) {
        const char* from = cells[cell].data();
        const quintptr source = reinterpret_cast<quintptr>(from);
        if (source >= oldStart && source < oldStart + offset)
            from = bytes_.Data() + (source - oldStart);
        size_t length = static_cast<size_t>(cells[cell].size());
        for (size_t rest = length;; rest >>= 7) {
            *out++ = static_cast<char>(rest < 0x80 ? rest : (rest & 0x7F) | 0x80);
            if (rest < 0x80)
                break;
        }
        if (length > 0)
            std::memcpy(out, from, length);
        out += length;
    }
    rows_.Data()[row] = static_cast<quint32>(offset);
}

ResultGridModel::ResultGridModel(QObject* parent) : QAbstractTableModel(parent) {}

void ResultGridModel::SetStoredRows(int count) {
    count = qMax(0, count);
    if (count < announcedRows_) {
        Announce();
        if (count == 0) {
            beginResetModel();
            cells_.Resize(0);
            storedRows_ = 0;
            announcedRows_ = 0;
            endResetModel();
        } else {
            beginRemoveRows(QModelIndex(), count, announcedRows_ - 1);
            cells_.Resize(static_cast<size_t>(count));
            storedRows_ = count;
            announcedRows_ = count;
            endRemoveRows();
        }
        dirtyTop_ = dirtyBottom_ = -1;
        return;
    }
    cells_.Resize(static_cast<size_t>(count));
    storedRows_ = count;
    if (storedRows_ != announcedRows_)
        ScheduleAnnouncement();
}

void ResultGridModel::SetColumnCount(int count) {
    beginResetModel();
    Utf8Rows cells;
    cells.SetColumns(count);
    cells.Resize(static_cast<size_t>(storedRows_));
    QVarLengthArray<QByteArrayView, 16> row(count);
    for (int r = 0; r < storedRows_; ++r) {
        for (int column = 0; column < count; ++column)
            row[column] = Utf8(r, column);
        cells.SetRow(static_cast<size_t>(r), row.constData());
    }
    cells_.Swap(cells);
    while (headers_.size() < count)
        headers_.append(QString());
    headers_ = headers_.mid(0, count);
    endResetModel();
}

bool ResultGridModel::IsCell(int row, int column) const {
    return row >= 0 && row < storedRows_ && column >= 0 && column < ColumnCount();
}

QByteArrayView ResultGridModel::Utf8(int row, int column) const {
    if (!IsCell(row, column))
        return QByteArrayView();
    return cells_.At(static_cast<size_t>(row), column);
}

QString ResultGridModel::Text(int row, int column) const {
    return QString::fromUtf8(Utf8(row, column));
}

void ResultGridModel::SetText(int row, int column, const QString& text) {
    SetUtf8(row, column, text.toUtf8());
}

void ResultGridModel::SetUtf8(int row, int column, QByteArrayView utf8) {
    if (!IsCell(row, column))
        return;
    cells_.Set(static_cast<size_t>(row), column, utf8);
    if (row < announcedRows_) {
        dirtyTop_ = dirtyTop_ < 0 ? row : qMin(dirtyTop_, row);
        dirtyBottom_ = qMax(dirtyBottom_, row);
        ScheduleAnnouncement();
    }
}

void ResultGridModel::AppendRow(const QByteArrayView* utf8) {
    cells_.Resize(static_cast<size_t>(storedRows_) + 1);
    cells_.SetRow(static_cast<size_t>(storedRows_), utf8);
    ++storedRows_;
    ScheduleAnnouncement();
}

void ResultGridModel::SetHeader(int column, const QString& text) {
    if (column < 0 || column >= ColumnCount())
        return;
    headers_[column] = text;
    emit headerDataChanged(Qt::Horizontal, column, column);
}

int ResultGridModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : announcedRows_;
}

int ResultGridModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount();
}

QVariant ResultGridModel::data(const QModelIndex& index, int role) const {
    // Only rows the view has been told about exist for it.
    if (index.model() != this || index.row() >= announcedRows_ ||
        !IsCell(index.row(), index.column()))
        return QVariant();
    if (role == Qt::DisplayRole)
        return Text(index.row(), index.column());
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue(Qt::AlignLeft | Qt::AlignVCenter);
    return QVariant();
}

QVariant ResultGridModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal)
        return QVariant();
    if (role == Qt::DisplayRole)
        return headers_.value(section);
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue(Qt::AlignCenter);
    return QVariant();
}

void ResultGridModel::Announce() {
    announcementPending_ = false;
    if (storedRows_ > announcedRows_) {
        beginInsertRows(QModelIndex(), announcedRows_, storedRows_ - 1);
        announcedRows_ = storedRows_;
        endInsertRows();
    }
    if (dirtyTop_ >= 0) {
        const int bottom = qMin(dirtyBottom_, announcedRows_ - 1);
        if (bottom >= dirtyTop_)
            emit dataChanged(index(dirtyTop_, 0), index(bottom, ColumnCount() - 1));
        dirtyTop_ = dirtyBottom_ = -1;
    }
}

void ResultGridModel::ScheduleAnnouncement() {
    if (announcementPending_)
        return;
    announcementPending_ = true;
    QTimer::singleShot(0, this, &ResultGridModel::Announce);
}

AdvanceTable::AdvanceTable(const QFont& font)
    : font_(font), metrics_(font), others_(0x10000, -1.0f) {
    for (int c = 0; c < 128; ++c)
        ascii_[c] = static_cast<float>(metrics_.horizontalAdvance(QLatin1Char(char(c))));
}

float AdvanceTable::Of(QByteArrayView utf8) {
    float width = 0;
    const auto* p = reinterpret_cast<const unsigned char*>(utf8.data());
    const auto* const end = p + utf8.size();
    while (p < end) {
        const unsigned char lead = *p;
        if (lead < 0x80) {
            width += ascii_[lead];
            ++p;
            continue;
        }
        // A whole three-byte character, most of a Chinese text, the short way; the advance
        // measured before is taken without a call.
        if ((lead & 0xF0) == 0xE0 && end - p >= 3 && (p[1] & 0xC0) == 0x80 &&
            (p[2] & 0xC0) == 0x80) {
            const char32_t codePoint =
                char32_t(lead & 0x0F) << 12 | char32_t(p[1] & 0x3F) << 6 | char32_t(p[2] & 0x3F);
            const float known = others_[codePoint];
            width += known >= 0 ? known : OfCodePoint(codePoint);
            p += 3;
            continue;
        }
        int length = 1;
        char32_t codePoint = kReplacementCharacter;
        if (lead >= 0xC2 && lead < 0xE0)
            length = 2, codePoint = lead & 0x1F;
        else if (lead >= 0xE0 && lead < 0xF0)
            length = 3, codePoint = lead & 0x0F;
        else if (lead >= 0xF0 && lead < 0xF5)
            length = 4, codePoint = lead & 0x07;
        if (length > end - p)
            length = 1, codePoint = kReplacementCharacter;
        for (int i = 1; i < length; ++i) {
            if ((p[i] & 0xC0) != 0x80) {
                length = 1, codePoint = kReplacementCharacter;
                break;
            }
            codePoint = (codePoint << 6) | (p[i] & 0x3F);
        }
        width += OfCodePoint(codePoint);
        p += length;
    }
    return width;
}

float AdvanceTable::OfCodePoint(char32_t codePoint) {
    if (codePoint >= 0x10000) // rare enough to measure each time
        return static_cast<float>(metrics_.horizontalAdvance(QString::fromUcs4(&codePoint, 1)));
    float& advance = others_[codePoint];
    if (advance < 0)
        advance = static_cast<float>(metrics_.horizontalAdvance(QChar(codePoint)));
    return advance;
}

void WidestTexts::Reset(int columns) {
    columns_.assign(static_cast<size_t>(columns), Column());
    fresh_ = true;
}

void WidestTexts::Note(int column, int row, float estimate) {
    Column& noted = columns_[static_cast<size_t>(column)];
    if (noted.widestRow < 0 || estimate > noted.widest) {
        noted.widest = estimate;
        noted.widestRow = row;
    }
    if (noted.tooMany || estimate < noted.widest - kSlack)
        return;
    noted.near.emplace_back(row, estimate);
    if (noted.near.size() < kMostNear)
        return;
    const float floor = noted.widest - kSlack;
    noted.near.erase(std::remove_if(noted.near.begin(), noted.near.end(),
                                    [floor](const auto& near) { return near.second < floor; }),
                     noted.near.end());
    if (noted.near.size() >= kMostNear / 2) { // many texts alike: the notes would grow with rows
        noted.tooMany = true;
        noted.near = {};
    }
}

ResultGrid::ResultGrid(QWidget* parent) : QTableView(parent), model_(new ResultGridModel(this)) {
    ResultGridAccessibility::Install();
    setModel(model_);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::ExtendedSelection); // several rows to copy
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setWordWrap(false);
    setTabKeyNavigation(false); // Tab moves on to the next control
    verticalHeader()->hide();
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setMinimumSectionSize(1);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
    horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    horizontalHeader()->setHighlightSections(false);
    horizontalHeader()->setDefaultAlignment(Qt::AlignCenter);
    widest_.Reset(0);
}

ResultGrid::~ResultGrid() = default;

int ResultGrid::Rows() const {
    return model_->StoredRows() + 1;
}

void ResultGrid::SetRows(int rows) {
    if (rows <= 1)
        widest_.Reset(Cols());
    else if (rows < Rows()) // the widest text may go with the rows
        widest_.MakeStale();
    model_->SetStoredRows(rows - 1);
}

void ResultGrid::SetCols(int cols) {
    model_->SetColumnCount(cols);
    widest_.Reset(cols);
    if (model_->StoredRows() > 0)
        widest_.MakeStale();
}

QString ResultGrid::TextMatrix(int row, int column) const {
    return row == 0 ? model_->Header(column) : model_->Text(row - 1, column);
}

void ResultGrid::SetTextMatrix(int row, int column, const QString& text) {
    if (row == 0) {
        model_->SetHeader(column, text);
        return;
    }
    widest_.MakeStale();
    model_->SetText(row - 1, column, text);
}

void ResultGrid::SetTextMatrixUtf8(int row, int column, QByteArrayView utf8) {
    if (row == 0) {
        model_->SetHeader(column, QString::fromUtf8(utf8));
        return;
    }
    widest_.MakeStale();
    model_->SetUtf8(row - 1, column, utf8);
}

void ResultGrid::AppendRowUtf8(const QByteArrayView* cells) {
    model_->AppendRow(cells);
    if (!widest_.Fresh())
        return;
    AdvanceTable& advances = Advances();
    const int row = model_->StoredRows() - 1;
    for (int column = 0; column < Cols(); ++column)
        widest_.Note(column, row, advances.Of(cells[column]));
}

AdvanceTable& ResultGrid::Advances() {
    if (!advances_)
        advances_ = std::make_unique<AdvanceTable>(font());
    return *advances_;
}

int ResultGrid::RowsInView() const {
    const int rowHeight = verticalHeader()->defaultSectionSize();
    return rowHeight > 0 ? (viewport()->height() + rowHeight - 1) / rowHeight : 0;
}

int ResultGrid::Row() const {
    if (model_->StoredRows() == 0)
        return 0;
    const QModelIndex current = currentIndex();
    return current.isValid() ? current.row() + 1 : 1;
}

void ResultGrid::SetColHidden(int column, bool hidden) {
    setColumnHidden(column, hidden);
}

void ResultGrid::AutoSize(int column) {
    const std::optional<qreal> noted = WidestNoted(column);
    const qreal widest = noted ? *noted : WidestMeasured(column);
    const bool hidden = isColumnHidden(column);
    setColumnWidth(column, qCeil(widest) + kCellPadding);
    if (hidden)
        setColumnHidden(column, true);
}

std::optional<qreal> ResultGrid::WidestNoted(int column) {
    if (!widest_.Fresh())
        return std::nullopt;
    const WidestTexts::Column& noted = widest_.Of(column);
    const QFontMetricsF cellMetrics(font());
    qreal widest =
        QFontMetricsF(horizontalHeader()->font()).horizontalAdvance(model_->Header(column));
    if (noted.widestRow < 0)
        return widest;
    const qreal exact = cellMetrics.horizontalAdvance(model_->Text(noted.widestRow, column));
    widest = qMax(widest, exact);
    if (exact >= noted.widest) // no text is wider than its estimate
        return widest;
    if (noted.tooMany || exact < noted.widest - WidestTexts::kSlack)
        return std::nullopt; // a text the notes let go may be wider
    for (const auto& [row, estimate] : noted.near)
        if (estimate > widest)
            widest = qMax(widest, cellMetrics.horizontalAdvance(model_->Text(row, column)));
    return widest;
}

qreal ResultGrid::WidestMeasured(int column) {
    AdvanceTable& advances = Advances();
    const QFontMetricsF cellMetrics(font());
    const int rows = model_->StoredRows();
    std::vector<float> estimates(rows);
    int widestRow = -1;
    for (int row = 0; row < rows; ++row) {
        estimates[row] = advances.Of(model_->Utf8(row, column));
        if (widestRow < 0 || estimates[row] > estimates[widestRow])
            widestRow = row;
    }
    // Only texts whose estimate is wider than the widest measured so far can be wider still.
    qreal widest =
        QFontMetricsF(horizontalHeader()->font()).horizontalAdvance(model_->Header(column));
    if (widestRow >= 0)
        widest = qMax(widest, cellMetrics.horizontalAdvance(model_->Text(widestRow, column)));
    for (int row = 0; row < rows; ++row) {
        if (estimates[row] > widest)
            widest = qMax(widest, cellMetrics.horizontalAdvance(model_->Text(row, column)));
    }
    return widest;
}

void ResultGrid::changeEvent(QEvent* event) {
    if (event->type() == QEvent::FontChange) {
        // Estimates in the old font say nothing of the new one.
        advances_.reset();
        widest_.MakeStale();
        if (model_->StoredRows() == 0)
            widest_.Reset(Cols());
    }
    QTableView::changeEvent(event);
}

void ResultGrid::doItemsLayout() {
    if (rowsAddedBelowView_ && !otherLayoutChange_) {
        // Nothing shown has changed: the scroll bar alone learns of the new rows, a few times a
        // second rather than at each of a fill's yields, as painting it costs a row's reading
        // several thousand times.
        rowsAddedBelowView_ = false;
        if (!scrollBarTimer_.isActive())
            scrollBarTimer_.start(kScrollBarIntervalMs, this);
        return;
    }
    rowsAddedBelowView_ = otherLayoutChange_ = false;
    scrollBarTimer_.stop();
    QTableView::doItemsLayout();
}

void ResultGrid::timerEvent(QTimerEvent* event) {
    if (event->timerId() != scrollBarTimer_.timerId()) {
        QTableView::timerEvent(event);
        return;
    }
    scrollBarTimer_.stop();
    updateGeometries();
}

void ResultGrid::reset() {
    otherLayoutChange_ = true;
    QTableView::reset();
}

// QTableView numbers the cell of its focus and selection events as Qt's own table numbers its
// children; the grid's table numbers them otherwise, so the grid sends the events itself.
void ResultGrid::currentChanged(const QModelIndex& current, const QModelIndex& previous) {
    QAbstractItemView::currentChanged(current, previous);
    ResultGridAccessibility::CurrentChanged(*this, current);
}

void ResultGrid::selectionChanged(const QItemSelection& selected,
                                  const QItemSelection& deselected) {
    QAbstractItemView::selectionChanged(selected, deselected);
    ResultGridAccessibility::SelectionChanged(*this, selected, deselected);
}

void ResultGrid::rowsInserted(const QModelIndex& parent, int start, int end) {
    // The view has not counted the new rows yet: the last row it shows is that of before.
    const int lastShown = verticalHeader()->logicalIndexAt(viewport()->height() - 1);
    if (lastShown >= 0 && start > lastShown)
        rowsAddedBelowView_ = true;
    else
        otherLayoutChange_ = true;
    QTableView::rowsInserted(parent, start, end);
}

void ResultGrid::rowsAboutToBeRemoved(const QModelIndex& parent, int start, int end) {
    otherLayoutChange_ = true;
    QTableView::rowsAboutToBeRemoved(parent, start, end);
}

QList<int> ResultGrid::ShownColumns() const {
    QList<int> columns;
    for (int column = 0; column < Cols(); ++column)
        if (!isColumnHidden(column) && !model_->Header(column).isEmpty())
            columns.append(column);
    return columns;
}

QString ResultGrid::SelectedRowsText() const {
    QList<int> rows;
    for (const QModelIndex& index : selectionModel()->selectedRows())
        rows.append(index.row());
    if (rows.isEmpty())
        return QString();
    std::sort(rows.begin(), rows.end());
    const QList<int> columns = ShownColumns();
    // A tab or a line break inside a cell would split it in the spreadsheet.
    const auto cell = [](QString text) {
        text.replace(QLatin1Char('\t'), QLatin1Char(' '));
        text.replace(QLatin1Char('\n'), QLatin1Char(' '));
        return text.remove(QLatin1Char('\r'));
    };
    QStringList lines;
    QStringList fields;
    for (const int column : columns)
        fields.append(cell(model_->Header(column)));
    lines.append(fields.join(QLatin1Char('\t')));
    for (const int row : rows) {
        fields.clear();
        for (const int column : columns)
            fields.append(cell(model_->Text(row, column)));
        lines.append(fields.join(QLatin1Char('\t')));
    }
    return lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
}

void ResultGrid::CopySelectedRows() const {
    const QString text = SelectedRowsText();
    if (!text.isEmpty())
        QGuiApplication::clipboard()->setText(text);
}

void ResultGrid::keyPressEvent(QKeyEvent* event) {
    // Instead of the view's own copy, which takes the current cell alone.
    if (event->matches(QKeySequence::Copy)) {
        CopySelectedRows();
        return;
    }
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) &&
        currentIndex().isValid()) {
        emit DblClick();
        return;
    }
    // Shift+F10 asks for the menu as the menu key does, at the current row.
    if (event->key() == Qt::Key_F10 && event->modifiers() == Qt::ShiftModifier) {
        const QRect cell = currentIndex().isValid() ? visualRect(currentIndex()) : QRect();
        const QPoint position = cell.isValid() && viewport()->rect().contains(cell.center())
                                    ? cell.center()
                                    : viewport()->rect().center();
        QContextMenuEvent menu(QContextMenuEvent::Keyboard, position,
                               viewport()->mapToGlobal(position), event->modifiers());
        QCoreApplication::sendEvent(viewport(), &menu);
        return;
    }
    QTableView::keyPressEvent(event);
}

void ResultGrid::mouseDoubleClickEvent(QMouseEvent* event) {
    QTableView::mouseDoubleClickEvent(event);
    emit DblClick();
}
