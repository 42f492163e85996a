#include "data/ShipOwnerTable.h"

#include <QtTest>

class TestShipOwnerTable : public QObject {
    Q_OBJECT
private slots:
    void listStatement_data();
    void listStatement();
    void recordAndDeleteStatements();
    void trimSpaces_data();
    void trimSpaces();
    void valueText_data();
    void valueText();
    void schemaHasTheStoredColumnNames();
};

void TestShipOwnerTable::listStatement_data() {
    QTest::addColumn<QString>("company");
    QTest::addColumn<QString>("country");
    QTest::addColumn<QString>("expected");
    const QString head =
        QStringLiteral("select 公司名称,国家,adrress,tel,id from Orvandel where 1=1 ");
    const QString tail = QStringLiteral(" order by id desc ");
    QTest::newRow("no filter") << ""
                               << "" << head + tail;
    QTest::newRow("both filters")
        << "航运"
        << "希腊"
        << QStringLiteral("select 公司名称,国家,adrress,tel,id from Orvandel where 1=1  and  "
                          "公司名称 like '%航运%' and  国家 like '%希腊%' order by id desc ");
    QTest::newRow("company only") << "航运"
                                  << "" << head + " and  公司名称 like '%航运%'" + tail;
    QTest::newRow("country only") << ""
                                  << "希腊" << head + " and  国家 like '%希腊%'" + tail;
    QTest::newRow("spaces only") << "   "
                                 << " " << head + tail;
    QTest::newRow("ideographic spaces only")
        << QStringLiteral("\u3000 \u3000") << "" << head + tail;
    QTest::newRow("filter trimmed")
        << QStringLiteral("\u3000 海运 ") << "" << head + " and  公司名称 like '%海运%'" + tail;
    QTest::newRow("inner space kept") << "Blue Star"
                                      << "" << head + " and  公司名称 like '%Blue Star%'" + tail;
    QTest::newRow("apostrophe doubled") << "O'Brien"
                                        << "" << head + " and  公司名称 like '%O''Brien%'" + tail;
    QTest::newRow("apostrophe cannot end the literal")
        << "x' or '1'='1"
        << "" << head + " and  公司名称 like '%x'' or ''1''=''1%'" + tail;
    QTest::newRow("percent stays a wildcard")
        << "航%公司"
        << "" << head + " and  公司名称 like '%航%公司%'" + tail;
    QTest::newRow("tab kept") << "\t航运"
                              << "" << head + " and  公司名称 like '%\t航运%'" + tail;
}

void TestShipOwnerTable::listStatement() {
    QFETCH(QString, company);
    QFETCH(QString, country);
    QFETCH(QString, expected);
    QCOMPARE(shipowner::ListStatement(company, country), expected);
}

void TestShipOwnerTable::recordAndDeleteStatements() {
    QCOMPARE(shipowner::RecordStatement(-1), QStringLiteral("select * from Orvandel where id=-1"));
    QCOMPARE(shipowner::RecordStatement(42), QStringLiteral("select * from Orvandel where id=42"));
    QCOMPARE(shipowner::RecordStatement(5000000000LL),
             QStringLiteral("select * from Orvandel where id=5000000000"));
    QCOMPARE(shipowner::DeleteStatement(32768),
             QStringLiteral("delete from Orvandel where id=32768"));
}

void TestShipOwnerTable::trimSpaces_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");
    QTest::newRow("empty") << ""
                           << "";
    QTest::newRow("spaces only") << "   "
                                 << "";
    QTest::newRow("both ends") << "  远洋 航运  "
                               << "远洋 航运";
    QTest::newRow("ideographic space") << QStringLiteral("\u3000远洋\u3000 ") << "远洋";
    QTest::newRow("tab and line break stay") << "\t远洋\n"
                                             << "\t远洋\n";
    QTest::newRow("space outside a tab") << " \t远洋 "
                                         << "\t远洋";
    QTest::newRow("ideographic spaces only") << QStringLiteral("\u3000 \u3000") << "";
    // U+3040 is E3 81 80 and U+7000 is E7 80 80: near U+3000 (E3 80 80) in bytes, and they stay.
    QTest::newRow("look-alike bytes stay")
        << QStringLiteral("\u3040\u3000\u7000") << QStringLiteral("\u3040\u3000\u7000");
    QTest::newRow("characters outside the basic plane")
        << QStringLiteral("\u3000\U00020000 \U0001F6A2 ")
        << QStringLiteral("\U00020000 \U0001F6A2");
}

void TestShipOwnerTable::trimSpaces() {
    QFETCH(QString, text);
    QFETCH(QString, expected);
    QCOMPARE(shipowner::TrimSpaces(text), expected);
    // The same trimming on the text's UTF-8 bytes.
    const QByteArray utf8 = text.toUtf8();
    QCOMPARE(shipowner::TrimSpaces(QByteArrayView(utf8)).toByteArray(), expected.toUtf8());
}

void TestShipOwnerTable::valueText_data() {
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<QString>("expected");
    QTest::newRow("null") << QVariant() << "";
    QTest::newRow("whole number") << QVariant(qint64(25)) << "25";
    QTest::newRow("large number has no separators") << QVariant(qint64(1234567)) << "1234567";
    QTest::newRow("negative") << QVariant(qint64(-3)) << "-3";
    QTest::newRow("padded text") << QVariant(QStringLiteral("  希腊 ")) << "希腊";
    QTest::newRow("tab kept") << QVariant(QStringLiteral("\t希腊")) << "\t希腊";
}

void TestShipOwnerTable::valueText() {
    QFETCH(QVariant, value);
    QFETCH(QString, expected);
    QCOMPARE(shipowner::ValueText(value), expected);
}

void TestShipOwnerTable::schemaHasTheStoredColumnNames() {
    const QString ddl = shipowner::CreateTableStatement();
    QVERIFY(ddl.startsWith(QStringLiteral(
        "CREATE TABLE Orvandel (id INTEGER PRIMARY KEY AUTOINCREMENT, 公司名称 TEXT")));
    QVERIFY(ddl.contains(QStringLiteral("adrress TEXT")));
    QVERIFY(ddl.contains(QStringLiteral("Bulk_NO INTEGER")));
    QVERIFY(ddl.contains(QStringLiteral("fax TEXT, Tank_No INTEGER")));
    QCOMPARE(shipowner::Columns().size(), 18);
}

QTEST_APPLESS_MAIN(TestShipOwnerTable)
#include "tst_shipownertable.moc"
