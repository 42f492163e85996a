#include "platform/SystemDirectory.h"

#include <QtTest>

class TestSystemDirectory : public QObject {
    Q_OBJECT
private slots:
    void whereItIs_data();
    void whereItIs();
    void bufferShapeOfTheWindowsCall();

private:
    void setEnv(const char* name, const QString& value) {
        if (value.isNull())
            qunsetenv(name);
        else
            qputenv(name, value.toLocal8Bit());
    }
};

void TestSystemDirectory::whereItIs_data() {
    QTest::addColumn<QString>("explicitDir");
    QTest::addColumn<QString>("dataHome");
    QTest::addColumn<QString>("home");
    QTest::addColumn<QString>("expected");
    QTest::newRow("explicit") << "/srv/dir"
                              << "/x/data"
                              << "/home/u"
                              << "/srv/dir";
    QTest::newRow("explicit but empty") << ""
                                        << "/x/data"
                                        << "/home/u"
                                        << "/x/data/orvandel";
    QTest::newRow("data home") << QString() << "/x/data"
                               << "/home/u"
                               << "/x/data/orvandel";
    QTest::newRow("home") << QString() << QString() << "/home/u"
                          << "/home/u/.local/share/orvandel";
    QTest::newRow("nothing") << QString() << QString() << QString() << QString();
}

void TestSystemDirectory::whereItIs() {
    QFETCH(QString, explicitDir);
    QFETCH(QString, dataHome);
    QFETCH(QString, home);
    QFETCH(QString, expected);
    const QByteArray savedHome = qgetenv("HOME");
    setEnv("ORVANDEL_SYSTEM_DIR", explicitDir);
    setEnv("XDG_DATA_HOME", dataHome);
    setEnv("HOME", home);
    const QString found = platform::SystemDirectoryPath();
    qputenv("HOME", savedHome);
    QCOMPARE(found, expected);
}

void TestSystemDirectory::bufferShapeOfTheWindowsCall() {
    const QString path = QStringLiteral("/tmp/一个很长的系统目录/") + QString(40, QLatin1Char('x'));
    qputenv("ORVANDEL_SYSTEM_DIR", path.toLocal8Bit());
    const unsigned bytes = static_cast<unsigned>(path.toLocal8Bit().size());
    char small[20];
    std::memset(small, '#', sizeof small);
    QCOMPARE(platform::GetSystemDirectoryA(small, sizeof small), bytes + 1);
    QCOMPARE(small[0], '#');
    QByteArray exact(static_cast<int>(bytes + 1), ' ');
    QCOMPARE(platform::GetSystemDirectoryA(exact.data(), exact.size()), bytes);
    QCOMPARE(QString::fromLocal8Bit(exact.constData()), path);
    QCOMPARE(exact.at(bytes), '\0');
}

QTEST_APPLESS_MAIN(TestSystemDirectory)
#include "tst_systemdirectory.moc"
