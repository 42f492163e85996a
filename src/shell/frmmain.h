#pragma once

#include "platform/Form.h"

class QLabel;

// The main window: decorative pictures, a status bar and a menu of four text labels.
class frmmain : public platform::SingleForm<frmmain> {
    Q_OBJECT
protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    friend class platform::SingleForm<frmmain>;
    frmmain();
    void Label1_MouseMove(int index);
    void Label1_Click(int index);

    QLabel* Label1[4];
};
