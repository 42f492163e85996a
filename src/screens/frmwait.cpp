#include "screens/frmwait.h"

#include "platform/CommonControls.h"
#include "platform/Twips.h"
#include "screens/SmartNetXpButton.h"

#include <QApplication>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QScopedValueRollback>
#include <QScreen>

using platform::Px;

frmwait& frmwait::instance() {
    static frmwait* const box = new frmwait;
    return *box;
}

void frmwait::Install() {
    db::SetWaitHandler({[](qint64 waited, qint64 limit, bool server) {
                            return instance().Turn(waited, limit, server);
                        },
                        [] { instance().Done(); }});
}

frmwait::frmwait() {
    setObjectName(QStringLiteral("frmwait"));
    setWindowTitle(QStringLiteral("请稍候"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    setWindowModality(Qt::ApplicationModal);
    setAutoFillBackground(true);
    QPalette white = palette();
    white.setColor(QPalette::Window, Qt::white);
    setPalette(white);
    setFixedSize(Px(3600), Px(1380));

    Label1 = new QLabel(QStringLiteral("正在等待服务器…"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setGeometry(Px(240), Px(240), Px(3120), Px(255));
    CmdCancel = new SmartNetXpButton(QStringLiteral("取消"),
                                     QIcon(QStringLiteral(":/art/icon-exit.png")), this);
    CmdCancel->setObjectName(QStringLiteral("CmdCancel"));
    CmdCancel->setAccessibleName(QStringLiteral("取消"));
    CmdCancel->setAccessibleDescription(QStringLiteral("不再等待服务器"));
    CmdCancel->move((width() - CmdCancel->sizeHint().width()) / 2, Px(720));
    connect(CmdCancel, &QAbstractButton::clicked, this, &frmwait::CmdCancel_Click);

    quiet_.setSingleShot(true);
    quiet_.setInterval(200);
    connect(&quiet_, &QTimer::timeout, this, &frmwait::Done);
}

db::WaitAnswer frmwait::Turn(qint64 waitedMs, qint64 limitMs, bool server) {
    if (depth_ > 0)
        return db::WaitAnswer::KeepWaiting;
    const QScopedValueRollback<int> inTurn(depth_, depth_ + 1);
    quiet_.start();
    if (waitedMs >= kShowAfterMs && !isVisible()) {
        cancelled_ = false;
        Label1->setText(server ? QStringLiteral("正在等待服务器…")
                               : QStringLiteral("正在等待其他程序让出数据文件…"));
        // Over the window that waits, else in the middle of the screen.
        const QWidget* waiting = QApplication::activeWindow();
        const QRect over = waiting != nullptr
                               ? waiting->frameGeometry()
                               : QGuiApplication::primaryScreen()->availableGeometry();
        move(over.center() - rect().center());
        show();
        raise();
        activateWindow();
        CmdCancel->setFocus();
    }
    // Until the box shows, the windows are drawn but take no input; then the box, modal, is the
    // only window that takes any.
    QCoreApplication::processEvents(
        isVisible() ? QEventLoop::AllEvents : QEventLoop::ExcludeUserInputEvents, 10);
    if (cancelled_)
        return db::WaitAnswer::Cancel;
    if (limitMs > 0 && waitedMs >= limitMs)
        return db::WaitAnswer::GiveUp;
    return db::WaitAnswer::KeepWaiting;
}

void frmwait::Done() {
    quiet_.stop();
    cancelled_ = false;
    hide();
}

void frmwait::CmdCancel_Click() {
    cancelled_ = true;
}

void frmwait::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        CmdCancel_Click();
        return;
    }
    QWidget::keyPressEvent(event);
}

void frmwait::closeEvent(QCloseEvent* event) {
    // Closing the box from its frame means the same as its button.
    CmdCancel_Click();
    event->ignore();
}
