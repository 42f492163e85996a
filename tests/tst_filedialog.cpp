// The save dialog: the folder it opens in, and the words of its file list.
#include "platform/CommonControls.h"
#include "platform/FileDialog.h"

#include <QDir>
#include <QFileSystemModel>
#include <QTemporaryDir>
#include <QtTest>

namespace seam = platform::FileDialogSeam;
using platform::SaveFileChoice;

class TestFileDialog : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanup();
    void opensWhereTheUserLastSaved_data();
    void opensWhereTheUserLastSaved();
    void fileListSpeaksChinese_data();
    void fileListSpeaksChinese();
};

void TestFileDialog::initTestCase() {
    platform::SetUpApplication();
    qunsetenv("XDG_CONFIG_HOME"); // the documents folder is then ~/Documents
}

void TestFileDialog::cleanup() {
    seam::Release();
}

void TestFileDialog::opensWhereTheUserLastSaved_data() {
    // Each row has a home of its own, gone when the row ends: the folder an earlier row saved in
    // no longer exists.
    QTest::addColumn<bool>("documents"); // whether ~/Documents exists
    // Paths under the home chosen in dialogs before the last one; empty for a cancel.
    QTest::addColumn<QStringList>("chosen");
    QTest::addColumn<QString>("removed");  // a folder under the home removed before the last one
    QTest::addColumn<QString>("expected"); // where the last dialog opens, under the home
    QTest::newRow("first, no documents folder") << false << QStringList() << ""
                                                << "";
    QTest::newRow("first, documents folder") << true << QStringList() << ""
                                             << "Documents";
    QTest::newRow("after a save") << true << QStringList{"out/list.csv"} << ""
                                  << "out";
    QTest::newRow("after two saves") << true << QStringList{"out/list.csv", "Documents/a.pdf"} << ""
                                     << "Documents";
    QTest::newRow("a cancel keeps the folder") << false << QStringList{"out/list.csv", ""} << ""
                                               << "out";
    QTest::newRow("folder gone since") << true << QStringList{"out/list.csv"} << "out"
                                       << "Documents";
}

void TestFileDialog::opensWhereTheUserLastSaved() {
    QFETCH(bool, documents);
    QFETCH(QStringList, chosen);
    QFETCH(QString, removed);
    QFETCH(QString, expected);
    QTemporaryDir home;
    QVERIFY(home.isValid());
    const QByteArray oldHome = qgetenv("HOME");
    qputenv("HOME", QFile::encodeName(home.path()));
    QDir dir(home.path());
    QVERIFY(dir.mkpath(QStringLiteral("out")));
    if (documents)
        QVERIFY(dir.mkpath(QStringLiteral("Documents")));

    QList<SaveFileChoice> choices;
    for (const QString& path : chosen)
        choices.append({path.isEmpty() ? QString() : dir.filePath(path), 0});
    seam::Intercept(choices);
    for (int i = 0; i < chosen.size(); ++i)
        platform::GetSaveFileName(nullptr, QStringLiteral("导出"), {QStringLiteral("CSV (*.csv)")});
    if (!removed.isEmpty())
        QVERIFY(QDir(dir.filePath(removed)).removeRecursively());
    platform::GetSaveFileName(nullptr, QStringLiteral("导出"), {QStringLiteral("CSV (*.csv)")});
    qputenv("HOME", oldHome);
    const QList<seam::Asked> asked = seam::Taken();
    QCOMPARE(asked.size(), chosen.size() + 1);
    QCOMPARE(QDir::cleanPath(asked.last().folder), QDir::cleanPath(dir.filePath(expected)));
}

void TestFileDialog::fileListSpeaksChinese_data() {
    QTest::addColumn<int>("column");
    QTest::addColumn<QString>("header");
    QTest::newRow("name") << 0 << "名称";
    QTest::newRow("size") << 1 << "大小";
    QTest::newRow("type") << 2 << "类型";
    QTest::newRow("date") << 3 << "修改日期";
}

void TestFileDialog::fileListSpeaksChinese() {
    QFETCH(int, column);
    QFETCH(QString, header);
    // The dialog's detail view heads its columns with the file model's words.
    const QFileSystemModel model;
    QCOMPARE(model.headerData(column, Qt::Horizontal).toString(), header);
}

QTEST_MAIN(TestFileDialog)
#include "tst_filedialog.moc"
