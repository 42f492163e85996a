#include "screens/frmquery.h"

#include "data/Connection.h"
#include "data/DbError.h"
#include "data/Recordset.h"
#include "data/ShipOwnerTable.h"
#include "exchange/DirectoryExport.h"
#include "platform/CommonControls.h"
#include "platform/DoEvents.h"
#include "platform/FileDialog.h"
#include "platform/MsgBox.h"
#include "platform/Pictures.h"
#include "platform/Twips.h"
#include "platform/WaitCursor.h"
#include "screens/DbMessages.h"
#include "screens/ResultGrid.h"
#include "screens/SmartNetXpButton.h"
#include "screens/frmdeleted.h"
#include "screens/frmhistory.h"
#include "screens/frminfo.h"
#include "screens/frmsearch.h"
#include "session/modGeneral.h"

#include <QClipboard>
#include <QCloseEvent>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMetaMethod>
#include <QPageLayout>
#include <QPainter>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QScopedValueRollback>
#include <charconv>
#include <cstdio>

using platform::Px;
using platform::TwipsRect;

namespace {

struct GridColumn {
    const char* header;
    int widthTwips;
};
const GridColumn kGridColumns[] = {{"序号", 765},      {"船东名称", 1380}, {"国家", 1230},
                                   {"联系电话", 1380}, {"地址", 2400},     {"id", 900},
                                   {"", 900}};
constexpr int kIdColumn = 5;
constexpr int kDesignRows = 50;
// Rows read between two looks at the clock for a yield: a few microseconds of reading.
constexpr qint64 kRowsBetweenYields = 32;

QLabel* MakeLabel(const QString& caption, int left, int top, QWidget* parent, const char* name) {
    auto* label = new QLabel(caption, parent);
    label->setObjectName(QLatin1String(name));
    label->setAttribute(Qt::WA_TranslucentBackground);
    label->move(Px(left), Px(top));
    platform::FitLabelToText(label);
    return label;
}

// Generous for a company or a country, and far below what the engine takes as a pattern.
constexpr int kFilterCap = 1000;

QLineEdit* MakeField(const QRect& geometry, QWidget* parent, const char* name) {
    auto* field = new QLineEdit(parent);
    field->setObjectName(QLatin1String(name));
    field->setFrame(false);
    field->setMaxLength(kFilterCap);
    field->setGeometry(geometry);
    return field;
}

QString CannotWriteMessage(const QString& path) {
    return QStringLiteral("导出失败：无法写入文件“%1”。请检查文件夹是否存在、"
                          "能否写入，以及磁盘空间是否足够。")
        .arg(QDir::toNativeSeparators(path));
}

// The chosen name with the format's extension. The dialog asked before replacing the name as
// typed; a file that only the extension names is asked about here. Empty when the user keeps it.
QString WithSuffix(const QString& chosen, const QString& suffix) {
    if (chosen.endsWith(suffix, Qt::CaseInsensitive))
        return chosen;
    const QString path = chosen + suffix;
    if (QFileInfo::exists(path) &&
        platform::MsgBox(
            QStringLiteral("文件“%1”已经存在。要替换它吗？").arg(QDir::toNativeSeparators(path)),
            platform::vbYesNo | platform::vbQuestion, QStringLiteral("提示:")) != platform::vbYes)
        return QString();
    return path;
}

// A server that went away is said; other failures end the fill without a word, as they always have.
void ReportServerLost(const db::ServerLostError& error) {
    std::fprintf(stderr, "orvandel: %s\n", qPrintable(error.message()));
    platform::MsgBox(QStringLiteral("查询未完成：") +
                         DbFailureReason(error, modGeneral::dbConnection().ServerName()),
                     platform::vbCritical, QStringLiteral("提示:"));
}

} // namespace

frmquery::frmquery() : picture_(platform::Picture(QStringLiteral(":/art/query-picture.png"))) {
    setObjectName(QStringLiteral("frmquery"));
    setWindowTitle(QStringLiteral("船东船舶查询"));
    SetFixedClientTwips(9240, 6660);
    PaintWhite();

    Label1 = MakeLabel(QStringLiteral("船东名称："), 2790, 330, this, "Label1");
    Text1 = MakeField(TwipsRect(3675, 285, 2190, 285), this, "Text1");
    Label2 = MakeLabel(QStringLiteral("国家："), 3150, 795, this, "Label2");
    Text2 = MakeField(TwipsRect(3900, 720, 2025, 285), this, "Text2");
    CmdQuery = new SmartNetXpButton(QStringLiteral("查询"),
                                    QIcon(QStringLiteral(":/art/icon-query.png")), this);
    CmdQuery->setObjectName(QStringLiteral("CmdQuery"));
    CmdQuery->move(Px(6240), Px(750));
    CmdStop = new SmartNetXpButton(QStringLiteral("停止"),
                                   QIcon(QStringLiteral(":/art/icon-stop.png")), this);
    CmdStop->setObjectName(QStringLiteral("CmdStop"));
    CmdStop->move(Px(7560), Px(750));
    Grid = new ResultGrid(this);
    Grid->setObjectName(QStringLiteral("Grid"));
    Grid->setGeometry(TwipsRect(15, 1305, 9240, 5370));
    Label5 =
        MakeLabel(QStringLiteral("鼠标双击信息行,即可查看更详细信息"), 5775, 75, this, "Label5");
    platform::SetTextColour(Label5, Qt::red);
    // Screen readers name each field by its label and the grid by what it lists.
    Label1->setBuddy(Text1);
    Label2->setBuddy(Text2);
    Grid->setAccessibleName(QStringLiteral("查询结果"));

    QPalette selection = Grid->palette();
    for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
        selection.setColor(group, QPalette::Highlight, QColor(207, 252, 254));
        selection.setColor(group, QPalette::HighlightedText, Qt::black);
    }
    selection.setColor(QPalette::Base, Qt::white);
    Grid->setPalette(selection);
    Grid->SetCols(static_cast<int>(std::size(kGridColumns)));
    for (int column = 0; column < Grid->Cols(); ++column)
        Grid->SetTextMatrix(0, column, QString::fromUtf8(kGridColumns[column].header));
    Grid->SetColHidden(kIdColumn, true);

    setTabOrder(Text1, Text2);
    setTabOrder(Text2, CmdQuery);
    setTabOrder(CmdQuery, CmdStop);
    setTabOrder(CmdStop, Grid);

    connect(CmdQuery, &QAbstractButton::clicked, this, &frmquery::RunQuery);
    connect(CmdStop, &QAbstractButton::clicked, this, &frmquery::CmdStop_Click);
    connect(Text1, &QLineEdit::returnPressed, this, &frmquery::RunQuery);
    connect(Text2, &QLineEdit::returnPressed, this, &frmquery::RunQuery);
    connect(Grid, &ResultGrid::DblClick, this, &frmquery::Grid_DblClick);

    // A click on a column's header sorts by it; the numbers' column keeps counting the rows.
    Grid->horizontalHeader()->setSectionsClickable(true);
    // A quick second click is a double-click to the header, and reverses the order as well.
    for (const auto signal : {&QHeaderView::sectionClicked, &QHeaderView::sectionDoubleClicked})
        connect(Grid->horizontalHeader(), signal, this, &frmquery::Grid_HeaderClick);

    // The right mouse button or the menu key on the grid offers what can be done with the rows.
    GridMenu = new QMenu(this);
    GridMenu->setObjectName(QStringLiteral("GridMenu"));
    mnuCopy = GridMenu->addAction(QStringLiteral("复制"));
    mnuCopy->setObjectName(QStringLiteral("mnuCopy"));
    mnuCopy->setShortcut(QKeySequence::Copy);
    mnuCopy->setShortcutContext(Qt::WidgetShortcut); // shown in the menu; the grid takes the key
    connect(mnuCopy, &QAction::triggered, Grid, &ResultGrid::CopySelectedRows);
    mnuExport = GridMenu->addAction(QStringLiteral("导出查询结果…"));
    mnuExport->setObjectName(QStringLiteral("mnuExport"));
    connect(mnuExport, &QAction::triggered, this, &frmquery::ExportQueryResult);
    mnuPdf = GridMenu->addAction(QStringLiteral("导出 PDF…"));
    mnuPdf->setObjectName(QStringLiteral("mnuPdf"));
    connect(mnuPdf, &QAction::triggered, this, &frmquery::ExportQueryPdf);
    mnuPrint = GridMenu->addAction(QStringLiteral("打印…"));
    mnuPrint->setObjectName(QStringLiteral("mnuPrint"));
    connect(mnuPrint, &QAction::triggered, this, &frmquery::PrintQueryResult);
    GridMenu->addSeparator();
    mnuHistory = GridMenu->addAction(QStringLiteral("历史记录…"));
    mnuHistory->setObjectName(QStringLiteral("mnuHistory"));
    connect(mnuHistory, &QAction::triggered, this, [this] {
        const QString id = Grid->TextMatrix(Grid->Row(), kIdColumn);
        if (!id.isEmpty())
            frmhistory::instance().ShowCompany(id.toLongLong());
    });
    QAction* deletedAction = GridMenu->addAction(QStringLiteral("已删除的船东…"));
    deletedAction->setObjectName(QStringLiteral("mnuDeleted"));
    connect(deletedAction, &QAction::triggered, this, [] { frmdeleted::instance().Show(); });
    QAction* searchAction = GridMenu->addAction(QStringLiteral("高级查询…"));
    searchAction->setObjectName(QStringLiteral("mnuSearch"));
    searchAction->setShortcut(QKeySequence::Find);
    searchAction->setShortcutContext(Qt::WindowShortcut);
    addAction(searchAction);
    connect(searchAction, &QAction::triggered, this, [] { frmsearch::instance().Show(); });
    Grid->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(Grid, &QWidget::customContextMenuRequested, this, &frmquery::Grid_ContextMenu);
    ShowDesignGrid();
}

void frmquery::Form_Load() {
    Text1->clear();
    Text2->clear();
    stopFlag = false;
    searched_ = false;
    order_ = {};
    ShowSortIndicator();
    ShowDesignGrid();
    Text1->setFocus();
}

void frmquery::ShowDesignGrid() {
    Grid->SetRows(1);
    Grid->SetRows(kDesignRows);
    for (int column = 0; column < Grid->Cols(); ++column)
        Grid->setColumnWidth(column, Px(kGridColumns[column].widthTwips));
    Grid->SetColHidden(kIdColumn, true);
    Grid->clearSelection();
    Grid->setCurrentIndex(QModelIndex());
}

void frmquery::RunQuery() {
    search_ = shipowner::ListSearch(Text1->text(), Text2->text());
    searched_ = true;
    StartFill();
}

void frmquery::RunSearch(const shipowner::CompanySearch& search) {
    search_ = search;
    searched_ = true;
    StartFill();
}

void frmquery::StartFill() {
    stopFlag = false;
    if (filling_) {
        restartRequested_ = true;
        return;
    }
    const QScopedValueRollback<bool> filling(filling_, true);
    FillEnd end;
    do {
        restartRequested_ = false;
        end = Fill();
    } while (end == FillEnd::Restart);
    if (end == FillEnd::Done)
        AutoSizeGrid(*Grid);
}

frmquery::FillEnd frmquery::Fill() {
    const quint64 generation = fillGeneration_;
    const db::Query query = shipowner::SearchQuery(search_, order_);
    db::Recordset rs;
    bool opened = true;
    try {
        rs.Open(query, modGeneral::dbConnection(), db::adOpenStatic, db::adLockReadOnly);
    } catch (const db::ServerLostError& error) {
        Grid->SetRows(1);
        ReportServerLost(error);
        return FillEnd::Done;
    } catch (const db::Error&) {
        opened = false;
    }
    qint64 counter = 0;
    Grid->SetRows(1);
    if (!opened)
        return FillEnd::Done;
    try {
        // Columns 1 to 5 of a grid row, by their positions in the result.
        int fields[kIdColumn] = {};
        for (const shipowner::Column& column : shipowner::ColumnTable())
            if (column.gridColumn > 0)
                fields[column.gridColumn - 1] = rs.FieldIndex(column.name);
        char number[24];
        // The columns' texts of one row; the last column stays empty.
        QByteArrayView cells[std::size(kGridColumns)] = {};
        // A signal nobody listens to still costs a few per cent of a row, so only a fill that
        // starts with a listener announces its yields, and then before each row.
        const bool announceYields =
            isSignalConnected(QMetaMethod::fromSignal(&frmquery::FillYield));
        const qint64 screenful = qMax(1, Grid->RowsInView());
        while (!rs.AtEnd() && !stopFlag) {
            // The clock is asked for a yield every few rows, not before each one; the first
            // screenful is painted as soon as it is there, not at the next yield.
            if (counter % kRowsBetweenYields == 0 || counter == screenful || announceYields) {
                if (counter == screenful)
                    platform::YieldNow();
                else
                    platform::DoEvents();
                if (announceYields)
                    emit FillYield(counter);
                // A close clears the requests made before it, so a request left was made after.
                if (restartRequested_)
                    return FillEnd::Restart;
                if (generation != fillGeneration_)
                    return FillEnd::Abandoned;
            }
            ++counter;
            const auto digits = std::to_chars(number, number + sizeof number, counter);
            cells[0] = QByteArrayView(number, digits.ptr);
            for (int column = 1; column <= kIdColumn; ++column)
                cells[column] = shipowner::TrimSpaces(rs.FieldText(fields[column - 1]));
            Grid->AppendRowUtf8(cells);
            rs.MoveNext();
        }
    } catch (const db::ServerLostError& error) {
        ReportServerLost(error); // the rows shown so far stay
    } catch (const db::Error&) {
        // A row that cannot be read ends the fill; the rows shown so far stay.
    }
    return FillEnd::Done;
}

void frmquery::AutoSizeGrid(ResultGrid& grid) {
    grid.setVisible(false);
    for (int column = 0; column < grid.Cols(); ++column)
        grid.AutoSize(column);
    grid.setVisible(true);
}

void frmquery::CmdStop_Click() {
    stopFlag = true;
}

void frmquery::Grid_HeaderClick(int section) {
    QString column;
    for (const shipowner::Column& shown : shipowner::ColumnTable())
        if (section > 0 && shown.gridColumn == section && shown.type == shipowner::ColumnType::Text)
            column = shown.name;
    if (!column.isEmpty()) {
        order_ = {column, order_.column == column && !order_.descending};
        if (searched_)
            StartFill();
    }
    ShowSortIndicator();
}

void frmquery::ShowSortIndicator() {
    QHeaderView* header = Grid->horizontalHeader();
    const int section =
        order_.column.isEmpty()
            ? -1
            : shipowner::ColumnTable().at(shipowner::Columns().indexOf(order_.column)).gridColumn;
    header->setSortIndicatorShown(section > 0);
    header->setSortIndicator(section, order_.descending ? Qt::DescendingOrder : Qt::AscendingOrder);
}

void frmquery::Grid_DblClick() {
    if (Grid->Rows() <= 1)
        return;
    const QString id = shipowner::TrimSpaces(Grid->TextMatrix(Grid->Row(), kIdColumn));
    if (id.isEmpty())
        return;
    frminfo& info = frminfo::instance();
    info.shipId = id.toLongLong();
    info.Show();
}

QList<qint64> frmquery::ShownIds() const {
    QList<qint64> ids;
    for (int row = 1; row < Grid->Rows(); ++row) {
        bool isNumber = false;
        const qint64 id = Grid->TextMatrix(row, kIdColumn).toLongLong(&isNumber);
        if (isNumber)
            ids.append(id);
    }
    return ids;
}

void frmquery::Grid_ContextMenu(const QPoint& position) {
    for (QAction* action : {mnuExport, mnuPdf, mnuPrint, mnuHistory})
        action->setEnabled(!ShownIds().isEmpty());
    mnuCopy->setEnabled(!ShownIds().isEmpty() && Grid->selectionModel()->hasSelection());
    GridMenu->popup(Grid->viewport()->mapToGlobal(position));
}

void frmquery::ExportQueryResult() {
    const QList<qint64> ids = ShownIds();
    if (ids.isEmpty())
        return;
    const QStringList filters = {QStringLiteral("CSV 文件 (*.csv)"),
                                 QStringLiteral("Excel 工作簿 (*.xlsx)")};
    const platform::SaveFileChoice choice = platform::GetSaveFileName(
        this, QStringLiteral("导出查询结果"), filters, QStringLiteral("查询结果"));
    if (choice.path.isEmpty())
        return;
    // The chosen filter decides the format; the name gets its extension when it lacks it.
    const bool excel = choice.filter == 1;
    const QString suffix = excel ? QStringLiteral(".xlsx") : QStringLiteral(".csv");
    const QString path = WithSuffix(choice.path, suffix);
    if (path.isEmpty())
        return;
    QString failure;
    try {
        const platform::WaitCursor busy;
        exchange::ExportCompanies(modGeneral::dbConnection(), ids, path,
                                  excel ? exchange::FileFormat::Xlsx : exchange::FileFormat::Csv);
    } catch (const exchange::FileError& error) {
        failure = error.kind() == exchange::FileError::TooLongForExcel
                      ? QStringLiteral("导出失败：有的内容超过 Excel 单元格能容纳的 32767 "
                                       "个字符。请导出为 CSV 文件。")
                      : CannotWriteMessage(path);
        std::fprintf(stderr, "orvandel: export: %s\n", error.what());
    } catch (const db::Error& error) {
        failure = QStringLiteral("导出失败：无法读取数据库中的船东信息。");
        std::fprintf(stderr, "orvandel: export: %s\n", qPrintable(error.message()));
    }
    if (!failure.isEmpty())
        platform::MsgBox(failure, platform::vbCritical, QStringLiteral("提示:"));
}

QList<exchange::ListedCompany> frmquery::ShownRows() const {
    QList<exchange::ListedCompany> rows;
    for (int row = 1; row < Grid->Rows(); ++row)
        if (!Grid->TextMatrix(row, kIdColumn).isEmpty())
            rows.append({Grid->TextMatrix(row, 0), Grid->TextMatrix(row, 1),
                         Grid->TextMatrix(row, 2), Grid->TextMatrix(row, 3),
                         Grid->TextMatrix(row, 4)});
    return rows;
}

QString frmquery::ListHeading(qint64 count) const {
    return exchange::CompanyListHeading(searched_ ? shipowner::Describe(search_) : QString(),
                                        QDateTime::currentDateTime(), count);
}

void frmquery::PrintQueryResult() {
    const QList<exchange::ListedCompany> rows = ShownRows();
    if (rows.isEmpty())
        return;
    QPrinter printer(QPrinter::HighResolution);
    printer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Landscape,
                                      QMarginsF(12, 12, 12, 12), QPageLayout::Millimeter));
    printer.setDocName(QStringLiteral("船东查询结果"));
    QPrintPreviewDialog preview(&printer, this);
    preview.setObjectName(QStringLiteral("PrintPreview"));
    preview.setWindowTitle(QStringLiteral("打印预览"));
    const QString heading = ListHeading(rows.size());
    connect(&preview, &QPrintPreviewDialog::paintRequested, this, [&](QPrinter* target) {
        if (!exchange::PaintCompanyList(*target, font(), heading, rows))
            platform::MsgBox(QStringLiteral("打印失败：打印机没有准备好，或无法开始新的一页。"),
                             platform::vbCritical, QStringLiteral("提示:"));
    });
    preview.exec();
}

void frmquery::ExportQueryPdf() {
    const QList<exchange::ListedCompany> rows = ShownRows();
    if (rows.isEmpty())
        return;
    const platform::SaveFileChoice choice =
        platform::GetSaveFileName(this, QStringLiteral("导出 PDF"),
                                  {QStringLiteral("PDF 文件 (*.pdf)")}, QStringLiteral("查询结果"));
    if (choice.path.isEmpty())
        return;
    const QString path = WithSuffix(choice.path, QStringLiteral(".pdf"));
    if (path.isEmpty())
        return;
    try {
        const platform::WaitCursor busy;
        exchange::WriteCompanyListPdf(path, font(), ListHeading(rows.size()), rows);
    } catch (const exchange::FileError& error) {
        std::fprintf(stderr, "orvandel: export: %s\n", error.what());
        platform::MsgBox(CannotWriteMessage(path), platform::vbCritical, QStringLiteral("提示:"));
    }
}

void frmquery::closeEvent(QCloseEvent* event) {
    ++fillGeneration_; // a fill still running ends at its next row
    restartRequested_ = false;
    Form::closeEvent(event);
}

void frmquery::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.drawPixmap(0, 0, picture_);
    painter.setPen(palette().color(QPalette::WindowText));
    painter.drawLine(Px(3630), Px(615), Px(5830), Px(615));   // Line3, under Text1
    painter.drawLine(Px(3870), Px(1050), Px(5910), Px(1050)); // Line1, under Text2
}
