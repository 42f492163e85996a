// The printed list of companies, written as PDF and read back with poppler's pdftotext and
// pdffonts: every row whole on one page, the page numbers, the heading and the column titles on
// every page, the text real and its fonts embedded, and nothing left behind when it cannot be
// written.
#include "exchange/CompanyList.h"
#include "exchange/TableFile.h"
#include "platform/Fonts.h"

#include <QDir>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

namespace {

const QStringList kColumnTitles = {QStringLiteral("序号"), QStringLiteral("船东名称"),
                                   QStringLiteral("国家"), QStringLiteral("联系电话"),
                                   QStringLiteral("地址")};

// Words that end every address, so that a row cut across two pages shows.
QString AddressEnd(int number) {
    return QStringLiteral("End%1").arg(number);
}

// The words of the first row's address, far too long for one line of its column.
QStringList LongAddressWords() {
    QStringList words;
    for (int i = 1; i <= 60; ++i)
        words << QStringLiteral("Lot%1").arg(i, 2, 10, QLatin1Char('0'));
    return words;
}

// Chinese and Latin names, some addresses of several lines, the first very long.
QList<exchange::ListedCompany> Companies(int count) {
    QList<exchange::ListedCompany> rows;
    for (int number = 1; number <= count; ++number) {
        exchange::ListedCompany row;
        row.number = QString::number(number);
        const bool chinese = number % 2 == 1;
        row.name = chinese ? QStringLiteral("远洋航运第%1有限公司").arg(number)
                           : QStringLiteral("Nordic Tankers %1 AS").arg(number);
        row.country = chinese ? QStringLiteral("中国") : QStringLiteral("Norway");
        row.telephone = QStringLiteral("+86 21 5555 %1").arg(number, 4, 10, QLatin1Char('0'));
        QString address = chinese ? QStringLiteral("上海市浦东新区世纪大道一百号")
                                  : QStringLiteral("Strandveien 50, Lysaker");
        if (number == 1)
            address += QStringLiteral(" 航运中心大厦 ") + LongAddressWords().join(u' ');
        else if (number % 5 == 0)
            address += QStringLiteral(" 国际航运大厦东楼二十八层至三十层全层，"
                                      "邻近地铁站与港务局办公楼，另设仓储与船员服务中心");
        row.address = address + u' ' + AddressEnd(number);
        rows << row;
    }
    return rows;
}

QFont SongFont() {
    QFont font(platform::kSongFamily);
    font.setPointSize(9);
    return font;
}

QString Run(const QString& program, const QStringList& arguments) {
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(60000) || process.exitCode() != 0)
        return QString();
    return QString::fromUtf8(process.readAllStandardOutput());
}

int PageCount(const QString& pdf) {
    static const QRegularExpression pages(QStringLiteral("^Pages:\\s+(\\d+)$"),
                                          QRegularExpression::MultilineOption);
    return pages.match(Run(QStringLiteral("pdfinfo"), {pdf})).captured(1).toInt();
}

// One page's text as pdftotext lays it out: a row's cells side by side on its first line, each
// further line of a wrapped cell on a line of its own, below.
QString PageText(const QString& pdf, int page) {
    return Run(QStringLiteral("pdftotext"),
               {QStringLiteral("-layout"), QStringLiteral("-f"), QString::number(page),
                QStringLiteral("-l"), QString::number(page), pdf, QStringLiteral("-")});
}

// The row numbers a page's lines begin with: the first column's.
QList<int> RowNumbers(const QString& pageText) {
    static const QRegularExpression number(QStringLiteral("^\\s*(\\d+)\\s"),
                                           QRegularExpression::MultilineOption);
    QList<int> numbers;
    for (auto match = number.globalMatch(pageText); match.hasNext();)
        numbers << match.next().captured(1).toInt();
    return numbers;
}

bool HasWord(const QString& text, const QString& word) {
    return text.contains(QRegularExpression(
        QStringLiteral("(^|\\s)%1(\\s|$)").arg(QRegularExpression::escape(word))));
}

// The pages each row number is on, as read back.
QMap<int, QList<int>> PagesOfRows(const QString& pdf, int pages) {
    QMap<int, QList<int>> pagesOf;
    for (int page = 1; page <= pages; ++page)
        for (int number : RowNumbers(PageText(pdf, page)))
            pagesOf[number] << page;
    return pagesOf;
}

QStringList FolderEntries(const QString& path) {
    return QDir(path).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
}

} // namespace

class TestCompanyList : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void pages_data();
    void pages();
    void longAddressWraps();
    void fontsEmbedded();
    void fontInPixels();
    void unwritable_data();
    void unwritable();

private:
    QString Write(const QList<exchange::ListedCompany>& rows, const QFont& font = SongFont());

    QTemporaryDir dir_;
    int written_ = 0;
};

void TestCompanyList::initTestCase() {
    for (const char* tool : {"pdftotext", "pdfinfo", "pdffonts"})
        QVERIFY2(!QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty(),
                 "needs poppler-utils (scripts/install-deps.sh installs them)");
    platform::SetUpFonts();
}

QString TestCompanyList::Write(const QList<exchange::ListedCompany>& rows, const QFont& font) {
    const QString path = dir_.filePath(QStringLiteral("list%1.pdf").arg(++written_));
    const QString heading = exchange::CompanyListHeading(
        QStringLiteral("国家 = 中国"), QDateTime(QDate(2026, 12, 11), QTime(9, 30)), rows.size());
    exchange::WriteCompanyListPdf(path, font, heading, rows);
    return path;
}

void TestCompanyList::pages_data() {
    QTest::addColumn<int>("companies");
    QTest::addColumn<int>("fewestPages");
    QTest::newRow("several pages") << 100 << 3;
    QTest::newRow("one company") << 1 << 1;
    QTest::newRow("none") << 0 << 1;
}

void TestCompanyList::pages() {
    QFETCH(int, companies);
    QFETCH(int, fewestPages);
    const QList<exchange::ListedCompany> rows = Companies(companies);
    const QString pdf = Write(rows);
    const int pages = PageCount(pdf);
    QVERIFY2(pages >= fewestPages, qPrintable(QString::number(pages)));

    const QMap<int, QList<int>> pagesOf = PagesOfRows(pdf, pages);
    QCOMPARE(pagesOf.size(), companies);
    int previousPage = 1;
    for (const exchange::ListedCompany& row : rows) {
        const QList<int> on = pagesOf.value(row.number.toInt());
        QVERIFY2(on.size() == 1, qPrintable(row.number + QStringLiteral(": on no page or on two")));
        const int page = on.first();
        QVERIFY2(page >= previousPage, qPrintable(row.number + QStringLiteral(": out of order")));
        previousPage = page;
        // The whole row on its number's page: its name, and the last word of its address.
        const QString text = PageText(pdf, page);
        QVERIFY2(text.contains(row.name), qPrintable(row.name));
        QVERIFY2(HasWord(text, AddressEnd(row.number.toInt())), qPrintable(row.number));
    }
    for (int page = 1; page <= pages; ++page) {
        const QString text = PageText(pdf, page).simplified();
        QVERIFY2(text.contains(QStringLiteral("日期：2026-12-11")), qPrintable(text));
        QVERIFY2(text.contains(QStringLiteral("共 %1 家船东").arg(companies)), qPrintable(text));
        for (const QString& title : kColumnTitles)
            QVERIFY2(text.contains(title), qPrintable(title));
        const QString footer = QStringLiteral("第 %1 页，共 %2 页").arg(page).arg(pages);
        QVERIFY2(text.endsWith(footer), qPrintable(text.right(40)));
    }
}

void TestCompanyList::longAddressWraps() {
    const QString pdf = Write(Companies(3));
    // pdftotext gives each line of the wrapped address on a line of its own, below the row's first
    // line: the words come back whole and in order, over several lines.
    const QStringList lines = PageText(pdf, 1).split(u'\n');
    int line = 0;
    QSet<int> linesUsed;
    for (const QString& word : LongAddressWords()) {
        while (line < lines.size() && !HasWord(lines[line], word))
            ++line;
        QVERIFY2(line < lines.size(),
                 qPrintable(word + QStringLiteral(" missing or out of order")));
        linesUsed.insert(line);
    }
    QVERIFY2(linesUsed.size() >= 3, qPrintable(QString::number(linesUsed.size())));
}

void TestCompanyList::fontsEmbedded() {
    const QString pdf = Write(Companies(4));
    // name, type, encoding, then emb, sub and uni: yes or no each.
    const QStringList lines =
        Run(QStringLiteral("pdffonts"), {pdf}).split(u'\n', Qt::SkipEmptyParts);
    QVERIFY2(lines.size() > 2, qPrintable(lines.join(u'\n')));
    QStringList faces;
    for (const QString& line : lines.mid(2)) {
        const QStringList fields = line.split(u' ', Qt::SkipEmptyParts);
        QVERIFY2(fields.size() >= 7, qPrintable(line));
        const QStringList flags = fields.mid(fields.size() - 5, 3); // emb, sub, uni
        QVERIFY2(flags[0] == QLatin1String("yes"),
                 qPrintable(QStringLiteral("not embedded: ") + line));
        QVERIFY2(flags[2] == QLatin1String("yes"),
                 qPrintable(QStringLiteral("no text behind the glyphs: ") + line));
        faces << fields[0];
    }
    // The Song face's two fonts: Latin letters from one, Chinese from the other.
    const QString all = faces.join(u' ');
    QVERIFY2(all.contains(QLatin1String("LiberationSerif")), qPrintable(all));
    QVERIFY2(all.contains(QLatin1String("UMing")), qPrintable(all));
}

void TestCompanyList::fontInPixels() {
    // The screens size the Song face in pixels at 96 dots per inch: 12 pixels for 9 points. Given
    // that font, the list comes out as with the font in points.
    QFont pixels(platform::kSongFamily);
    pixels.setPixelSize(12);
    const QList<exchange::ListedCompany> rows = Companies(60);
    const QString inPoints = Write(rows);
    const QString inPixels = Write(rows, pixels);
    const int pages = PageCount(inPoints);
    QCOMPARE(PageCount(inPixels), pages);
    QCOMPARE(PagesOfRows(inPixels, pages), PagesOfRows(inPoints, pages));
}

void TestCompanyList::unwritable_data() {
    QTest::addColumn<QString>("name");
    QTest::newRow("in a missing folder") << QStringLiteral("missing/list.pdf");
    QTest::newRow("a folder's name") << QStringLiteral("folder");
}

void TestCompanyList::unwritable() {
    QFETCH(QString, name);
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("folder")));
    const QStringList before = FolderEntries(dir.path());
    const QString path = dir.filePath(name);
    try {
        exchange::WriteCompanyListPdf(path, SongFont(), QStringLiteral("heading"), Companies(3));
        QFAIL("written");
    } catch (const exchange::FileError& error) {
        QCOMPARE(int(error.kind()), int(exchange::FileError::CannotWrite));
        QCOMPARE(error.path(), path);
    }
    QCOMPARE(FolderEntries(dir.path()), before);
    QVERIFY(FolderEntries(dir.filePath(QStringLiteral("folder"))).isEmpty());
}

QTEST_MAIN(TestCompanyList)
#include "tst_companylist.moc"
