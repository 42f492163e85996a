#include "screens/ResultGrid.h"

#include <QFontMetricsF>
#include <QHeaderView>
#include <QMouseEvent>
#include <QTimer>
#include <QtMath>
#include <vector>

namespace {

// Room a cell leaves around its text, as the view draws it.
constexpr int kCellPadding = 8;

// The width of a text as the sum of its characters' advances. Exact for the faces used here but
// for kerning, so it serves to find the few texts worth measuring exactly.
class CharWidths {
public:
    explicit CharWidths(const QFontMetricsF& metrics) : metrics_(metrics), widths_(0x10000, -1) {}
    qreal Of(const QString& text) {
        qreal width = 0;
        for (QChar c : text) {
            qreal& advance = widths_[c.unicode()];
            if (advance < 0)
                advance = metrics_.horizontalAdvance(c);
            width += advance;
        }
        return width;
    }

private:
    const QFontMetricsF& metrics_;
    std::vector<qreal> widths_;
};

} // namespace

ResultGridModel::ResultGridModel(QObject* parent) : QAbstractTableModel(parent) {}

void ResultGridModel::SetStoredRows(int count) {
    count = qMax(0, count);
    if (count < announcedRows_) {
        Announce();
        if (count == 0) {
            beginResetModel();
            cells_.clear();
            storedRows_ = 0;
            announcedRows_ = 0;
            endResetModel();
        } else {
            beginRemoveRows(QModelIndex(), count, announcedRows_ - 1);
            cells_.resize(count * ColumnCount());
            storedRows_ = count;
            announcedRows_ = count;
            endRemoveRows();
        }
        dirtyTop_ = dirtyBottom_ = -1;
        return;
    }
    cells_.resize(count * ColumnCount());
    storedRows_ = count;
    if (storedRows_ != announcedRows_)
        ScheduleAnnouncement();
}

void ResultGridModel::SetColumnCount(int count) {
    beginResetModel();
    QVector<QString> cells(storedRows_ * count);
    for (int row = 0; row < storedRows_; ++row)
        for (int column = 0; column < qMin(count, ColumnCount()); ++column)
            cells[row * count + column] = cells_[row * ColumnCount() + column];
    cells_.swap(cells);
    while (headers_.size() < count)
        headers_.append(QString());
    headers_ = headers_.mid(0, count);
    endResetModel();
}

const QString& ResultGridModel::Text(int row, int column) const {
    static const QString none;
    if (row < 0 || row >= storedRows_ || column < 0 || column >= ColumnCount())
        return none;
    return cells_[row * ColumnCount() + column];
}

void ResultGridModel::SetText(int row, int column, const QString& text) {
    if (row < 0 || row >= storedRows_ || column < 0 || column >= ColumnCount())
        return;
    cells_[row * ColumnCount() + column] = text;
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
    if (role == Qt::DisplayRole)
        return cells_[index.row() * ColumnCount() + index.column()];
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

ResultGrid::ResultGrid(QWidget* parent) : QTableView(parent), model_(new ResultGridModel(this)) {
    setModel(model_);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
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
    const QFontMetricsF cellMetrics(font());
    const QFontMetricsF headerMetrics(horizontalHeader()->font());
    CharWidths estimate(cellMetrics);
    const int rows = model_->StoredRows();
    std::vector<qreal> estimates(rows);
    int widestRow = -1;
    for (int row = 0; row < rows; ++row) {
        estimates[row] = estimate.Of(model_->Text(row, column));
        if (widestRow < 0 || estimates[row] > estimates[widestRow])
            widestRow = row;
    }
    // Shaping only narrows a text against the sum of its advances (kerning, ligatures), so only
    // texts whose estimate is wider than the widest measured so far need measuring exactly.
    qreal widest = headerMetrics.horizontalAdvance(model_->Header(column));
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

void ResultGrid::mouseDoubleClickEvent(QMouseEvent* event) {
    QTableView::mouseDoubleClickEvent(event);
    emit DblClick();
}
