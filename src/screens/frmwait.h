#pragma once

#include "data/Wait.h"

#include <QTimer>
#include <QWidget>

class QLabel;
class SmartNetXpButton;

// The small box that shows while a statement waits for the server, or for a lock held elsewhere,
// for longer than a moment: what it waits for ("正在等待服务器…") and a button that stops waiting.
// Meanwhile the windows keep being drawn and take no input but this box's; nothing is started while
// a statement waits.
class frmwait : public QWidget {
    Q_OBJECT
public:
    static frmwait& instance();
    // Makes this box the data layer's wait handler for the life of the program.
    static void Install();

    // How long a wait goes on before the box shows.
    static constexpr qint64 kShowAfterMs = 1000;

    db::WaitAnswer Turn(qint64 waitedMs, qint64 limitMs, bool server);
    void Done();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    frmwait();
    void CmdCancel_Click();

    QLabel* Label1;
    SmartNetXpButton* CmdCancel;
    bool cancelled_ = false;
    int depth_ = 0; // turns inside turns process nothing
    // A wait that ends without a word from the engine (a lock that came free) hides the box when
    // the turns stop coming.
    QTimer quiet_;
};
