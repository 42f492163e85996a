// Spreadsheet files in and out of the directory: the CSV and Excel writers, the CSV and Excel
// import with its checks, and the database tool's export and import commands.
#include "data/Connection.h"
#include "data/DbError.h"
#include "data/Recordset.h"
#include "data/ShipOwnerTable.h"
#include "exchange/DirectoryExport.h"
#include "exchange/DirectoryImport.h"
#include "exchange/TableFile.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStringEncoder>
#include <QtTest>

namespace {

// Every row, every column, as stored (null stays null), in id order.
QList<QVariantList> StoredRows(db::Connection& connection) {
    db::Recordset rs;
    rs.Open(QStringLiteral("select * from Orvandel order by id"), connection);
    QList<QVariantList> rows;
    for (; !rs.AtEnd(); rs.MoveNext()) {
        QVariantList row;
        for (const QString& column : shipowner::Columns())
            row << rs.Field(column);
        rows << row;
    }
    return rows;
}

QByteArray ReadBytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The directory file's bytes with everything committed in it: the write-ahead log is copied
// into the file first, so that a write that was committed shows. A server has no file of ours:
// there the stored rows, compared beside this, say it all.
QByteArray DirectoryBytes(db::Connection& connection, const QString& path) {
    if (connection.IsServer())
        return QByteArray();
    connection.Execute(QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)"));
    return ReadBytes(path);
}

// Makes the store refuse a company named "refused" when it is written, and no more.
void RefuseCompaniesNamedRefused(db::Connection& connection, bool refuse) {
    if (!connection.IsServer()) {
        connection.Execute(refuse ? QStringLiteral("CREATE TRIGGER refuse BEFORE INSERT ON "
                                                   "Orvandel WHEN NEW.公司名称 = 'refused' BEGIN "
                                                   "SELECT RAISE(ABORT, 'refused by the store'); "
                                                   "END")
                                  : QStringLiteral("DROP TRIGGER refuse"));
        return;
    }
    if (!refuse) {
        connection.Execute(QStringLiteral("DROP TRIGGER refuse ON Orvandel"));
        return;
    }
    connection.Execute(QStringLiteral("CREATE OR REPLACE FUNCTION refuse() RETURNS trigger "
                                      "LANGUAGE plpgsql AS $$BEGIN RAISE EXCEPTION 'refused by "
                                      "the store'; END$$"));
    connection.Execute(QStringLiteral("CREATE TRIGGER refuse BEFORE INSERT ON Orvandel FOR EACH "
                                      "ROW WHEN (NEW.公司名称 = 'refused') EXECUTE FUNCTION "
                                      "refuse()"));
}

void WriteBytes(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(bytes), bytes.size());
}

// Values a spreadsheet round trip must carry exactly.
const QString kAwkwardName = QStringLiteral("O'Brien \"Blue, Star\" 航运\nLine two 🚢");

// A directory with what a CSV file finds hard: quotes, commas, line breaks, emoji, a tab, nulls,
// empty texts, large and negative numbers, ids above 32,767.
void FillAwkwardDirectory(db::Connection& connection) {
    InsertCompany(connection, {{"id", 3},
                               {"公司名称", kAwkwardName},
                               {"国家", QStringLiteral("希腊")},
                               {"adrress", QStringLiteral("Piraeus\r\nAkti Miaouli 1")},
                               {"tel", QStringLiteral("+30 210 556")},
                               {"fax", QStringLiteral("")},
                               {"Tank_No", 7},
                               {"Tank_Dwt", 4611686018427387904LL},
                               {"Other_Dwt", -5}});
    InsertCompany(connection, {{"id", 40000},
                               {"公司名称", QStringLiteral("\tTabbed,")},
                               {"国家", QStringLiteral("中国")},
                               {"tel", QStringLiteral("007")},
                               {"Bulk_NO", 0}});
    InsertCompany(connection, {{"id", 2000000000}, {"公司名称", QStringLiteral("\"")}});
}

exchange::ImportResult Import(db::Connection& connection, const QString& path, bool dryRun = false,
                              const QString& encoding = QString()) {
    exchange::ImportOptions options;
    options.dryRun = dryRun;
    options.encoding = encoding;
    return exchange::ImportCsv(connection, path, options);
}

// Runs Python code that writes a workbook to the path `path`: with openpyxl (`openpyxl`), or by
// hand with make_workbook.py's `handmade`, to make what openpyxl does not write.
void MakeWorkbook(const QString& path, const QString& code) {
    QProcess python;
    python.start(QStringLiteral("/usr/bin/python3"),
                 {QStringLiteral(ORVANDEL_MAKE_WORKBOOK), path, code});
    QVERIFY(python.waitForFinished(60000));
    QVERIFY2(python.exitCode() == 0, python.readAllStandardError().constData());
}

// Writes a workbook with openpyxl: the rows given as Python lists, on a sheet named 船东.
QString OpenpyxlBook(const QString& rows) {
    return QStringLiteral("book = openpyxl.Workbook()\n"
                          "sheet = book.active\n"
                          "sheet.title = '船东'\n"
                          "for row in [%1]:\n"
                          "    sheet.append(row)\n"
                          "book.save(path)\n")
        .arg(rows);
}

} // namespace

class TestExchange : public QObject {
    Q_OBJECT
private slots:
    void csvBytes();
    void importFiles_data();
    void importFiles();
    void numbersAsSpreadsheetsWriteThem_data();
    void numbersAsSpreadsheetsWriteThem();
    void formulaLikeTextsGoOutAsTextAndComeBack();
    void importWorkbooks_data();
    void importWorkbooks();
    void roundTripKeepsEveryValue_data();
    void roundTripKeepsEveryValue();
    void editedExportImportsAsEdited();
    void badLastRowWritesNothing();
    void storeFailureWritesNothing();
    void listsTwentyProblems();
    void likelyDuplicatesRefuseTheFile_data();
    void likelyDuplicatesRefuseTheFile();
    void toolRefusesTheSameNewCompaniesTwice();
    void excelFileAsAReaderSeesIt();
    void failedExportLeavesTheOldFile();
    void toolCommands();
    void toolImportsAWorkbook();
    void progressClimbsToAHundredOnce();
    void importHoldsTheWriteLockFromItsStart();
};

void TestExchange::csvBytes() {
    SystemDirFixture dir;
    db::Connection connection;
    dir.CreateDatabase(connection);
    InsertCompany(connection, {{"公司名称", QStringLiteral("a,b")},
                               {"国家", QStringLiteral("say \"hi\"")},
                               {"adrress", QStringLiteral("x\ny")},
                               {"tel", QStringLiteral("")},
                               {"Tank_No", 12}});
    const QString path = QDir(dir.path()).filePath(QStringLiteral("out.csv"));
    QCOMPARE(exchange::ExportDirectory(connection, path, exchange::FileFormat::Csv), 1);
    const QByteArray expected =
        QByteArray("\xEF\xBB\xBF") + shipowner::Columns().join(',').toUtf8() + "\r\n" +
        QStringLiteral("1,\"a,b\",\"say \"\"hi\"\"\",\"x\ny\",,,12,,,,,,,,,,,\r\n").toUtf8();
    QCOMPARE(ReadBytes(path), expected);
}

// Companies in the large files below, each on two lines.
constexpr int kLargeFileRows = 40000;

void TestExchange::importFiles_data() {
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("encoding");
    QTest::addColumn<int>("added");    // -1: the file is refused
    QTest::addColumn<QString>("name"); // accepted: the first new company's name
    QTest::addColumn<int>("line");     // refused: where the first problem is
    QTest::addColumn<QString>("column");
    QTest::addColumn<QString>("value");

    const QString none;
    QTest::newRow("header of data")
        << QByteArray("1,abc\n2,def\n") << none << -1 << none << 1 << "1" << none;
    QTest::newRow("unknown column")
        << QByteArray("公司名称,phone\nA,1\n") << none << -1 << none << 1 << "phone" << none;
    QTest::newRow("column named twice, any case")
        << QByteArray("tel,公司名称,TEL\n1,A,2\n") << none << -1 << none << 1 << "TEL" << none;
    QTest::newRow("letter in a number")
        << QByteArray("公司名称,Tank_No\nA,1\nB,1O\n") << none << -1 << none << 3 << "Tank_No"
        << "1O";
    QTest::newRow("fraction") << QByteArray("公司名称,tank_dwt\nA,1.5\n") << none << -1 << none << 2
                              << "Tank_Dwt"
                              << "1.5";
    QTest::newRow("number out of range")
        << QByteArray("Gas_Cum\n9223372036854775807\n9223372036854775808\n") << none << -1 << none
        << 3 << "Gas_Cum"
        << "9223372036854775808";
    QTest::newRow("unterminated quote")
        << QByteArray("公司名称\nA\n\"B\nC\n") << none << -1 << none << 3 << none << none;
    QTest::newRow("quote inside a plain field")
        << QByteArray("公司名称\nA\"B\n") << none << -1 << none << 2 << none << none;
    QTest::newRow("too few fields")
        << QByteArray("公司名称,国家\nA\n") << none << -1 << none << 2 << none << none;
    QTest::newRow("id not a number")
        << QByteArray("id,公司名称\nx1,A\n") << none << -1 << none << 2 << "id"
        << "x1";
    QTest::newRow("id zero") << QByteArray("id,公司名称\n0,A\n") << none << -1 << none << 2 << "id"
                             << "0";
    QTest::newRow("same id twice")
        << QByteArray("id,公司名称\n7,A\n7,B\n") << none << -1 << none << 3 << "id"
        << "7";
    QTest::newRow("empty file") << QByteArray() << none << -1 << none << 1 << none << none;
    QTest::newRow("only a header")
        << QByteArray("id,公司名称\r\n") << none << 0 << none << 0 << none << none;
    // The problem after a quoted line break is reported on the line it is on.
    QTest::newRow("line break inside quotes")
        << QByteArray("公司名称,Tank_No\n\"A\nB\",1\nC,x\n") << none << -1 << none << 4 << "Tank_No"
        << "x";
    QTest::newRow("line break inside quotes, valid")
        << QByteArray("公司名称,Tank_No\r\n\"第一行\r\n第二行\",1\r\n") << none << 1
        << QStringLiteral("第一行\r\n第二行") << 0 << none << none;
    QTest::newRow("byte-order mark before id")
        << QByteArray("\xEF\xBB\xBFid,公司名称\n,远洋\n") << none << 1 << QStringLiteral("远洋")
        << 0 << none << none;
    QTest::newRow("CRLF") << QByteArray("公司名称,国家\r\n  远洋　,希腊\r\n") << none << 1
                          << QStringLiteral("远洋") << 0 << none << none;
    QTest::newRow("LF, no line end at the end") << QByteArray("公司名称,国家\n远洋,希腊") << none
                                                << 1 << QStringLiteral("远洋") << 0 << none << none;
    QTest::newRow("blank lines") << QByteArray("公司名称\r\n\r\nA\r\n\r\n\r\nB,x\r\n") << none << -1
                                 << none << 6 << none << none;
    QStringEncoder gb18030("GB18030");
    const QByteArray gbText = gb18030.encode(QStringLiteral("公司名称,国家\n远洋海运,希腊\n"));
    QTest::newRow("GB18030") << gbText << none << 1 << QStringLiteral("远洋海运") << 0 << none
                             << none;
    QTest::newRow("GB18030 named")
        << gbText << "gb18030" << 1 << QStringLiteral("远洋海运") << 0 << none << none;
    QTest::newRow("GB18030 read as UTF-8") << gbText << "UTF-8" << -1 << none << 0 << none << none;
    // How spreadsheet programs and people save a sheet.
    QTest::newRow("semicolons") << QByteArray("公司名称;国家\n远洋;希腊\n") << none << 1
                                << QStringLiteral("远洋") << 0 << none << none;
    QTest::newRow("tabs") << QByteArray("公司名称\t国家\n远洋\t希腊\n") << none << 1
                          << QStringLiteral("远洋") << 0 << none << none;
    for (const auto& [order, bom] :
         {std::pair{QStringConverter::Utf16LE, QByteArray("\xFF\xFE")},
          std::pair{QStringConverter::Utf16BE, QByteArray("\xFE\xFF")}}) {
        QStringEncoder utf16(order);
        QTest::addRow("UTF-16 %s with its byte-order mark",
                      order == QStringConverter::Utf16LE ? "LE" : "BE")
            << bom + QByteArray(utf16.encode(QStringLiteral("公司名称\t国家\r\n远洋\t希腊\r\n")))
            << none << 1 << QStringLiteral("远洋") << 0 << none << none;
    }
    QTest::newRow("one GB18030 line among UTF-8 lines")
        << QByteArray("公司名称,国家\n远洋,希腊\n") + gb18030.encode(QStringLiteral("华通,希腊\n"))
        << none << -1 << none << 3 << none << none;
    QTest::newRow("NUL byte") << QByteArray("公司名称,国家\nA\0B,希腊\n", 27) << none << -1 << none
                              << 2 << "公司名称" << none;
    QTest::newRow("empty columns after the header's last name")
        << QByteArray("公司名称,国家,,\r\n远洋,希腊,,\r\n华通,希腊\r\n") << none << 2
        << QStringLiteral("远洋") << 0 << none << none;
    QTest::newRow("a value under a column without a name")
        << QByteArray("公司名称,,\nA,,x\n") << none << -1 << none << 2 << none << none;
    QTest::newRow("longer than the detail screen's box")
        << QByteArray("公司名称,adrress\nA,") + QByteArray(256, 'x') + "\n"
        << none << -1 << none << 2 << "adrress"
        << QString(40, QLatin1Char('x')) + QStringLiteral("…");
    QTest::newRow("as long as the detail screen's box")
        << QByteArray("公司名称\n") + QByteArray(255, 'y') + "\n"
        << none << 1 << QString(255, QLatin1Char('y')) << 0 << none << none;
    QTest::newRow("rows with every cell empty")
        << QByteArray("公司名称,国家\n,\n远洋,希腊\n ,　\n") << none << 1 << QStringLiteral("远洋")
        << 0 << none << none;

    // Files larger than the pieces the import reads (a megabyte), with characters and records
    // across the pieces' edges.
    const auto large = [](const QByteArray& last) {
        QString text = QStringLiteral("公司名称,国家\n");
        for (int row = 0; row < kLargeFileRows; ++row)
            text += QStringLiteral("远洋航运%1,\"希腊\n雅典\"\n").arg(row);
        return text.toUtf8() + last;
    };
    const auto inEncoding = [](const QByteArray& utf8, const char* encoding) {
        QStringEncoder encoder(encoding);
        const QByteArray encoded = encoder.encode(QString::fromUtf8(utf8));
        return encoded;
    };
    const int lastLine = 1 + 2 * kLargeFileRows + 1;
    QTest::newRow("large UTF-8 file")
        << large("") << none << kLargeFileRows << QStringLiteral("远洋航运0") << 0 << none << none;
    QTest::newRow("large UTF-16 file")
        << QByteArray("\xFF\xFE") + inEncoding(large(""), "UTF-16LE") << none << kLargeFileRows
        << QStringLiteral("远洋航运0") << 0 << none << none;
    QTest::newRow("large GB18030 file")
        << inEncoding(large(""), "GB18030") << none << kLargeFileRows << QStringLiteral("远洋航运0")
        << 0 << none << none;
    QTest::newRow("large file, a stray quote on its last line")
        << large("末\"行,希腊\n") << none << -1 << none << lastLine << none << none;
    QTest::newRow("large file, its last line in another encoding")
        << large(inEncoding("末行,希腊\n", "GB18030")) << none << -1 << none << lastLine << none
        << none;
}

void TestExchange::importFiles() {
    QFETCH(QByteArray, file);
    QFETCH(QString, encoding);
    QFETCH(int, added);
    QFETCH(QString, name);
    QFETCH(int, line);
    QFETCH(QString, column);
    QFETCH(QString, value);

    SystemDirFixture dir;
    db::Connection connection;
    dir.CreateDatabase(connection);
    InsertCompany(connection, {{"公司名称", QStringLiteral("stored")}});
    const QString path = QDir(dir.path()).filePath(QStringLiteral("in.csv"));
    WriteBytes(path, file);

    const exchange::ImportResult result = Import(connection, path, false, encoding);
    if (added < 0) {
        QVERIFY(result.problemCount > 0);
        QCOMPARE(result.problems.first().line, line);
        QCOMPARE(result.problems.first().column, column);
        QCOMPARE(result.problems.first().value, value);
        QVERIFY(!result.problems.first().reason.isEmpty());
        QVERIFY(!result.written);
        QCOMPARE(RowCount(connection), 1);
        return;
    }
    QCOMPARE(result.problemCount, 0);
    QCOMPARE(result.added, added);
    QCOMPARE(RowCount(connection), 1 + added);
    if (!name.isEmpty())
        QCOMPARE(StoredValue(connection, 2, QStringLiteral("公司名称")).toString(), name);
}

void TestExchange::numbersAsSpreadsheetsWriteThem_data() {
    QTest::addColumn<QByteArray>("written");
    QTest::addColumn<qint64>("stored"); // -1: refused (no case stores -1)
    QTest::addColumn<QString>("reason");
    QTest::newRow("thousands separators") << QByteArray("\"12,345\"") << qint64(12345) << "";
    QTest::newRow("spaces between thousands") << QByteArray("1 234 567") << qint64(1234567) << "";
    QTest::newRow("zero fraction") << QByteArray("12000.0") << qint64(12000) << "";
    QTest::newRow("exponent, whole") << QByteArray("1.2E+05") << qint64(120000) << "";
    QTest::newRow("negative, grouped") << QByteArray("\"-1,000\"") << qint64(-1000) << "";
    QTest::newRow("real fraction") << QByteArray("1.5") << qint64(-1) << "not a whole number";
    QTest::newRow("exponent leaving a fraction")
        << QByteArray("1.25E+01") << qint64(-1) << "not a whole number";
    QTest::newRow("too large") << QByteArray("1E+30") << qint64(-1)
                               << "a number too large to store";
    QTest::newRow("bad grouping") << QByteArray("\"12,34\"") << qint64(-1) << "not a number";
    QTest::newRow("words") << QByteArray("twelve") << qint64(-1) << "not a number";
}

void TestExchange::numbersAsSpreadsheetsWriteThem() {
    QFETCH(QByteArray, written);
    QFETCH(qint64, stored);
    QFETCH(QString, reason);
    SystemDirFixture dir;
    db::Connection connection;
    dir.CreateDatabase(connection);
    const QString path = QDir(dir.path()).filePath(QStringLiteral("in.csv"));
    WriteBytes(path, "公司名称,Tank_Dwt\nA," + written + "\n");
    const exchange::ImportResult result = Import(connection, path);
    if (stored == -1) {
        QCOMPARE(result.problemCount, 1);
        QCOMPARE(result.problems.first().column, QStringLiteral("Tank_Dwt"));
        QCOMPARE(result.problems.first().reason, reason);
        QCOMPARE(RowCount(connection), 0);
        return;
    }
    QCOMPARE(result.problemCount, 0);
    QCOMPARE(StoredValue(connection, 1, QStringLiteral("Tank_Dwt")).toLongLong(), stored);
}

// A text a spreadsheet would run as a formula leaves as text and comes back exactly.
void TestExchange::formulaLikeTextsGoOutAsTextAndComeBack() {
    const QStringList texts = {"=cmd|' /C calc'!A0", "+SUM(A1:A2)", "-2+3", "@x", "\tx", "'=kept",
                               "+30 210 556",        "plain",       "it's"};
    SystemDirFixture from;
    db::Connection source;
    from.CreateDatabase(source);
    for (const QString& text : texts)
        InsertCompany(source, {{"公司名称", text}});
    const QString csv = QDir(from.path()).filePath(QStringLiteral("out.csv"));
    exchange::ExportDirectory(source, csv, exchange::FileFormat::Csv);
    const QString written = QString::fromUtf8(ReadBytes(csv));
    QVERIFY(written.contains(QStringLiteral("\n1,'=cmd|' /C calc'!A0,")));
    QVERIFY(written.contains(QStringLiteral(",'+30 210 556,")));
    QVERIFY(written.contains(QStringLiteral(",''=kept,")));
    QVERIFY(written.contains(QStringLiteral(",it's,")));
    SystemDirFixture to;
    db::Connection target;
    to.CreateDatabase(target);
    QCOMPARE(Import(target, csv).problemCount, 0);
    for (int i = 0; i < texts.size(); ++i)
        QCOMPARE(StoredValue(target, i + 1, QStringLiteral("公司名称")).toString(), texts[i]);
}

void TestExchange::importWorkbooks_data() {
    QTest::addColumn<QString>("code"); // Python that writes the workbook, see MakeWorkbook
    QTest::addColumn<QString>("sheet");
    QTest::addColumn<int>("added");           // -1: the file is refused
    QTest::addColumn<QVariantMap>("company"); // accepted: the first new company's values
    QTest::addColumn<int>("line");            // refused: where the first problem is
    QTest::addColumn<QString>("column");      // and its column
    QTest::addColumn<QString>("value");       // and its value
    QTest::addColumn<QString>("reasonSays");  // and a word its reason has

    const QString none;
    const QString header = QStringLiteral("['公司名称', 'Tank_No']");
    QTest::newRow("texts, numbers, gaps")
        << OpenpyxlBook("['公司名称', '国家', 'tel', 'fax', 'Tank_No', 'Tank_Dwt', 'Bulk_NO'],"
                        "['中远海运', None, 302105556, '007', 12, 120000.0, None],"
                        "[], ['B', '中国']")
        << none << 2
        << QVariantMap{{"公司名称", "中远海运"}, {"国家", ""},      {"tel", "302105556"},
                       {"fax", "007"},           {"Tank_No", "12"}, {"Tank_Dwt", "120000"},
                       {"Bulk_NO", ""}}
        << 0 << none << none << none;
    QTest::newRow("sheet chosen by name")
        << QStringLiteral("book = openpyxl.Workbook()\n"
                          "book.active.append(['no such column'])\n"
                          "other = book.create_sheet('船东')\n"
                          "other.append(['国家', '公司名称'])\n"
                          "other.append(['希腊', '蓝星航运'])\n"
                          "book.save(path)\n")
        << QStringLiteral("船东") << 1 << QVariantMap{{"公司名称", "蓝星航运"}, {"国家", "希腊"}}
        << 0 << none << none << none;
    QTest::newRow("no sheet of the name")
        << OpenpyxlBook(header + ", ['A', 1]") << QStringLiteral("船舶") << -1 << QVariantMap() << 0
        << none << none << QStringLiteral("船东");
    QTest::newRow("true/false value") << OpenpyxlBook(header + ", ['A', 1], ['B', True]") << none
                                      << -1 << QVariantMap() << 3 << "B"
                                      << "TRUE" << QStringLiteral("true/false");
    QTest::newRow("date") << OpenpyxlBook(header + ", ['A', datetime.date(2024, 3, 1)]") << none
                          << -1 << QVariantMap() << 2 << "B"
                          << "2024-03-01" << QStringLiteral("date");
    QTest::newRow("error value") << OpenpyxlBook(header + ", ['A', '#DIV/0!']") << none << -1
                                 << QVariantMap() << 2 << "B"
                                 << "#DIV/0!" << QStringLiteral("error");
    QTest::newRow("fraction in a number column")
        << OpenpyxlBook(header + ", ['A', 1.5]") << none << -1 << QVariantMap() << 2 << "Tank_No"
        << "1.5" << QStringLiteral("whole");
    QTest::newRow("empty sheet") << OpenpyxlBook(QString()) << none << -1 << QVariantMap() << 1
                                 << none << none << QStringLiteral("empty");
    QTest::newRow("not a zip archive")
        << QStringLiteral("open(path, 'w').write('公司名称\\nA\\n')") << none << -1 << QVariantMap()
        << 0 << none << none << QStringLiteral("zip");
    QTest::newRow("empty file") << QStringLiteral("open(path, 'w')") << none << -1 << QVariantMap()
                                << 0 << none << none << QStringLiteral("zip");
    // What Excel writes and openpyxl does not: inline texts, rich-text runs with a phonetic
    // guide, escaped carriage returns, a number in exponent form, a formula's text, cells
    // without references, a custom date format.
    const QString handmade = QStringLiteral(
        "handmade(path, '<row r=\"1\"><c r=\"A1\" t=\"inlineStr\"><is><t>公司名称</t></is></c>"
        "<c r=\"B1\" t=\"inlineStr\"><is><r><t>adr</t></r><r><t>ress</t></r></is></c>"
        "<c t=\"inlineStr\"><is><t>Tank_Dwt</t></is></c><c t=\"inlineStr\"><is><t>tel</t>"
        "</is></c><c t=\"inlineStr\"><is><t>Other_Dwt</t></is></c></row>"
        "<row r=\"4\"><c r=\"A4\" t=\"s\"><v>0</v></c><c r=\"B4\" t=\"s\"><v>1</v></c>"
        "<c r=\"C4\"><v>1.2E+05</v></c><c r=\"D4\" t=\"str\"><f>A1</f><v>+30 210</v></c>"
        "<c r=\"E4\" s=\"%1\"><v>-5</v></c></row>', "
        "shared='<si><r><t>远洋</t></r><r><rPr><b/></rPr><t xml:space=\"preserve\">海运 </t>"
        "</r><rPh><t>yuanyang</t></rPh></si><si><t>Piraeus_x000D_\\nAkti</t></si>', "
        "styles='<numFmts><numFmt numFmtId=\"164\" formatCode=\"[Red]0;&quot;d&quot;0\"/>"
        "<numFmt numFmtId=\"165\" formatCode=\"yyyy&quot;年&quot;m&quot;月&quot;\"/>"
        "</numFmts><cellStyleXfs><xf numFmtId=\"165\"/></cellStyleXfs><cellXfs><xf "
        "numFmtId=\"0\"/><xf numFmtId=\"164\"/><xf numFmtId=\"165\"/></cellXfs>')");
    QTest::newRow("inline and rich texts, exponent") << handmade.arg(1) << none << 1
                                                     << QVariantMap{{"公司名称", "远洋海运"},
                                                                    {"adrress", "Piraeus\r\nAkti"},
                                                                    {"Tank_Dwt", "120000"},
                                                                    {"tel", "+30 210"},
                                                                    {"Other_Dwt", "-5"}}
                                                     << 0 << none << none << none;
    QTest::newRow("custom date format")
        << handmade.arg(2) << none << -1 << QVariantMap() << 4 << "E"
        << "1899-12-25" << QStringLiteral("date");
}

void TestExchange::importWorkbooks() {
    QFETCH(QString, code);
    QFETCH(QString, sheet);
    QFETCH(int, added);
    QFETCH(QVariantMap, company);
    QFETCH(int, line);
    QFETCH(QString, column);
    QFETCH(QString, value);
    QFETCH(QString, reasonSays);

    SystemDirFixture dir;
    db::Connection connection;
    dir.CreateDatabase(connection);
    InsertCompany(connection, {{"公司名称", QStringLiteral("stored")}, {"Tank_No", 3}});
    const QList<QVariantList> before = StoredRows(connection);
    const QString path = QDir(dir.path()).filePath(QStringLiteral("in.XLSX"));
    MakeWorkbook(path, code);

    exchange::ImportOptions options;
    options.sheet = sheet;
    const exchange::ImportResult result = exchange::ImportCsv(connection, path, options);
    if (added < 0) {
        QVERIFY(result.problemCount > 0);
        const exchange::ImportProblem& problem = result.problems.first();
        QCOMPARE(problem.line, line);
        QCOMPARE(problem.column, column);
        QCOMPARE(problem.value, value);
        QVERIFY2(problem.reason.contains(reasonSays), qPrintable(problem.reason));
        QVERIFY(!result.written);
        QCOMPARE(StoredRows(connection), before);
        return;
    }
    QVERIFY2(result.problemCount == 0,
             qPrintable(result.problems.isEmpty() ? QString() : result.problems[0].reason));
    QCOMPARE(result.added, added);
    if (!sheet.isEmpty())
        QCOMPARE(result.sheet, sheet);
    QCOMPARE(RowCount(connection), 1 + added);
    for (auto it = company.constBegin(); it != company.constEnd(); ++it)
        QCOMPARE(StoredValue(connection, 2, it.key()).toString(), it.value().toString());
}

void TestExchange::roundTripKeepsEveryValue_data() {
    QTest::addColumn<int>("format");
    QTest::newRow("CSV") << int(exchange::FileFormat::Csv);
    QTest::newRow("Excel") << int(exchange::FileFormat::Xlsx);
}

void TestExchange::roundTripKeepsEveryValue() {
    QFETCH(int, format);
    SystemDirFixture source;
    db::Connection from;
    source.CreateDatabase(from);
    FillAwkwardDirectory(from);
    const QString csv = QDir(source.path()).filePath(QStringLiteral("all.csv"));
    QCOMPARE(exchange::ExportDirectory(from, csv, exchange::FileFormat::Csv), 3);
    const QString xlsx = QDir(source.path()).filePath(QStringLiteral("all.xlsx"));
    QCOMPARE(exchange::ExportDirectory(from, xlsx, exchange::FileFormat::Xlsx), 3);

    SystemDirFixture target;
    db::Connection to;
    target.CreateDatabase(to);
    const exchange::ImportResult result =
        Import(to, format == int(exchange::FileFormat::Xlsx) ? xlsx : csv);
    QCOMPARE(result.problemCount, 0);
    QCOMPARE(result.added, 3);

    // Every value comes back as stored; an empty CSV field in a text column is the empty text,
    // which the screens show as they show a null.
    QList<QVariantList> expected = StoredRows(from);
    for (QVariantList& row : expected)
        for (int column = 1; column <= 5; ++column)
            if (row[column].isNull())
                row[column] = QString();
    const QList<QVariantList> actual = StoredRows(to);
    QCOMPARE(actual.size(), expected.size());
    for (int i = 0; i < actual.size(); ++i)
        for (int column = 0; column < actual[i].size(); ++column) {
            QCOMPARE(actual[i][column].isNull(), expected[i][column].isNull());
            QCOMPARE(actual[i][column].toString(), expected[i][column].toString());
        }
    QCOMPARE(StoredValue(to, 3, QStringLiteral("公司名称")).toString(), kAwkwardName);

    const QString again = QDir(target.path()).filePath(QStringLiteral("again.csv"));
    exchange::ExportDirectory(to, again, exchange::FileFormat::Csv);
    QCOMPARE(ReadBytes(again), ReadBytes(csv));
    // New companies after imported ids get ids above them, never one in use.
    QCOMPARE(InsertCompany(to, {{"公司名称", QStringLiteral("next")}}), 2000000001);
}

void TestExchange::editedExportImportsAsEdited() {
    SystemDirFixture dir;
    db::Connection connection;
    dir.CreateDatabase(connection);
    FillAwkwardDirectory(connection);
    const QString csv = QDir(dir.path()).filePath(QStringLiteral("edit.csv"));
    exchange::ExportDirectory(connection, csv, exchange::FileFormat::Csv);

    // As a spreadsheet user edits it: one value changed, one row without id, one with a new id.
    QByteArray text = ReadBytes(csv);
    text.replace("+30 210 556", "+30 210 999");
    text += ",New Co,,,,,,,,,,,,,,,,1\r\n";
    text += "50000,Given Id Co,,,,,,,,,,,,,,,,\r\n";
    WriteBytes(csv, text);

    const exchange::ImportResult result = Import(connection, csv);
    QCOMPARE(result.problemCount, 0);
    QCOMPARE(result.updated, 3);
    QCOMPARE(result.added, 2);
    QCOMPARE(StoredValue(connection, 3, QStringLiteral("tel")).toString(),
             QStringLiteral("+30 210 999"));
    QCOMPARE(StoredValue(connection, 3, QStringLiteral("公司名称")).toString(), kAwkwardName);
    QCOMPARE(StoredValue(connection, 50000, QStringLiteral("公司名称")).toString(),
             QStringLiteral("Given Id Co"));
    QCOMPARE(StoredValue(connection, 2000000001, QStringLiteral("Other_Dwt")).toLongLong(), 1);

    // Columns left out of a file stay as they are on updated rows and null on new ones.
    WriteBytes(csv, "ID,Tel\r\n3,+1\r\n,+2\r\n");
    QCOMPARE(Import(connection, csv).problemCount, 0);
    QCOMPARE(StoredValue(connection, 3, QStringLiteral("tel")).toString(), QStringLiteral("+1"));
    QCOMPARE(StoredValue(connection, 3, QStringLiteral("Tank_No")).toLongLong(), 7);
    QVERIFY(StoredValue(connection, 2000000002, QStringLiteral("公司名称")).isNull());
}

void TestExchange::badLastRowWritesNothing() {
    SystemDirFixture dir;
    db::Connection connection;
    dir.CreateDatabase(connection);
    FillAwkwardDirectory(connection);
    const QString csv = QDir(dir.path()).filePath(QStringLiteral("bad.csv"));
    QByteArray text("id,公司名称,Tank_No\n3,changed,1\n,new,2\n");
    // Enough rows that some reach the store before the bad one is read.
    for (int i = 0; i < 5000; ++i)
        text += QByteArray::number(100 + i) + ",more," + QByteArray::number(i) + "\n";
    text += ",last,two\n";
    WriteBytes(csv, text);
    const QByteArray before = DirectoryBytes(connection, dir.databasePath());
    const QList<QVariantList> rowsBefore = StoredRows(connection);

    const exchange::ImportResult dry = Import(connection, csv, true);
    const exchange::ImportResult result = Import(connection, csv);
    for (const exchange::ImportResult& run : {dry, result}) {
        QCOMPARE(run.problemCount, 1);
        QCOMPARE(run.problems.first().line, 5004);
        QVERIFY(!run.written);
    }
    QCOMPARE(StoredRows(connection), rowsBefore);
    QCOMPARE(DirectoryBytes(connection, dir.databasePath()), before);

    // The same file without the bad row: the dry run counts, writes nothing; the import writes.
    text.chop(QByteArray(",last,two\n").size());
    WriteBytes(csv, text);
    const exchange::ImportResult counted = Import(connection, csv, true);
    QCOMPARE(counted.problemCount, 0);
    QCOMPARE(counted.updated, 1);
    QCOMPARE(counted.added, 5001);
    QCOMPARE(StoredRows(connection), rowsBefore);
    QCOMPARE(DirectoryBytes(connection, dir.databasePath()), before);
    QCOMPARE(Import(connection, csv).added, 5001);
    QCOMPARE(RowCount(connection), 5004);
}

void TestExchange::storeFailureWritesNothing() {
    SystemDirFixture dir;
    db::Connection connection;
    dir.CreateDatabase(connection);
    FillAwkwardDirectory(connection);
    // The store refuses the last row only when it is written.
    RefuseCompaniesNamedRefused(connection, true);
    const QString csv = QDir(dir.path()).filePath(QStringLiteral("refused.csv"));
    WriteBytes(csv, "id,公司名称\n3,changed\n,new\n,refused\n");
    const QByteArray before = DirectoryBytes(connection, dir.databasePath());
    const QList<QVariantList> rowsBefore = StoredRows(connection);
    QVERIFY_THROWS_EXCEPTION(db::Error, Import(connection, csv));
    QCOMPARE(StoredRows(connection), rowsBefore);
    QCOMPARE(DirectoryBytes(connection, dir.databasePath()), before);
    // The connection is usable afterwards: no transaction was left open.
    RefuseCompaniesNamedRefused(connection, false);
    QCOMPARE(Import(connection, csv).added, 2);
}

void TestExchange::listsTwentyProblems() {
    SystemDirFixture dir;
    db::Connection connection;
    dir.CreateDatabase(connection);
    const QString csv = QDir(dir.path()).filePath(QStringLiteral("many.csv"));
    QByteArray text("Tank_No\n");
    for (int i = 0; i < 25; ++i)
        text += "n" + QByteArray::number(i) + "\n";
    WriteBytes(csv, text);
    const exchange::ImportResult result = Import(connection, csv);
    QCOMPARE(result.problemCount, 25);
    QCOMPARE(result.problems.size(), exchange::kMaxListedProblems);
    QCOMPARE(result.problems.last().line, 21);
    QCOMPARE(result.problems.last().value, QStringLiteral("n19"));
}

void TestExchange::likelyDuplicatesRefuseTheFile_data() {
    // The directory holds one company, COSCO in 中国; "line N: stored" is a new company like
    // it, "line N: line M" one like the new company on line M.
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QStringList>("duplicates");
    QTest::newRow("like the stored company")
        << QByteArray("公司名称,国家\nOther,中国\nＣＯＳＣＯ　,中国\n")
        << QStringList{"line 3: stored"};
    QTest::newRow("like an earlier new company")
        << QByteArray("国家,公司名称\n希腊,Blue Line\n中国,New\n希腊, blue  line\n希腊,BLUE LINE\n")
        << QStringList{"line 4: line 2", "line 5: line 2"};
    QTest::newRow("in another country")
        << QByteArray("公司名称,国家\ncosco,新加坡\n") << QStringList{};
    QTest::newRow("rows with an id are not checked")
        << QByteArray("id,公司名称,国家\n1,cosco,中国\n900,COSCO,中国\n") << QStringList{};
    QTest::newRow("no name") << QByteArray("公司名称,国家\n,中国\n\u3000,中国\n") << QStringList{};
    QTest::newRow("no name column") << QByteArray("国家\n中国\n中国\n") << QStringList{};
}

void TestExchange::likelyDuplicatesRefuseTheFile() {
    QFETCH(QByteArray, file);
    QFETCH(QStringList, duplicates);
    SystemDirFixture dir;
    db::Connection connection;
    dir.CreateDatabase(connection);
    const qint64 stored =
        InsertCompany(connection, {{"公司名称", QStringLiteral("COSCO")}, {"国家", "中国"}});
    const QString csv = QDir(dir.path()).filePath(QStringLiteral("new.csv"));
    WriteBytes(csv, file);
    const QByteArray before = DirectoryBytes(connection, dir.databasePath());
    const QList<QVariantList> rowsBefore = StoredRows(connection);

    const exchange::ImportResult dry = Import(connection, csv, true);
    const exchange::ImportResult refused = Import(connection, csv);
    for (const exchange::ImportResult& run : {dry, refused}) {
        QCOMPARE(run.problemCount, 0);
        QStringList found;
        for (const exchange::ImportDuplicate& duplicate : run.duplicates) {
            QCOMPARE(duplicate.storedId == 0, duplicate.earlierLine != 0);
            QCOMPARE(duplicate.storedId == 0 || duplicate.storedId == stored, true);
            found << QStringLiteral("line %1: %2")
                         .arg(duplicate.line)
                         .arg(duplicate.storedId
                                  ? QStringLiteral("stored")
                                  : QStringLiteral("line %1").arg(duplicate.earlierLine));
        }
        QCOMPARE(found, duplicates);
        QCOMPARE(run.duplicateCount, duplicates.size());
    }
    QCOMPARE(refused.written, duplicates.isEmpty());
    if (duplicates.isEmpty())
        return;
    QCOMPARE(StoredRows(connection), rowsBefore);
    QCOMPARE(DirectoryBytes(connection, dir.databasePath()), before);

    exchange::ImportOptions allowed;
    allowed.allowDuplicates = true;
    const exchange::ImportResult result = exchange::ImportCsv(connection, csv, allowed);
    QVERIFY(result.written);
    QCOMPARE(result.duplicateCount, duplicates.size());
    QCOMPARE(RowCount(connection), 1 + result.added);
}

void TestExchange::toolRefusesTheSameNewCompaniesTwice() {
    SystemDirFixture dir;
    {
        db::Connection connection;
        dir.CreateDatabase(connection);
    }
    const QString csv = QDir(dir.path()).filePath(QStringLiteral("new.csv"));
    WriteBytes(csv, "公司名称,国家,tel\n中远海运,中国,1\nBlue Line,希腊,2\n");
    QCOMPARE(RunTool(dir.path(), {"import", csv}).exitCode, 0);
    QCOMPARE(RunTool(dir.path(), {"duplicates"}).out, QStringLiteral("no likely duplicates\n"));

    WriteBytes(csv, "公司名称,国家,tel\n中远海运,中国,1\nBlue Line,希腊,2\nNew Line,希腊,3\n"
                    "ＢＬＵＥ ＬＩＮＥ,希腊,4\n");
    db::Connection connection;
    dir.OpenAnother(connection);
    const QByteArray before = DirectoryBytes(connection, dir.databasePath());
    const QList<QVariantList> rowsBefore = StoredRows(connection);
    const QString listed =
        QStringLiteral(
            "%1: line 2, name \"中远海运\", country \"中国\": likely a duplicate of id 1\n"
            "%1: line 3, name \"Blue Line\", country \"希腊\": likely a duplicate of id 2\n"
            "%1: line 5, name \"ＢＬＵＥ ＬＩＮＥ\", country \"希腊\": likely a duplicate of "
            "id 2\n")
            .arg(csv);
    const QString refusal =
        QStringLiteral("3 likely duplicates in %1; nothing was written (--allow-duplicates imports "
                       "them)\n")
            .arg(csv);
    for (const QStringList& arguments :
         {QStringList{"import", csv}, {"import", csv, "--dry-run"}}) {
        const ToolRun run = RunTool(dir.path(), arguments);
        QCOMPARE(run.exitCode, 1);
        QCOMPARE(run.err, listed);
        QCOMPARE(run.out, refusal);
    }
    QCOMPARE(StoredRows(connection), rowsBefore);
    QCOMPARE(DirectoryBytes(connection, dir.databasePath()), before);

    const ToolRun allowed = RunTool(dir.path(), {"import", csv, "--allow-duplicates"});
    QCOMPARE(allowed.exitCode, 0);
    QCOMPARE(allowed.err, listed);
    QVERIFY2(allowed.out.startsWith(QLatin1String("added 4 companies and updated 0 companies")),
             qPrintable(allowed.out));
    // Among stored companies alike, a new one is said to be like the first.
    QVERIFY(RunTool(dir.path(), {"import", csv, "--dry-run"})
                .err.startsWith(listed.section(QLatin1Char('\n'), 0, 0)));
    const ToolRun groups = RunTool(dir.path(), {"duplicates"});
    QCOMPARE(groups.exitCode, 0);
    QCOMPARE(
        groups.out,
        QStringLiteral("1\t中远海运\t中国\n3\t中远海运\t中国\n\n"
                       "2\tBlue Line\t希腊\n4\tBlue Line\t希腊\n6\tＢＬＵＥ ＬＩＮＥ\t希腊\n"));
}

void TestExchange::excelFileAsAReaderSeesIt() {
    SystemDirFixture dir;
    db::Connection connection;
    dir.CreateDatabase(connection);
    FillAwkwardDirectory(connection);
    const QString xlsx = QDir(dir.path()).filePath(QStringLiteral("all.xlsx"));
    QCOMPARE(exchange::ExportDirectory(connection, xlsx, exchange::FileFormat::Xlsx), 3);

    // Debian's openpyxl reads the file; it reports each cell's value and type.
    QProcess reader;
    reader.start(QStringLiteral("/usr/bin/python3"), {QStringLiteral("-c"), QStringLiteral(R"(
import json, sys, openpyxl
book = openpyxl.load_workbook(sys.argv[1])
sheet = book.active
print(json.dumps({
    "sheets": book.sheetnames,
    "freeze": sheet.freeze_panes,
    "bold": [c.font.b for c in sheet[1]] + [c.font.b for c in sheet[2]],
    "rows": [[[c.value, c.data_type] for c in row] for row in sheet.iter_rows()],
    "widths": [sheet.column_dimensions[c].width for c in "ABCDEFGHIJKLMNOPQR"],
}))
)"),
                                                      xlsx});
    QVERIFY(reader.waitForFinished(60000));
    QCOMPARE(reader.exitCode(), 0);
    const QJsonObject book = QJsonDocument::fromJson(reader.readAllStandardOutput()).object();
    QCOMPARE(book["sheets"].toArray(), QJsonArray{"Orvandel"});
    QCOMPARE(book["freeze"].toString(), QStringLiteral("A2"));
    const QJsonArray bold = book["bold"].toArray();
    for (int i = 0; i < bold.size(); ++i)
        QCOMPARE(bold[i].toBool(), i < 18);

    const QJsonArray rows = book["rows"].toArray();
    QCOMPARE(rows.size(), 4);
    QCOMPARE(rows[0].toArray()[1].toArray()[0].toString(), QStringLiteral("公司名称"));
    auto cell = [&rows](int row, int column) { return rows[row].toArray()[column].toArray(); };
    QCOMPARE(cell(1, 0), (QJsonArray{3, "n"}));
    QCOMPARE(cell(1, 1), (QJsonArray{kAwkwardName, "s"}));
    QCOMPARE(cell(1, 4), (QJsonArray{"+30 210 556", "s"}));
    QCOMPARE(cell(1, 6), (QJsonArray{7, "n"}));
    QCOMPARE(cell(1, 17), (QJsonArray{-5, "n"}));
    // Beyond what a spreadsheet number holds exactly, the digits stay as text.
    QCOMPARE(cell(1, 7), (QJsonArray{"4611686018427387904", "s"}));
    QCOMPARE(cell(2, 0), (QJsonArray{40000, "n"}));
    QCOMPARE(cell(2, 4), (QJsonArray{"007", "s"}));
    QCOMPARE(cell(2, 8), (QJsonArray{0, "n"}));
    QVERIFY(cell(2, 9)[0].isNull());
    QCOMPARE(cell(3, 0), (QJsonArray{2000000000, "n"}));

    // Widths follow the content: the address column fits "Piraeus" lines, the country column
    // its two-character names (four widths), the id column ten digits.
    const QJsonArray widths = book["widths"].toArray();
    QVERIFY(widths[3].toDouble() > widths[2].toDouble());
    QVERIFY(widths[0].toDouble() >= 10);
    QVERIFY(widths[2].toDouble() >= 4 && widths[2].toDouble() < 10);
}

void TestExchange::failedExportLeavesTheOldFile() {
    SystemDirFixture dir;
    db::Connection connection;
    dir.CreateDatabase(connection);
    FillAwkwardDirectory(connection);
    const QString xlsx = QDir(dir.path()).filePath(QStringLiteral("keep.xlsx"));
    WriteBytes(xlsx, "the user's old file");
    // Excel takes at most 32,767 characters in a cell.
    InsertCompany(connection, {{"公司名称", QString(40000, QLatin1Char('x'))}});
    try {
        exchange::ExportDirectory(connection, xlsx, exchange::FileFormat::Xlsx);
        QFAIL("the export did not fail");
    } catch (const exchange::FileError& error) {
        QCOMPARE(error.kind(), exchange::FileError::TooLongForExcel);
    }
    QCOMPARE(ReadBytes(xlsx), QByteArray("the user's old file"));
    QStringList left = QDir(dir.path()).entryList(QDir::Files | QDir::Hidden);
    // The open directory file's own log files are not the export's.
    left.removeAll(QStringLiteral("shipall.bcd-wal"));
    left.removeAll(QStringLiteral("shipall.bcd-shm"));
    QCOMPARE(left,
             (QStringList{"keep.xlsx", connection.IsServer() ? "server.conf" : "shipall.bcd"}));

    // The cause in words, for each format.
    for (const auto format : {exchange::FileFormat::Csv, exchange::FileFormat::Xlsx}) {
        const QString missing = QDir(dir.path()).filePath(QStringLiteral("no/such/folder/x"));
        try {
            exchange::ExportDirectory(connection, missing, format);
            QFAIL("the export did not fail");
        } catch (const exchange::FileError& error) {
            QCOMPARE(error.kind(), exchange::FileError::CannotWrite);
            QVERIFY2(
                QString::fromStdString(error.what()).endsWith(QStringLiteral("does not exist")),
                error.what());
        }
    }
}

void TestExchange::toolCommands() {
    SystemDirFixture dir;
    {
        db::Connection connection;
        dir.CreateDatabase(connection);
        FillAwkwardDirectory(connection);
    }
    const QString csv = QDir(dir.path()).filePath(QStringLiteral("tool.csv"));
    ToolRun run = RunTool(dir.path(), {"export", csv});
    QCOMPARE(run.exitCode, 0);
    QVERIFY(run.err.contains(QLatin1String("3 companies")));
    QVERIFY(ReadBytes(csv).startsWith("\xEF\xBB\xBFid,"));
    QCOMPARE(RunTool(dir.path(), {"export", QDir(dir.path()).filePath("x.txt")}).exitCode, 2);
    // An existing file is kept unless replacing it is asked for.
    const QByteArray first = ReadBytes(csv);
    WriteBytes(csv, "mine");
    run = RunTool(dir.path(), {"export", csv});
    QCOMPARE(run.exitCode, 1);
    QVERIFY2(run.err.contains(QLatin1String("exists; give --force")), qPrintable(run.err));
    QCOMPARE(ReadBytes(csv), QByteArray("mine"));
    QCOMPARE(RunTool(dir.path(), {"find", "--output", csv}).exitCode, 2);
    QCOMPARE(RunTool(dir.path(), {"export", csv, "--force"}).exitCode, 0);
    QCOMPARE(ReadBytes(csv), first);

    run = RunTool(dir.path(), {"import", csv, "--dry-run"});
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(run.out,
             QStringLiteral("would add 0 companies and update 3 companies (%1 read as UTF-8); "
                            "nothing was written (--dry-run)\n")
                 .arg(csv));
    // Progress goes to a terminal only: here stderr is a pipe.
    QVERIFY(!run.err.contains(QLatin1Char('\r')));

    WriteBytes(csv, "公司名称,Chem_No\nA,1\nB,x\nC,y\n");
    run = RunTool(dir.path(), {"import", csv});
    QCOMPARE(run.exitCode, 1);
    QCOMPARE(run.out, QStringLiteral("2 problems in %1; nothing was written\n").arg(csv));
    QVERIFY(run.err.contains(QStringLiteral("line 3, column Chem_No, value \"x\"")));
    QVERIFY(run.err.contains(QStringLiteral("line 4, column Chem_No, value \"y\"")));

    WriteBytes(csv, "公司名称,Chem_No\nA,1\n");
    run = RunTool(dir.path(), {"import", csv, "--encoding", "no-such-encoding"});
    QCOMPARE(run.exitCode, 1);
    QVERIFY(run.err.contains(QLatin1String("no-such-encoding")));
    run = RunTool(dir.path(), {"import", csv});
    QCOMPARE(run.exitCode, 0);
    QVERIFY(run.out.startsWith(QLatin1String("added 1 company and updated 0 companies")));
    db::Connection connection;
    dir.OpenAnother(connection);
    QCOMPARE(RowCount(connection), 4);
}

void TestExchange::toolImportsAWorkbook() {
    SystemDirFixture dir;
    {
        db::Connection connection;
        dir.CreateDatabase(connection);
    }
    const QString xlsx = QDir(dir.path()).filePath(QStringLiteral("offices.xlsx"));
    MakeWorkbook(xlsx, QStringLiteral("book = openpyxl.Workbook()\n"
                                      "book.active.title = '说明'\n"
                                      "book.active.append(['说明'])\n"
                                      "other = book.create_sheet('船东')\n"
                                      "other.append(['公司名称', 'tel'])\n"
                                      "other.append(['远洋海运', 302105556])\n"
                                      "book.save(path)\n"));
    QCOMPARE(RunTool(dir.path(), {"import", xlsx, "--encoding", "GB18030"}).exitCode, 2);
    const QString csv = QDir(dir.path()).filePath(QStringLiteral("offices.csv"));
    WriteBytes(csv, "公司名称\nA\n");
    QCOMPARE(RunTool(dir.path(), {"import", csv, "--sheet", "船东"}).exitCode, 2);

    ToolRun run = RunTool(dir.path(), {"import", xlsx});
    QCOMPARE(run.exitCode, 1);
    QVERIFY2(run.err.contains(QStringLiteral("line 1, column 说明")), qPrintable(run.err));
    run = RunTool(dir.path(), {"import", xlsx, "--sheet", "船舶"});
    QCOMPARE(run.exitCode, 1);
    QVERIFY2(run.err.contains(QStringLiteral("no sheet named 船舶; its sheets are 说明, 船东")),
             qPrintable(run.err));
    run = RunTool(dir.path(), {"import", xlsx, "--sheet", "船东"});
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(
        run.out,
        QStringLiteral("added 1 company and updated 0 companies (sheet 船东 of %1)\n").arg(xlsx));
    db::Connection connection;
    dir.OpenAnother(connection);
    QCOMPARE(StoredValue(connection, 1, QStringLiteral("tel")).toString(),
             QStringLiteral("302105556"));
}

namespace {
// A file of new companies (no ids) that fills more than one of the import's slices of rows.
QString ManyNewCompanies(const SystemDirFixture& dir) {
    const QString csv = QDir(dir.path()).filePath(QStringLiteral("many.csv"));
    QByteArray text("公司名称,Tank_No\n");
    for (int i = 0; i < 4500; ++i)
        text += "company " + QByteArray::number(i) + "," + QByteArray::number(i) + "\n";
    WriteBytes(csv, text);
    return csv;
}
} // namespace

void TestExchange::progressClimbsToAHundredOnce() {
    SystemDirFixture dir;
    db::Connection connection;
    dir.CreateDatabase(connection);
    QList<int> reported;
    exchange::ImportOptions options;
    options.progress = [&reported](int percent) { reported << percent; };
    QCOMPARE(exchange::ImportCsv(connection, ManyNewCompanies(dir), options).added, 4500);
    QVERIFY(!reported.isEmpty());
    for (int i = 0; i < reported.size(); ++i) {
        QVERIFY2(reported[i] >= 0 && reported[i] <= 100, qPrintable(QString::number(reported[i])));
        if (i > 0)
            QVERIFY2(reported[i] > reported[i - 1], "the percentage went back or stood still");
    }
    QCOMPARE(reported.last(), 100);
}

// From the first moment of an import another writer waits, so that the ids the import found
// stored stay so until it ends.
void TestExchange::importHoldsTheWriteLockFromItsStart() {
    SystemDirFixture dir;
    db::Connection connection;
    dir.CreateDatabase(connection);
    db::Connection other;
    dir.OpenAnother(other);
    // Short, and not 0, which on the server means waiting for ever.
    other.SetBusyTimeout(200);
    bool tried = false;
    QString refusal;
    int refusalKind = -1;
    exchange::ImportOptions options;
    options.progress = [&](int) {
        if (tried)
            return;
        tried = true; // at the first report, while the file is still being read
        try {
            InsertCompany(other, {{QStringLiteral("公司名称"), QStringLiteral("meanwhile")}});
        } catch (const db::Error& error) {
            refusal = error.details();
            refusalKind = int(error.kind());
        }
    };
    int added = -1;
    QString importFailure;
    try {
        added = exchange::ImportCsv(connection, ManyNewCompanies(dir), options).added;
    } catch (const db::Error& error) {
        importFailure = error.details();
    }
    QVERIFY(tried);
    QVERIFY2(!refusal.isEmpty(), "another writer wrote while the import read its file");
    QCOMPARE(refusalKind, int(db::ErrorKind::Busy));
    QVERIFY2(importFailure.isEmpty(), qPrintable(importFailure));
    QCOMPARE(added, 4500);
    QCOMPARE(RowCount(connection), 4500);
}

QTEST_GUILESS_MAIN(TestExchange)
#include "tst_exchange.moc"
