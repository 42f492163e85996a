#include "exchange/CompanyList.h"

#include "data/Recordset.h"
#include "data/ShipOwnerTable.h"
#include "exchange/TableFile.h"

#include <QPageLayout>
#include <QPainter>
#include <QPdfWriter>
#include <QSaveFile>
#include <QTextLayout>
#include <array>

namespace exchange {

namespace {

constexpr int kColumns = 5;
using Cells = std::array<QString, kColumns>;

const Cells kColumnTitles = {QStringLiteral("序号"), QStringLiteral("船东名称"),
                             QStringLiteral("国家"), QStringLiteral("联系电话"),
                             QStringLiteral("地址")};
// Shares of the table's width; the address gets the most, being the text that wraps most.
constexpr std::array<qreal, kColumns> kColumnShares = {0.06, 0.25, 0.10, 0.15, 0.44};
constexpr std::array<Qt::Alignment::Int, kColumns> kColumnAlignments = {
    Qt::AlignHCenter, Qt::AlignLeft, Qt::AlignLeft, Qt::AlignLeft, Qt::AlignLeft};

// Distances in points.
constexpr qreal kPadding = 3; // between a cell's rule and its text
constexpr qreal kGap = 6;     // between the heading, the table and the page number
constexpr qreal kRule = 0.5;
const QColor kTitleShade(225, 225, 225);
// Heights summed in another order may differ in their last bits; a row that fits must not lose
// its last line to that.
constexpr qreal kRoundingSlack = 0.01;

const QMarginsF kPdfMarginsMm(12, 12, 12, 12);

Cells CellsOf(const ListedCompany& company) {
    return {company.number, company.name, company.country, company.telephone, company.address};
}

// The screens size their fonts in pixels at 96 dots per inch; on paper the same text is sized
// in points, or it would shrink with the device's resolution.
QFont PaperFont(const QFont& font) {
    QFont paper(font);
    if (paper.pointSizeF() <= 0)
        paper.setPointSizeF(paper.pixelSize() * 72.0 / 96.0);
    return paper;
}

// Text broken into lines of a width: at spaces, between Chinese characters, and inside a word
// only when the word alone is wider than the line.
class WrappedText {
public:
    WrappedText(const QString& text, const QFont& font, QPaintDevice& device, qreal width,
                Qt::Alignment alignment = Qt::AlignLeft)
        : layout_(text, font, &device) {
        QTextOption option(alignment);
        option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
        layout_.setTextOption(option);
        layout_.beginLayout();
        for (QTextLine line = layout_.createLine(); line.isValid(); line = layout_.createLine()) {
            line.setLineWidth(width);
            line.setPosition(QPointF(0, height_));
            height_ += line.height();
        }
        layout_.endLayout();
    }

    qreal height() const { return height_; }

    // Draws the lines that fit whole within `room` below topLeft: text cut at a page's foot loses
    // its last lines rather than showing half of one.
    void Draw(QPainter& painter, const QPointF& topLeft, qreal room) const {
        for (int i = 0; i < layout_.lineCount(); ++i) {
            const QTextLine line = layout_.lineAt(i);
            if (line.y() + line.height() > room + kRoundingSlack)
                return;
            line.draw(&painter, topLeft);
        }
    }

private:
    QTextLayout layout_;
    qreal height_ = 0;
};

// The first row of each page. Rows go onto a page while they fit whole. A row taller than a
// page's whole table area gets a page of its own and loses the lines below the page's foot; only
// a text of a page's length makes one, and it is not worth continuing on the next sheet.
QList<qsizetype> PageStarts(const QList<qreal>& rowHeights, qreal pageHeight) {
    QList<qsizetype> starts{0};
    qreal filled = 0;
    for (qsizetype row = 0; row < rowHeights.size(); ++row) {
        if (filled > 0 && filled + rowHeights[row] > pageHeight) {
            starts.append(row);
            filled = 0;
        }
        filled += rowHeights[row];
    }
    return starts;
}

// Lays the list out over pages, then paints it: the page count is known before the first page.
class ListPainter {
public:
    ListPainter(QPagedPaintDevice& device, const QFont& font, const QString& heading)
        : device_(device), font_(PaperFont(font)),
          heading_(heading, font_, device, device.width()) {
        const qreal unit = device.logicalDpiY() / 72.0;
        padding_ = kPadding * unit;
        const qreal gap = kGap * unit;
        rule_ = kRule * unit;
        qreal left = 0;
        for (int column = 0; column < kColumns; ++column) {
            columnLefts_[column] = left;
            columnWidths_[column] = kColumnShares[column] * device.width();
            left += columnWidths_[column];
        }
        titleTop_ = heading_.height() + gap;
        bodyTop_ = titleTop_ + RowHeight(kColumnTitles);
        footerHeight_ = QFontMetricsF(font_, &device).height();
        bodyBottom_ = device.height() - footerHeight_ - gap;
    }

    bool Paint(const QList<ListedCompany>& rows) {
        QList<qreal> heights;
        heights.reserve(rows.size());
        for (const ListedCompany& row : rows)
            heights.append(RowHeight(CellsOf(row)));
        QList<qsizetype> starts = PageStarts(heights, bodyBottom_ - bodyTop_);
        const qsizetype pages = starts.size();
        starts.append(rows.size());

        QPainter painter;
        if (!painter.begin(&device_))
            return false;
        painter.setFont(font_);
        painter.setPen(QPen(Qt::black, rule_));
        for (qsizetype page = 0; page < pages; ++page) {
            if (page > 0 && !device_.newPage())
                return false;
            DrawFrame(painter, page + 1, pages);
            qreal top = bodyTop_;
            for (qsizetype row = starts[page]; row < starts[page + 1]; ++row) {
                DrawRow(painter, CellsOf(rows[row]), top, qMin(heights[row], bodyBottom_ - top));
                top += heights[row];
            }
        }
        return painter.end();
    }

private:
    qreal TextWidth(int column) const { return columnWidths_[column] - 2 * padding_; }

    qreal RowHeight(const Cells& cells) const {
        qreal tallest = QFontMetricsF(font_, &device_).height();
        for (int column = 0; column < kColumns; ++column)
            tallest = qMax(tallest,
                           WrappedText(cells[column], font_, device_, TextWidth(column)).height());
        return tallest + 2 * padding_;
    }

    // What every page shows besides its rows: the heading, the column titles, the page number.
    void DrawFrame(QPainter& painter, qsizetype page, qsizetype pages) {
        heading_.Draw(painter, QPointF(0, 0), heading_.height());
        const qreal titleHeight = bodyTop_ - titleTop_;
        painter.fillRect(QRectF(0, titleTop_, device_.width(), titleHeight), kTitleShade);
        DrawRow(painter, kColumnTitles, titleTop_, titleHeight);
        painter.drawText(
            QRectF(0, device_.height() - footerHeight_, device_.width(), footerHeight_),
            Qt::AlignCenter, QStringLiteral("第 %1 页，共 %2 页").arg(page).arg(pages));
    }

    void DrawRow(QPainter& painter, const Cells& cells, qreal top, qreal height) {
        for (int column = 0; column < kColumns; ++column) {
            const QRectF cell(columnLefts_[column], top, columnWidths_[column], height);
            painter.drawRect(cell);
            WrappedText(cells[column], font_, device_, TextWidth(column),
                        Qt::Alignment(kColumnAlignments[column]))
                .Draw(painter, cell.topLeft() + QPointF(padding_, padding_), height - 2 * padding_);
        }
    }

    QPagedPaintDevice& device_;
    QFont font_;
    WrappedText heading_;
    qreal padding_ = 0;
    qreal rule_ = 0;
    std::array<qreal, kColumns> columnLefts_{};
    std::array<qreal, kColumns> columnWidths_{};
    qreal titleTop_ = 0;
    qreal bodyTop_ = 0;
    qreal bodyBottom_ = 0;
    qreal footerHeight_ = 0;
};

} // namespace

QString CompanyListHeading(const QString& filters, const QDateTime& when, qint64 count) {
    return QStringLiteral("查询条件：%1    日期：%2    共 %3 家船东")
        .arg(filters.isEmpty() ? QStringLiteral("无") : filters,
             when.toString(QStringLiteral("yyyy-MM-dd")), QString::number(count));
}

QList<ListedCompany> ListedCompanies(db::Connection& connection, const db::Query& query) {
    db::Recordset rs;
    rs.Open(query, connection, db::adOpenStatic, db::adLockReadOnly);
    const auto text = [&rs](const char* column) {
        return shipowner::ValueText(rs.Field(QString::fromUtf8(column)));
    };
    QList<ListedCompany> rows;
    for (; !rs.AtEnd(); rs.MoveNext())
        rows.append({QString::number(rows.size() + 1), text("公司名称"), text("国家"), text("tel"),
                     text("adrress")});
    return rows;
}

bool PaintCompanyList(QPagedPaintDevice& device, const QFont& font, const QString& heading,
                      const QList<ListedCompany>& rows) {
    return ListPainter(device, font, heading).Paint(rows);
}

void WriteCompanyListPdf(const QString& path, const QFont& font, const QString& heading,
                         const QList<ListedCompany>& rows) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        throw FileError(FileError::CannotWrite, path, file.errorString());
    {
        QPdfWriter writer(&file);
        writer.setCreator(QStringLiteral("Orvandel"));
        writer.setTitle(heading);
        writer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Landscape,
                                         kPdfMarginsMm, QPageLayout::Millimeter));
        if (!PaintCompanyList(writer, font, heading, rows))
            throw FileError(FileError::CannotWrite, path,
                            QStringLiteral("the PDF was not written"));
    }
    if (!file.commit())
        throw FileError(FileError::CannotWrite, path, file.errorString());
}

} // namespace exchange
