#pragma once

#include <QAbstractTableModel>
#include <QStringList>
#include <QTableView>
#include <QVector>

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
    const QString& Text(int row, int column) const;
    void SetText(int row, int column, const QString& text);
    QString Header(int column) const { return headers_.value(column); }
    void SetHeader(int column, const QString& text);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    // Tells the view about rows and cells changed since the last announcement.
    void Announce();

private:
    void ScheduleAnnouncement();

    QStringList headers_;
    // Cells row by row, ColumnCount() to a row: one flat block keeps 100,000 rows small.
    QVector<QString> cells_;
    int storedRows_ = 0;
    int announcedRows_ = 0;
    int dirtyTop_ = -1;
    int dirtyBottom_ = -1;
    bool announcementPending_ = false;
};

// The query screen's result list: one fixed header row (row 0) above the data rows, addressed
// by row and column as the screen needs it.
class ResultGrid : public QTableView {
    Q_OBJECT
public:
    explicit ResultGrid(QWidget* parent = nullptr);

    int Rows() const; // the header row included
    void SetRows(int rows);
    int Cols() const { return model_->ColumnCount(); }
    void SetCols(int cols);
    QString TextMatrix(int row, int column) const;
    void SetTextMatrix(int row, int column, const QString& text);
    // The row the user last selected (1 for a grid nobody has clicked yet), 0 with no data rows.
    int Row() const;
    void SetColHidden(int column, bool hidden);
    bool ColHidden(int column) const { return isColumnHidden(column); }
    // Fits the column to the widest text among all its rows and its header.
    void AutoSize(int column);

signals:
    void DblClick();

protected:
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    ResultGridModel* model_;
};
