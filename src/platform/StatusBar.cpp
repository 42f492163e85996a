#include "platform/StatusBar.h"

#include <QDateTime>
#include <QLabel>
#include <QLocale>
#include <QTimer>

namespace platform {

StatusBar::StatusBar(QWidget* parent) : QStatusBar(parent) {
    setSizeGripEnabled(false);
    auto* timer = new QTimer(this);
    connect(timer, &QTimer::timeout, this, &StatusBar::Refresh);
    timer->start(1000);
}

QLabel* StatusBar::AddPanel(int widthPixels) {
    auto* panel = new QLabel(this);
    panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    panel->setFixedWidth(widthPixels);
    panel->setIndent(3);
    addWidget(panel);
    return panel;
}

QLabel* StatusBar::AddTextPanel(int widthPixels, const QString& text) {
    QLabel* panel = AddPanel(widthPixels);
    panel->setText(text);
    return panel;
}

QLabel* StatusBar::AddDatePanel(int widthPixels) {
    datePanels_.append(AddPanel(widthPixels));
    Refresh();
    return datePanels_.last();
}

QLabel* StatusBar::AddTimePanel(int widthPixels) {
    timePanels_.append(AddPanel(widthPixels));
    Refresh();
    return timePanels_.last();
}

void StatusBar::Refresh() {
    const QLocale locale(QLocale::Chinese, QLocale::China);
    const QDateTime now = QDateTime::currentDateTime();
    for (QLabel* panel : datePanels_)
        panel->setText(locale.toString(now.date(), QLocale::ShortFormat));
    for (QLabel* panel : timePanels_)
        panel->setText(locale.toString(now.time(), QLocale::ShortFormat));
}

} // namespace platform
