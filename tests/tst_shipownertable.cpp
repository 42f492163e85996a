#include "data/DbError.h"
#include "data/PgEngine.h"
#include "data/ShipOwnerTable.h"
#include "data/SqliteEngine.h"

#include <QtTest>

class TestShipOwnerTable : public QObject {
    Q_OBJECT
private slots:
    void listStatement_data();
    void listStatement();
    void recordAndDeleteStatements();
    void serverStatementsCarryNoValue_data();
    void serverStatementsCarryNoValue();
    void namesThatAreNoPlainWordsAreRefused_data();
    void namesThatAreNoPlainWordsAreRefused();
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
    QCOMPARE(db::SqliteEngine::SelectText(shipowner::ListQuery(company, country)), expected);
}

void TestShipOwnerTable::recordAndDeleteStatements() {
    using db::SqliteEngine;
    using shipowner::RecordQuery;
    QCOMPARE(SqliteEngine::SelectText(RecordQuery(-1)),
             QStringLiteral("select * from Orvandel where id=-1"));
    QCOMPARE(SqliteEngine::SelectText(RecordQuery(42)),
             QStringLiteral("select * from Orvandel where id=42"));
    QCOMPARE(SqliteEngine::SelectText(RecordQuery(5000000000LL)),
             QStringLiteral("select * from Orvandel where id=5000000000"));
    QCOMPARE(SqliteEngine::DeleteText(RecordQuery(32768)),
             QStringLiteral("delete from Orvandel where id=32768"));
}

// On a server what the user typed travels as a bound value, never inside the statement.
void TestShipOwnerTable::serverStatementsCarryNoValue_data() {
    QTest::addColumn<QString>("company");
    QTest::addColumn<QString>("country");
    QTest::newRow("both") << "航运"
                          << "希腊";
    QTest::newRow("apostrophe") << "O'Brien"
                                << "";
    QTest::newRow("backslash and apostrophe") << "zzz\\' or 1=1 --"
                                              << "";
    QTest::newRow("dollar quote") << "$$; drop table Orvandel; $$"
                                  << "希腊";
}

void TestShipOwnerTable::serverStatementsCarryNoValue() {
    QFETCH(QString, company);
    QFETCH(QString, country);
    const db::PgEngine::Statement list =
        db::PgEngine::SelectStatement(shipowner::ListQuery(company, country));
    QVariantList expected;
    for (const QString& filter : {company, country}) {
        if (filter.isEmpty())
            continue;
        QVERIFY2(!list.text.contains(filter), qPrintable(list.text));
        expected.append(QLatin1Char('%') + filter + QLatin1Char('%'));
    }
    QCOMPARE(list.parameters, expected);
    const db::PgEngine::Statement removal =
        db::PgEngine::DeleteStatement(shipowner::RecordQuery(7));
    QVERIFY2(!removal.text.contains(QLatin1Char('7')), qPrintable(removal.text));
    QCOMPARE(removal.parameters, QVariantList{QVariant(qint64(7))});
}

void TestShipOwnerTable::namesThatAreNoPlainWordsAreRefused_data() {
    QTest::addColumn<QString>("name");
    QTest::newRow("statement") << "id; delete from Orvandel";
    QTest::newRow("quote") << "a\"b";
    QTest::newRow("blank") << "Tank No";
    QTest::newRow("leading digit") << "1a";
    QTest::newRow("empty") << "";
}

void TestShipOwnerTable::namesThatAreNoPlainWordsAreRefused() {
    QFETCH(QString, name);
    const db::Query asColumn = db::From(shipowner::kTable).Select({name});
    const db::Query asOrder = db::From(shipowner::kTable).OrderBy(name);
    const db::Query asTable = db::From(name);
    for (const db::Query& query : {asColumn, asOrder, asTable}) {
        QVERIFY_THROWS_EXCEPTION(db::Error, db::SqliteEngine::SelectText(query));
        QVERIFY_THROWS_EXCEPTION(db::Error, db::PgEngine::SelectStatement(query));
    }
    QCOMPARE(
        db::SqliteEngine::SelectText(db::From(shipowner::kTable).Select({"公司名称", "Tank_No"})),
        QStringLiteral("select 公司名称,Tank_No from Orvandel"));
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
