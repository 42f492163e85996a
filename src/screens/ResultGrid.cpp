#include "screens/ResultGrid.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QTimer>
#include <QtMath>
#include <algorithm>
#include <cstring>
#include <limits>

namespace {

constexpr char32_t kReplacementCharacter = 0xFFFD;

} // namespace

void Utf8Cells::Resize(size_t count) {
    const size_t old = cells_.Size();
    cells_.Resize(count);
    if (count > old)
        std::memset(static_cast<void*>(cells_.Data() + old), 0, (count - old) * sizeof(Cell));
    if (count == 0)
        bytes_.Resize(0);
}

void Utf8Cells::Set(size_t cell, QByteArrayView utf8) {
    const size_t offset = bytes_.Size();
    const size_t length = static_cast<size_t>(utf8.size());
    if (offset + length > std::numeric_limits<quint32>::max())
        throw std::bad_alloc(); // offsets are 32 bits: 4 GiB of text in one grid
    bytes_.Resize(offset + length);
    if (length > 0)
        std::memcpy(bytes_.Data() + offset, utf8.data(), length);
    cells_.Data()[cell] = Cell{static_cast<quint32>(offset), static_cast<quint32>(length)};
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
            cells_.Resize(static_cast<size_t>(count) * ColumnCount());
            storedRows_ = count;
            announcedRows_ = count;
            endRemoveRows();
        }
        dirtyTop_ = dirtyBottom_ = -1;
        return;
    }
    cells_.Resize(static_cast<size_t>(count) * ColumnCount());
    storedRows_ = count;
    if (storedRows_ != announcedRows_)
        ScheduleAnnouncement();
}

void ResultGridModel::SetColumnCount(int count) {
    beginResetModel();
    Utf8Cells cells;
    cells.Resize(static_cast<size_t>(storedRows_) * count);
    for (int row = 0; row < storedRows_; ++row)
        for (int column = 0; column < qMin(count, ColumnCount()); ++column)
            cells.Set(static_cast<size_t>(row) * count + column, Utf8(row, column));
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
    return cells_.At(static_cast<size_t>(row) * ColumnCount() + column);
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
    cells_.Set(static_cast<size_t>(row) * ColumnCount() + column, utf8);
    if (row < announcedRows_) {
        dirtyTop_ = dirtyTop_ < 0 ? row : qMin(dirtyTop_, row);
        dirtyBottom_ = qMax(dirtyBottom_, row);
        ScheduleAnnouncement();
    }
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

ResultGrid::ResultGrid(QWidget* parent) : QTableView(parent), model_(new ResultGridModel(this)) {
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
}

ResultGrid::~ResultGrid() = default;

int ResultGrid::Rows() const {
    return model_->StoredRows() + 1;
}

void ResultGrid::SetRows(int rows) {
    model_->SetStoredRows(rows - 1);
}

void ResultGrid::SetCols(int cols) {
    model_->SetColumnCount(cols);
}

QString ResultGrid::TextMatrix(int row, int column) const {
    return row == 0 ? model_->Header(column) : model_->Text(row - 1, column);
}

void ResultGrid::SetTextMatrix(int row, int column, const QString& text) {
    if (row == 0)
        model_->SetHeader(column, text);
    else
        model_->SetText(row - 1, column, text);
}

void ResultGrid::SetTextMatrixUtf8(int row, int column, QByteArrayView utf8) {
    if (row == 0)
        model_->SetHeader(column, QString::fromUtf8(utf8));
    else
        model_->SetUtf8(row - 1, column, utf8);
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
    if (!advances_ || advances_->Font() != font())
        advances_ = std::make_unique<AdvanceTable>(font());
    const QFontMetricsF cellMetrics(font());
    const int rows = model_->StoredRows();
    std::vector<float> estimates(rows);
    int widestRow = -1;
    for (int row = 0; row < rows; ++row) {
        estimates[row] = advances_->Of(model_->Utf8(row, column));
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
    const bool hidden = isColumnHidden(column);
    setColumnWidth(column, qCeil(widest) + kCellPadding);
    if (hidden)
        setColumnHidden(column, true);
}

void ResultGrid::doItemsLayout() {
    if (rowsAddedBelowView_ && !otherLayoutChange_) {
        // Nothing shown has changed: the scroll bar alone learns of the new rows.
        rowsAddedBelowView_ = false;
        updateGeometries();
        return;
    }
    rowsAddedBelowView_ = otherLayoutChange_ = false;
    QTableView::doItemsLayout();
}

void ResultGrid::reset() {
    otherLayoutChange_ = true;
    QTableView::reset();
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

QString ResultGrid::SelectedRowsText() const {
    QList<int> rows;
    for (const QModelIndex& index : selectionModel()->selectedRows())
        rows.append(index.row());
    if (rows.isEmpty())
        return QString();
    std::sort(rows.begin(), rows.end());
    QList<int> columns;
    for (int column = 0; column < Cols(); ++column)
        if (!isColumnHidden(column) && !model_->Header(column).isEmpty())
            columns.append(column);
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
    QTableView::keyPressEvent(event);
}

void ResultGrid::mouseDoubleClickEvent(QMouseEvent* event) {
    QTableView::mouseDoubleClickEvent(event);
    emit DblClick();
}
