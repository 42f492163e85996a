#include "data/ChineseText.h"

#include <QtTest>

class TestChineseText : public QObject {
    Q_OBJECT
private slots:
    void folds_data();
    void folds();
    void spellsNamesInPinyin_data();
    void spellsNamesInPinyin();
    void readsTypedLettersAsSyllables_data();
    void readsTypedLettersAsSyllables();
};

void TestChineseText::folds_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("folded");
    QTest::newRow("traditional") << "中國遠洋海運"
                                 << "中国远洋海运";
    QTest::newRow("simplified stays") << "长荣海运"
                                      << "长荣海运";
    // One character at a time: 乾 folds alone as it does inside 乾隆.
    QTest::newRow("no phrases") << "乾隆 乾"
                                << "干隆 干";
    QTest::newRow("full width and case") << "ＣＯＳＣＯ Shipping"
                                         << "cosco shipping";
    QTest::newRow("runs of spaces") << "  Blue \t  Star\u3000\u3000Line "
                                    << "blue star line";
    QTest::newRow("compatibility ideograph") << "\uF900"
                                             << "岂";
    QTest::newRow("digits and signs") << "＋３０ ２１０"
                                      << "+30 210";
}

void TestChineseText::folds() {
    QFETCH(QString, text);
    QFETCH(QString, folded);
    QCOMPARE(chinese::Folded(text), folded);
}

void TestChineseText::spellsNamesInPinyin_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("syllables");
    QTest::addColumn<QString>("initials");
    QTest::newRow("one reading each") << "中国远洋"
                                      << "| zhong guo yuan yang |"
                                      << "|zgyy|";
    QTest::newRow("traditional") << "中國遠洋"
                                 << "| zhong guo yuan yang |"
                                 << "|zgyy|";
    // Both readings of 长 and of 重, the more common first.
    QTest::newRow("polyphonic") << "長榮"
                                << "| chang rong | zhang rong |"
                                << "|cr|zr|";
    QTest::newRow("two polyphonic")
        << "重庆长"
        << "| zhong qing chang | zhong qing zhang | chong qing chang | chong qing "
           "zhang |"
        << "|zqc|zqz|cqc|cqz|";
    // A simplified character is read as its traditional form: 广 as 廣.
    QTest::newRow("simplified read as traditional") << "广州"
                                                    << "| guang zhou |"
                                                    << "|gz|";
    QTest::newRow("Latin ends a run, a space does not") << "中远 海运ABC长"
                                                        << "| zhong yuan hai yun | chang | zhang |"
                                                        << "|zyhy|c|z|";
    QTest::newRow("no Chinese") << "Blue Star"
                                << ""
                                << "";
}

void TestChineseText::spellsNamesInPinyin() {
    QFETCH(QString, name);
    QFETCH(QString, syllables);
    QFETCH(QString, initials);
    const chinese::Pinyin pinyin = chinese::PinyinOf(name);
    QCOMPARE(pinyin.syllables, syllables);
    QCOMPARE(pinyin.initials, initials);
}

void TestChineseText::readsTypedLettersAsSyllables_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("mayBePinyin");
    QTest::addColumn<QStringList>("runs");
    QTest::newRow("whole syllables") << "changrong" << true << QStringList{" chang rong "};
    QTest::newRow("two ways") << "xian" << true << QStringList{" xi an ", " xian "};
    QTest::newRow("apostrophe") << "xi'an" << true << QStringList{" xi an "};
    QTest::newRow("space") << "chang rong" << true << QStringList{" chang rong "};
    QTest::newRow("initials only") << "zgyy" << true << QStringList();
    QTest::newRow("digits") << "cosco1" << false << QStringList();
    QTest::newRow("characters") << "中远" << false << QStringList();
}

void TestChineseText::readsTypedLettersAsSyllables() {
    QFETCH(QString, typed);
    QFETCH(bool, mayBePinyin);
    QFETCH(QStringList, runs);
    QCOMPARE(chinese::MayBePinyin(typed), mayBePinyin);
    if (!mayBePinyin)
        return;
    QStringList found = chinese::SyllableRuns(typed);
    found.sort();
    runs.sort();
    QCOMPARE(found, runs);
}

QTEST_GUILESS_MAIN(TestChineseText)
#include "tst_chinesetext.moc"
