#include "platform/CommonControls.h"
#include "screens/ResultGrid.h"

#include <QHeaderView>
#include <QScrollBar>
#include <QtMath>
#include <QtTest>

namespace {

// A text of `length` characters that mixes one-, two-, three- and four-byte UTF-8 sequences, so
// that cells end at every offset within a character's bytes as the block grows.
QString MixedText(int seed, int length) {
    static const QString pieces[] = {QStringLiteral("a"),  QStringLiteral("é"),
                                     QStringLiteral("远"), QStringLiteral("\U00020000"),
                                     QStringLiteral(" "),  QStringLiteral("\u3000")};
    QString text;
    for (int i = 0; i < length; ++i)
        text += pieces[(seed + i * 7) % 6];
    return text;
}

// Collects the regions painted on a widget.
class PaintLog : public QObject {
public:
    explicit PaintLog(QWidget* widget) { widget->installEventFilter(this); }
    QList<QRegion> regions;

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint)
            regions << static_cast<QPaintEvent*>(event)->region();
        return false;
    }
};

// Mostly short, now and then long enough that a cell's length takes two or three bytes to write.
int TextLength(int row, int column) {
    return row % 97 == 0 ? 40 + 2000 * column : (row + column) % 13;
}

QList<QByteArray> Utf8(const QStringList& texts) {
    QList<QByteArray> encoded;
    for (const QString& text : texts)
        encoded << text.toUtf8();
    return encoded;
}

} // namespace

class TestResultGrid : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { platform::SetUpApplication(); }
    void cellsKeepTheirTextAcrossManyFills();
    void invalidIndexesHaveNoData();
    void autoSizeMatchesAFullMeasurement_data();
    void autoSizeMatchesAFullMeasurement();
    void rowsAddedBelowTheViewRepaintNothing();
};

void TestResultGrid::cellsKeepTheirTextAcrossManyFills() {
    ResultGrid grid;
    grid.SetCols(7);
    for (int fill = 0; fill < 12; ++fill) {
        const int rows = 1 + (fill * 389) % 1500;
        grid.SetRows(1);
        for (int row = 1; row <= rows; ++row) {
            // Whole rows at once and cell by cell, as a fill and as a screen write them.
            QList<QByteArray> texts = {QByteArray::number(row)};
            for (int column = 1; column <= 4; ++column)
                texts << MixedText(fill + row + column, TextLength(row, column)).toUtf8();
            if (fill % 2 == 0) {
                QByteArrayView cells[7] = {
                    texts[0], texts[1], texts[2],
                    texts[3], texts[4], row % 2 ? QByteArrayView() : QByteArrayView("")};
                grid.AppendRowUtf8(cells);
                continue;
            }
            grid.SetRows(grid.Rows() + 1);
            for (int column = 0; column <= 4; ++column)
                grid.SetTextMatrixUtf8(row, column, texts[column]);
            grid.SetTextMatrixUtf8(row, 5, row % 2 ? QByteArrayView() : QByteArrayView(""));
        }
        // A cell written again shows its new text, its neighbours keep theirs.
        grid.SetTextMatrix(1, 2, QStringLiteral("新"));
        QCOMPARE(grid.Rows(), rows + 1);
        for (int row = 1; row <= rows; ++row) {
            QCOMPARE(grid.TextMatrix(row, 0), QString::number(row));
            for (int column = 1; column <= 4; ++column) {
                const QString expected =
                    row == 1 && column == 2
                        ? QStringLiteral("新")
                        : MixedText(fill + row + column, TextLength(row, column));
                QCOMPARE(grid.TextMatrix(row, column), expected);
            }
            QCOMPARE(grid.TextMatrix(row, 5), QString());
            QCOMPARE(grid.TextMatrix(row, 6), QString());
        }
    }
    // What the view reads is what was written.
    QTRY_COMPARE(grid.model()->rowCount(), grid.Rows() - 1);
    const QModelIndex cell = grid.model()->index(2, 3);
    QCOMPARE(cell.data().toString(), grid.TextMatrix(3, 3));
}

void TestResultGrid::invalidIndexesHaveNoData() {
    ResultGrid grid;
    grid.SetCols(3);
    grid.SetRows(3);
    grid.SetTextMatrix(1, 0, QStringLiteral("x"));
    QAbstractItemModel* model = grid.model();
    QTRY_COMPARE(model->rowCount(), 2);
    ResultGrid other;
    other.SetCols(3);
    other.SetRows(3);
    QTRY_COMPARE(other.model()->rowCount(), 2);
    for (const QModelIndex& index : {QModelIndex(), other.model()->index(0, 0)}) {
        QVERIFY(!model->data(index, Qt::DisplayRole).isValid());
        QVERIFY(!model->data(index, Qt::TextAlignmentRole).isValid());
    }
    QCOMPARE(model->data(model->index(0, 0), Qt::DisplayRole).toString(), QStringLiteral("x"));
}

void TestResultGrid::autoSizeMatchesAFullMeasurement_data() {
    QTest::addColumn<QList<QByteArray>>("texts"); // UTF-8, or not quite
    // How the rows came: cell by cell, appended whole (their widths noted on the way), or
    // appended and then one written again, wider than all.
    QTest::addColumn<QString>("how");
    QList<QByteArray> manyAlike;
    for (int i = 0; i < 3000; ++i) // kerned, and more within a few pixels than the notes keep
        manyAlike << (i % 2 ? QByteArray("AVAV Lines ") : QByteArray("WAVE Lines ")) +
                         QByteArray::number(10000 + i);
    const QList<QPair<const char*, QList<QByteArray>>> cases = {
        {"mixed scripts",
         Utf8({QStringLiteral("远洋航运有限公司"), QStringLiteral("Blue Star Lines S.A."),
               QStringLiteral("\U00020000\U00020001\U0002A6D6 海运"),
               QStringLiteral("\U0001F6A2\u2693 \U0001F468\u200D\U0001F469\u200D\U0001F467"),
               QStringLiteral("شركة الملاحة العربية المتحدة"),
               QStringLiteral("Cafe\u0301 Ne\u0301ro\u0301\u0300\u0301 Shipping"),
               QStringLiteral("Ελληνική Ναυτιλιακή"), QStringLiteral("\u3000 港口路1号 \u3000")})},
        // Shaping narrows joined Arabic and kerned Latin against the sum of their letters; a
        // plain text that is wider when measured sits among them.
        {"estimate and measurement disagree",
         Utf8({QStringLiteral("لالالالالالالالالالالالالالالالالالا"),
               QStringLiteral("AVAVAVAVAVAVAVAVAVAVAVAVAVAV"),
               QStringLiteral("ـــــــــــــــــــــ"), QStringLiteral("mmmmmmmmmmmmmmmmmmmmmm"),
               QStringLiteral("e\u0301e\u0301e\u0301e\u0301")})},
        {"kerned texts of nearly one width", manyAlike},
        {"combining marks only",
         Utf8({QStringLiteral("a\u0301\u0302\u0303\u0304\u0305\u0306\u0307"), "aa"})},
        {"all empty", {QByteArray(), QByteArray("")}},
        {"bytes that are no UTF-8",
         {"\xff\xfe abc \xe8\xbf",
          "\xf0\x80\x80\x80"
          "abc",
          "abc"}},
    };
    for (const auto& [name, texts] : cases)
        for (const char* how : {"written", "appended", "appended, one written wider"})
            QTest::addRow("%s, %s", name, how) << texts << QString::fromLatin1(how);
}

void TestResultGrid::autoSizeMatchesAFullMeasurement() {
    QFETCH(QList<QByteArray>, texts);
    QFETCH(QString, how);
    const QFontMetricsF headerMetrics(ResultGrid().horizontalHeader()->font());
    const QFontMetricsF cellMetrics(ResultGrid().font());
    ResultGrid grid;
    grid.SetCols(2);
    grid.SetTextMatrix(0, 0, QStringLiteral("船东名称"));
    if (how == QLatin1String("written")) {
        grid.SetRows(texts.size() + 1);
        for (int i = 0; i < texts.size(); ++i)
            grid.SetTextMatrixUtf8(i + 1, 0, texts[i]);
    } else {
        for (const QByteArray& text : texts) {
            const QByteArrayView cells[2] = {text, QByteArrayView()};
            grid.AppendRowUtf8(cells);
        }
    }
    if (how == QLatin1String("appended, one written wider")) {
        texts.first() = QByteArray(200, 'W');
        grid.SetTextMatrixUtf8(1, 0, texts.first());
    }
    grid.SetColHidden(1, true);
    grid.AutoSize(0);
    grid.AutoSize(1);

    qreal widest = headerMetrics.horizontalAdvance("船东名称");
    for (const QByteArray& text : texts)
        widest = qMax(widest, cellMetrics.horizontalAdvance(QString::fromUtf8(text)));
    QCOMPARE(grid.columnWidth(0), qCeil(widest) + ResultGrid::kCellPadding);
    QVERIFY(grid.ColHidden(1));
}

void TestResultGrid::rowsAddedBelowTheViewRepaintNothing() {
    ResultGrid grid;
    grid.SetCols(2);
    grid.resize(300, 200);
    grid.show();
    QVERIFY(QTest::qWaitForWindowExposed(&grid));
    const auto addRows = [&grid](int count) {
        const int first = grid.Rows();
        grid.SetRows(first + count);
        for (int row = first; row < grid.Rows(); ++row)
            grid.SetTextMatrix(row, 0, QString::number(row));
        QTRY_COMPARE(grid.model()->rowCount(), grid.Rows() - 1);
    };

    // Rows that land in view are painted.
    PaintLog log(grid.viewport());
    addRows(3);
    QTRY_VERIFY(!log.regions.isEmpty());
    QVERIFY(log.regions.last().intersects(grid.visualRect(grid.model()->index(2, 0))));
    addRows(60);
    QTRY_VERIFY(grid.verticalScrollBar()->maximum() > 0);

    // Rows below it only move the scroll bar's end.
    QApplication::processEvents();
    log.regions.clear();
    for (int batch = 0; batch < 5; ++batch) {
        const int maximum = grid.verticalScrollBar()->maximum();
        addRows(100);
        QTRY_VERIFY(grid.verticalScrollBar()->maximum() > maximum);
    }
    // A one-pixel update shows whether anything else was still waiting to be painted.
    grid.viewport()->update(QRect(0, 0, 1, 1));
    QTRY_VERIFY(!log.regions.isEmpty());
    for (const QRegion& region : std::as_const(log.regions))
        QCOMPARE(region, QRegion(0, 0, 1, 1));
}

QTEST_MAIN(TestResultGrid)
#include "tst_resultgrid.moc"
