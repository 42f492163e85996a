#include "screens/frmsearch.h"

#include "data/Connection.h"
#include "data/DbError.h"
#include "data/ShipOwnerTable.h"
#include "platform/CommonControls.h"
#include "platform/MsgBox.h"
#include "platform/Twips.h"
#include "screens/SmartNetXpButton.h"
#include "screens/frmquery.h"
#include "session/modGeneral.h"

#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <cstdio>

using platform::Px;
using platform::TwipsRect;

namespace {

constexpr int kLeft = 240;
constexpr int kFieldLeft = 1290;
constexpr int kFieldHeight = 300;
constexpr int kTextCap = 1000; // as the query screen's filters
constexpr int kNumberCap = 30; // digits and separators of any 64-bit number

QLabel* MakeLabel(const QString& caption, int left, int top, QWidget* parent, const QString& name) {
    auto* label = new QLabel(caption, parent);
    label->setObjectName(name);
    label->move(Px(left), Px(top + 45));
    label->adjustSize();
    return label;
}

// A bound as typed: digits, with the thousands separators people type in large tonnages.
std::optional<qint64> Bound(const QString& typed, bool* valid) {
    QString digits = typed.normalized(QString::NormalizationForm_KC).trimmed();
    digits.remove(QLatin1Char(',')).remove(QLatin1Char(' '));
    *valid = true;
    if (digits.isEmpty())
        return std::nullopt;
    for (const QChar c : digits)
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            *valid = false;
    const qint64 value = digits.toLongLong(valid && *valid ? valid : nullptr);
    return *valid ? std::optional<qint64>(value) : std::nullopt;
}

QString Grouped(qint64 number) {
    return QLocale(QLocale::Chinese, QLocale::China).toString(number);
}

} // namespace

frmsearch::frmsearch() {
    setObjectName(QStringLiteral("frmsearch"));
    setWindowTitle(QStringLiteral("高级查询"));
    SetFixedClientTwips(8400, 6300);
    PaintWhite();
    SetClosesOnEscape(true);

    // The texts: two to a row, the address alone on the third.
    struct TextRow {
        const char* column;
        const char* caption;
        int left;
        int top;
        int width;
    };
    const TextRow textRows[] = {{"公司名称", "船东名称：", kLeft, 240, 2550},
                                {"国家", "国家：", 4200, 240, 3000},
                                {"tel", "联系电话：", kLeft, 660, 2550},
                                {"fax", "传真：", 4200, 660, 3000},
                                {"adrress", "地址：", kLeft, 1080, 6810}};
    for (const TextRow& row : textRows) {
        const QString column = QString::fromUtf8(row.column);
        QLabel* label = MakeLabel(QString::fromUtf8(row.caption), row.left, row.top, this,
                                  QStringLiteral("lbl_") + column);
        const int fieldLeft = row.left == kLeft ? kFieldLeft : row.left + 900;
        QLineEdit* field = AddField(TwipsRect(fieldLeft, row.top, row.width, kFieldHeight),
                                    QStringLiteral("txt_") + column, QString());
        field->setMaxLength(kTextCap);
        label->setBuddy(field);
        texts_.insert(column, field);
    }

    // The fleet: a row to a ship type, a range of ships and a range of tonnage or capacity.
    MakeLabel(QStringLiteral("船型"), kLeft, 1500, this, QStringLiteral("lblType"));
    MakeLabel(QStringLiteral("艘数（从 — 到）"), kFieldLeft, 1500, this,
              QStringLiteral("lblCount"));
    MakeLabel(QStringLiteral("吨位或舱容（从 — 到）"), 3600, 1500, this, QStringLiteral("lblSize"));
    int top = 1860;
    for (const shipowner::ShipType& type : shipowner::ShipTypes()) {
        MakeLabel(type.name, kLeft, top, this, QStringLiteral("lbl_") + type.countColumn);
        struct Range {
            const QString& column;
            int left;
            int width;
        };
        for (const Range& range :
             {Range{type.countColumn, kFieldLeft, 900}, Range{type.sizeColumn, 3600, 1500}}) {
            const QString meaning =
                shipowner::ColumnTable().at(shipowner::Columns().indexOf(range.column)).meaning;
            RangeFields fields;
            fields.meaning = meaning;
            fields.least =
                AddField(TwipsRect(range.left, top, range.width, kFieldHeight),
                         QStringLiteral("min_") + range.column, meaning + QStringLiteral("下限"));
            MakeLabel(QStringLiteral("—"), range.left + range.width + 45, top, this,
                      QStringLiteral("dash_") + range.column);
            fields.most =
                AddField(TwipsRect(range.left + range.width + 270, top, range.width, kFieldHeight),
                         QStringLiteral("max_") + range.column, meaning + QStringLiteral("上限"));
            for (QLineEdit* field : {fields.least, fields.most}) {
                field->setMaxLength(kNumberCap);
                field->setAlignment(Qt::AlignRight);
                connect(field, &QLineEdit::textChanged, this, &frmsearch::Bounds_Change);
            }
            ranges_.insert(range.column, fields);
        }
        MakeLabel(type.unit, 6990, top, this, QStringLiteral("unit_") + type.countColumn);
        top += 390;
    }

    lblProblem = new QLabel(this);
    lblProblem->setObjectName(QStringLiteral("lblProblem"));
    lblProblem->setGeometry(TwipsRect(kLeft, 4410, 5200, kFieldHeight));
    platform::SetTextColour(lblProblem, Qt::red);
    CmdSearch = new SmartNetXpButton(QStringLiteral("查询"),
                                     QIcon(QStringLiteral(":/art/icon-query.png")), this);
    CmdSearch->setObjectName(QStringLiteral("CmdSearch"));
    CmdSearch->move(Px(5580), Px(4380));
    CmdClose = new SmartNetXpButton(QStringLiteral("关闭"),
                                    QIcon(QStringLiteral(":/art/icon-exit.png")), this);
    CmdClose->setObjectName(QStringLiteral("CmdClose"));
    CmdClose->move(Px(6900), Px(4380));
    lblTotals = new QLabel(this);
    lblTotals->setObjectName(QStringLiteral("lblTotals"));
    lblTotals->setAccessibleName(QStringLiteral("查询结果统计"));
    lblTotals->setGeometry(TwipsRect(kLeft, 4860, 7920, 1200));
    lblTotals->setWordWrap(true);
    lblTotals->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    lblTotals->setTextInteractionFlags(Qt::TextSelectableByMouse);

    // Tab follows the layout: the texts row by row, the fleet row by row, then the buttons.
    QWidget* previous = nullptr;
    const auto chain = [&previous, this](QWidget* next) {
        if (previous)
            setTabOrder(previous, next);
        previous = next;
    };
    for (const TextRow& row : textRows)
        chain(texts_.value(QString::fromUtf8(row.column)));
    for (const shipowner::ShipType& type : shipowner::ShipTypes())
        for (const QString& column : {type.countColumn, type.sizeColumn}) {
            chain(ranges_.value(column).least);
            chain(ranges_.value(column).most);
        }
    chain(CmdSearch);
    chain(CmdClose);

    connect(CmdSearch, &QAbstractButton::clicked, this, &frmsearch::CmdSearch_Click);
    connect(CmdClose, &QAbstractButton::clicked, this, &QWidget::close);
}

QLineEdit* frmsearch::AddField(const QRect& geometry, const QString& name,
                               const QString& accessibleName) {
    auto* field = new QLineEdit(this);
    field->setObjectName(name);
    field->setGeometry(geometry);
    if (!accessibleName.isEmpty())
        field->setAccessibleName(accessibleName);
    connect(field, &QLineEdit::returnPressed, this, &frmsearch::CmdSearch_Click);
    return field;
}

void frmsearch::Form_Load() {
    lblTotals->clear();
    Bounds_Change();
    texts_.value(QStringLiteral("公司名称"))->setFocus();
}

std::optional<shipowner::CompanySearch> frmsearch::Conditions(QString* problem,
                                                              QLineEdit** badField) const {
    shipowner::CompanySearch search;
    search.folded = true;
    for (auto it = texts_.begin(); it != texts_.end(); ++it)
        search.texts.insert(it.key(), it.value()->text());
    for (const shipowner::ShipType& type : shipowner::ShipTypes())
        for (const QString& column : {type.countColumn, type.sizeColumn}) {
            const RangeFields& fields = ranges_.value(column);
            shipowner::NumberRange range;
            for (const bool lower : {true, false}) {
                QLineEdit* field = lower ? fields.least : fields.most;
                bool valid = false;
                (lower ? range.least : range.most) = Bound(field->text(), &valid);
                if (!valid) {
                    *problem = QStringLiteral("“%1”的%2不是整数：请只输入数字。")
                                   .arg(fields.meaning,
                                        lower ? QStringLiteral("下限") : QStringLiteral("上限"));
                    if (badField)
                        *badField = field;
                    return std::nullopt;
                }
            }
            if (range.least && range.most && *range.least > *range.most) {
                *problem = QStringLiteral("“%1”的下限大于上限。").arg(fields.meaning);
                if (badField)
                    *badField = fields.least;
                return std::nullopt;
            }
            if (range.least || range.most)
                search.numbers.insert(column, range);
        }
    return search;
}

void frmsearch::Bounds_Change() {
    QString problem;
    Conditions(&problem);
    lblProblem->setText(problem);
}

void frmsearch::CmdSearch_Click() {
    QString problem;
    QLineEdit* badField = nullptr;
    const std::optional<shipowner::CompanySearch> search = Conditions(&problem, &badField);
    if (!search) {
        platform::MsgBox(problem, platform::vbExclamation, QStringLiteral("提示:"));
        badField->setFocus();
        badField->selectAll();
        return;
    }
    const quint64 mine = ++searches_;
    lblTotals->setText(QStringLiteral("正在查询…"));
    frmquery& query = frmquery::instance();
    query.Show();
    query.RunSearch(*search);
    // The query screen runs one fill at a time: a newer search took this one's place.
    if (mine == searches_ && isVisible())
        ShowTotals(*search);
}

// Why the rows matched, when a text was asked for: "（按字符 3 家，按繁简、全半角或大小写 1
// 家，按拼音 2 家）".
QString frmsearch::HowMatched(const shipowner::CompanySearch& search, const QList<qint64>& totals) {
    bool texts = false;
    for (const QString& text : search.texts)
        texts = texts || !shipowner::TrimSpaces(text).isEmpty();
    if (!texts)
        return QString();
    const shipowner::MatchKinds kinds = shipowner::MatchKindsOf(totals);
    return QStringLiteral("（按字符 %1 家，按繁简、全半角或大小写 %2 家，按拼音 %3 家）")
        .arg(Grouped(kinds.characters), Grouped(kinds.folding), Grouped(kinds.pinyin));
}

void frmsearch::ShowTotals(const shipowner::CompanySearch& search) {
    QList<qint64> totals;
    try {
        totals = modGeneral::dbConnection().Totals(shipowner::FleetTotalsQuery(search));
    } catch (const db::Error& error) {
        std::fprintf(stderr, "orvandel: totals: %s\n", qPrintable(error.details()));
        lblTotals->setText(QStringLiteral("无法统计查询结果。"));
        return;
    }
    const QStringList fleet = shipowner::FleetColumns();
    QStringList types;
    for (const shipowner::ShipType& type : shipowner::ShipTypes())
        types.append(QStringLiteral("%1 %2 艘，%3 %4")
                         .arg(type.name, Grouped(totals.value(1 + fleet.indexOf(type.countColumn))),
                              Grouped(totals.value(1 + fleet.indexOf(type.sizeColumn))),
                              type.unit));
    lblTotals->setText(QStringLiteral("共 %1 家船东%2。%3。")
                           .arg(Grouped(totals.value(0)), HowMatched(search, totals),
                                types.join(QStringLiteral("；"))));
}
