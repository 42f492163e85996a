#pragma once

#include "platform/Form.h"

#include <QPixmap>
#include <QStringList>
#include <optional>

class QLabel;
class QLineEdit;
class SmartNetXpButton;

// The detail screen: one company's whole record, where it is added, changed and deleted.
class frminfo : public platform::SingleForm<frminfo> {
    Q_OBJECT
public:
    static constexpr int kBoxes = 17;

    // The id of the record shown; -1 for a new record that has no row yet.
    qint64 shipId = -1;

protected:
    void Form_Load() override;
    // Opening while open loads again, so the texts, the mode and shipId always agree.
    void Form_ShowWhileOpen() override { Form_Load(); }
    void paintEvent(QPaintEvent* event) override;

private:
    friend class platform::SingleForm<frminfo>;
    frminfo();
    void LoadRecord();
    void CmdQuery_Click();
    // Before a new company is stored: whether none is stored under the same name and country,
    // or the user wants it added all the same.
    bool MayAddDespiteLikelyDuplicates();
    void SmartNetXpButton1_Click();
    void CmdStop_Click();
    void ClearBoxes();
    void ReportChangedElsewhere(bool deleted);

    // The stored row's texts as this screen loaded or last saved them; none while the screen
    // shows no stored row. A save goes through only while the stored row still reads so.
    std::optional<QStringList> loaded_;

    QLabel* lbl[kBoxes];
    QLineEdit* Txt[kBoxes];
    SmartNetXpButton* SmartNetXpButton1;
    SmartNetXpButton* CmdQuery;
    SmartNetXpButton* CmdStop;
    QPixmap background_;
};
