// The system information launcher against system.reg fixtures, with small scripts standing in for
// the tool so that a test can see whether it ran.
#include "platform/CommonControls.h"
#include "platform/MsgBox.h"
#include "platform/Programs.h"
#include "platform/Registry.h"
#include "shell/frmAbout.h"
#include "support/TestSupport.h"

#include <QtTest>

namespace {

const QString kHeader = QStringLiteral("Windows Registry Editor Version 5.00\n\n");
const QString kPathKey =
    QStringLiteral("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Shared Tools\\MSINFO]\n");
const QString kFolderKey =
    QStringLiteral("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Shared Tools Location]\n");

// "Name"=hex(type):.. for the given bytes.
QString HexValue(const QString& name, int type, const QByteArray& bytes) {
    QStringList parts;
    for (char byte : bytes)
        parts << QStringLiteral("%1").arg(static_cast<unsigned char>(byte), 2, 16,
                                          QLatin1Char('0'));
    return QStringLiteral("\"%1\"=hex(%2):%3\n")
        .arg(name)
        .arg(type)
        .arg(parts.join(QLatin1Char(',')));
}

void WriteScript(const QString& path) {
    QFile script(path);
    QVERIFY(script.open(QIODevice::WriteOnly));
    script.write("#!/bin/sh\ntouch \"$0.ran\"\n");
    script.close();
    QVERIFY(script.setPermissions(script.permissions() | QFile::ExeOwner));
}

} // namespace

class TestLauncher : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { platform::SetUpApplication(); }
    void startSysInfo_data();
    void startSysInfo();
    void getKeyValue_data();
    void getKeyValue();
    void longContinuedValueIsReadToTheEnd();
};

void TestLauncher::startSysInfo_data() {
    // %TOOL%: a script; %FOLDER%: a folder holding one named MSINFO32.EXE; %HEX2%, %HEX1%,
    // %HEX1NUL%: "PATH" naming the script as hex(2), as hex(1) without and with its NUL.
    QTest::addColumn<QString>("registry");
    QTest::addColumn<QString>("started"); // which script runs: "tool", "folder" or "" (the message)
    const QString folderValue = kFolderKey + "\"MSINFO\"=\"%FOLDER%\"\n";
    QTest::newRow("PATH to an existing program")
        << kHeader + kPathKey + "\"PATH\"=\"%TOOL%\"\n\n" + folderValue << "tool";
    QTest::newRow("PATH to a missing file")
        << kHeader + kPathKey + "\"PATH\"=\"%TOOL%.missing\"\n\n" + folderValue << "";
    QTest::newRow("PATH absent, folder holds the tool") << kHeader + folderValue << "folder";
    QTest::newRow("PATH absent, folder lacks the tool")
        << kHeader + kFolderKey + "\"MSINFO\"=\"%EMPTY%\"\n"
        << "";
    QTest::newRow("PATH absent, folder has a directory of that name")
        << kHeader + kFolderKey + "\"MSINFO\"=\"%DIRECTORY%\"\n"
        << "";
    QTest::newRow("neither value") << kHeader + kPathKey + "\"Other\"=\"x\"\n"
                                   << "";
    QTest::newRow("no registry file") << QString() << "";
    QTest::newRow("PATH of type 2 is found but yields nothing")
        << kHeader + kPathKey + "%HEX2%\n" + folderValue << "";
    QTest::newRow("PATH without its NUL") << kHeader + kPathKey + "%HEX1%"
                                          << "tool";
    QTest::newRow("PATH with its NUL") << kHeader + kPathKey + "%HEX1NUL%"
                                       << "tool";
    QTest::newRow("PATH over 1024 bytes counts as absent")
        << kHeader + kPathKey + "\"PATH\"=\"%TOOL%" + QString(1100, QLatin1Char('x')) + "\"\n\n" +
               folderValue
        << "folder";
    QTest::newRow("names without regard to case")
        << kHeader + kPathKey.toLower() + "\"path\"=\"%TOOL%\"\n"
        << "tool";
    QTest::newRow("old header and comments")
        << "REGEDIT4\n; made by hand\n" + kPathKey + "\"PATH\"=\"%TOOL%\"\n"
        << "tool";
}

void TestLauncher::startSysInfo() {
    QFETCH(QString, registry);
    QFETCH(QString, started);
    SystemDirFixture dir;
    QTemporaryDir work;
    const QString tool = work.filePath("systool");
    WriteScript(tool);
    QDir().mkpath(work.filePath("folder"));
    const QString folderTool = work.filePath("folder/MSINFO32.EXE");
    WriteScript(folderTool);
    QDir().mkpath(work.filePath("empty"));
    QDir().mkpath(work.filePath("directory/MSINFO32.EXE"));
    registry.replace("%HEX2%", HexValue("PATH", 2, tool.toUtf8()))
        .replace("%HEX1NUL%", HexValue("PATH", 1, tool.toUtf8() + '\0'))
        .replace("%HEX1%", HexValue("PATH", 1, tool.toUtf8()))
        .replace("%TOOL%", tool)
        .replace("%FOLDER%", work.filePath("folder"))
        .replace("%EMPTY%", work.filePath("empty"))
        .replace("%DIRECTORY%", work.filePath("directory"));
    if (!registry.isNull()) {
        QFile file(dir.path() + "/system.reg");
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(registry.toUtf8());
    }

    platform::MsgBoxSeam::Intercept();
    const qsizetype startedBefore = platform::StartedPrograms().size();
    frmAbout::instance().StartSysInfo();
    // The second key is read only when the first gave nothing: one program at most.
    const QStringList startedNow = platform::StartedPrograms().mid(startedBefore);
    QCOMPARE(startedNow, started.isEmpty() ? QStringList()
                                           : QStringList{started == "tool" ? tool : folderTool});
    const auto shown = platform::MsgBoxSeam::Taken();
    platform::MsgBoxSeam::Release();
    if (started.isEmpty()) {
        QCOMPARE(shown.size(), 1);
        QCOMPARE(shown[0].text, QStringLiteral("此时系统信息不可用"));
        QCOMPARE(shown[0].style, int(platform::vbOKOnly));
        QCOMPARE(shown[0].title, QStringLiteral("Orvandel"));
    } else {
        QVERIFY(shown.isEmpty());
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists((started == "tool" ? tool : folderTool) + ".ran"),
                                 30000);
    }
}

void TestLauncher::getKeyValue_data() {
    QTest::addColumn<QString>("value");
    QTest::addColumn<bool>("found");
    QTest::addColumn<QString>("text");
    QTest::newRow("string") << "\"V\"=\"C:\\\\工具\\\\a.exe\"" << true << "C:\\工具\\a.exe";
    QTest::newRow("dword bytes 05 01 00 00")
        << HexValue("V", 4, QByteArray("\x05\x01\x00\x00", 4)) << true << "261";
    QTest::newRow("dword written as dword") << "\"V\"=dword:00000105" << true << "261";
    QTest::newRow("only a default value") << "@=\"默认\"" << false << "";
    QTest::newRow("expandable string leaves the text as it was")
        << HexValue("V", 2, "abc") << true << "<as passed>";
    QTest::newRow("binary leaves the text as it was") << "\"V\"=hex:01,02" << true << "<as passed>";
    QTest::newRow("continued hex lines") << "\"V\"=hex(1):61,\\\n  62,63,00" << true << "abc";
    QTest::newRow("continued with Windows line ends")
        << "\"V\"=hex(1):61,\\\r\n  62,\\\r\n  63\r" << true << "abc";
    QTest::newRow("hex that is no byte makes no value") << "\"V\"=hex(1):61,6g" << false << "";
    QTest::newRow("hex above a byte makes no value") << "\"V\"=hex(1):61,100" << false << "";
    QTest::newRow("exactly 1024 bytes fit")
        << "\"V\"=\"" + QString(1023, 'y') + "\"" << true << QString(1023, 'y');
    QTest::newRow("1025 bytes do not") << "\"V\"=\"" + QString(1024, 'y') + "\"" << false << "";
}

void TestLauncher::getKeyValue() {
    QFETCH(QString, value);
    QFETCH(bool, found);
    QFETCH(QString, text);
    SystemDirFixture dir;
    QFile file(dir.path() + "/system.reg");
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write((kHeader + "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Test]\n" + value + "\n").toUtf8());
    file.close();
    QString result = QStringLiteral("<as passed>");
    QCOMPARE(frmAbout::instance().GetKeyValue(platform::HKEY_LOCAL_MACHINE, "SOFTWARE\\Test", "V",
                                              result),
             found);
    QCOMPARE(result, text);
    QString missingKey = QStringLiteral("x");
    QVERIFY(!frmAbout::instance().GetKeyValue(platform::HKEY_LOCAL_MACHINE, "SOFTWARE\\None", "V",
                                              missingKey));
    QCOMPARE(missingKey, QString());
}

void TestLauncher::longContinuedValueIsReadToTheEnd() {
    // Ten megabytes in continued lines: read in one pass, it finishes (bench/registry_read
    // measures how fast), and the value after it is still found.
    SystemDirFixture dir;
    WriteLongRegistryValue(dir.path(), 10 * 1000 * 1000);
    QString after;
    QVERIFY(frmAbout::instance().GetKeyValue(platform::HKEY_LOCAL_MACHINE, "SOFTWARE\\Test",
                                             "After", after));
    QCOMPARE(after, QStringLiteral("found"));
    platform::HKEY key = 0;
    QCOMPARE(
        platform::RegOpenKeyExA(platform::HKEY_LOCAL_MACHINE, "SOFTWARE\\Test", 0, 0x2003F, &key),
        platform::ERROR_SUCCESS);
    unsigned size = 0;
    unsigned type = 0;
    QCOMPARE(platform::RegQueryValueExA(key, "Long", nullptr, &type, nullptr, &size),
             platform::ERROR_SUCCESS);
    QCOMPARE(size, 10u * 1000 * 1000);
    QCOMPARE(type, unsigned(platform::REG_BINARY));
    platform::RegCloseKey(key);
}

QTEST_MAIN(TestLauncher)
#include "tst_launcher.moc"
