// Every picture the windows load: its format and pixel size, and the hand cursor's hot spot.
#include "platform/CommonControls.h"
#include "shell/frmmain.h"

#include <QImageReader>
#include <QLabel>
#include <QtTest>

class TestArtwork : public QObject {
    Q_OBJECT
private slots:
    void resourceFiles_data();
    void resourceFiles();
    void handCursorPointsWithTheFingertip();
};

void TestArtwork::resourceFiles_data() {
    QTest::addColumn<QString>("path");
    QTest::addColumn<QByteArray>("format");
    QTest::addColumn<QSize>("size");
    // Each picture of the windows comes with its @2x variant, twice as large, for screens of two
    // device pixels to a pixel.
    const auto row = [](const char* path, const char* format, int width, int height) {
        QTest::newRow(path) << QString::fromLatin1(path) << QByteArray(format)
                            << QSize(width, height);
        QString large = QString::fromLatin1(path);
        large.insert(large.lastIndexOf(QLatin1Char('.')), QStringLiteral("@2x"));
        QTest::newRow(qPrintable(large))
            << large << QByteArray(format) << QSize(2 * width, 2 * height);
    };
    const auto single = [](const char* path, const char* format, int width, int height) {
        QTest::newRow(path) << QString::fromLatin1(path) << QByteArray(format)
                            << QSize(width, height);
    };
    row(":/art/window-icon.png", "png", 16, 16);
    row(":/art/query-picture.png", "png", 199, 79);
    for (const char* icon : {":/art/icon-query.png", ":/art/icon-stop.png", ":/art/icon-delete.png",
                             ":/art/icon-save.png", ":/art/icon-exit.png"})
        row(icon, "png", 16, 16);
    row(":/art/globe.gif", "gif", 624, 397);
    row(":/art/banner.jpg", "jpeg", 858, 118);
    row(":/art/side-panel.jpg", "jpeg", 181, 445);
    row(":/art/ship.jpg", "jpeg", 120, 80);
    for (const char* icon : {":/art/menu-about.png", ":/art/menu-query.png", ":/art/menu-add.png",
                             ":/art/menu-exit.png", ":/art/hand-cursor.png"})
        row(icon, "png", 32, 32);
    row(":/art/about-logo.png", "png", 120, 67);
    row(ORVANDEL_SOURCE_DIR "/resources/images/splash.gif", "gif", 453, 341);
    row(ORVANDEL_BUILD_DIR "/images/splash.gif", "gif", 453, 341);
    single(ORVANDEL_SOURCE_DIR "/resources/desktop/orvandel.png", "png", 256, 256);
}

void TestArtwork::resourceFiles() {
    QFETCH(QString, path);
    QFETCH(QByteArray, format);
    QFETCH(QSize, size);
    QImageReader reader(path);
    reader.setDecideFormatFromContent(true);
    QCOMPARE(reader.format(), format);
    const QImage image = reader.read();
    QVERIFY2(!image.isNull(), qPrintable(reader.errorString()));
    QCOMPARE(image.size(), size);
}

void TestArtwork::handCursorPointsWithTheFingertip() {
    platform::SetUpApplication();
    const QLabel* label = frmmain::instance().findChild<QLabel*>(QStringLiteral("Label1_3"));
    QVERIFY(label != nullptr);
    const QCursor cursor = label->cursor();
    QCOMPARE(cursor.shape(), Qt::BitmapCursor);
    QCOMPARE(cursor.hotSpot(), QPoint(12, 1));
    const QImage image = cursor.pixmap().toImage();
    QCOMPARE(image.size(), QSize(32, 32));
    QVERIFY(qAlpha(image.pixel(12, 1)) > 128); // the tip is drawn right there
    QCOMPARE(qAlpha(image.pixel(12, 0)), 0);   // and nothing above it
}

QTEST_MAIN(TestArtwork)
#include "tst_artwork.moc"
