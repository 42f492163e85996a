#include "platform/StatusBar.h"

#include <QDateTime>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QTimer>

namespace platform {

namespace {
constexpr int kPanelGap = 2;
}

StatusBar::StatusBar(QWidget* parent) : QStatusBar(parent) {
    setSizeGripEnabled(false);
    // The panels share one row of their own: the bar's layout would put its own, wider spacing
    // between them and squeeze the last gap when the row is full.
    auto* row = new QWidget(this);
    panels_ = new QHBoxLayout(row);
    panels_->setContentsMargins(0, 0, 0, 0);
    panels_->setSpacing(kPanelGap);
    addWidget(row);
    auto* timer = new QTimer(this);
    connect(timer, &QTimer::timeout, this, &StatusBar::Refresh);
    timer->start(1000);
}

QLabel* StatusBar::AddPanel(int widthPixels) {
    auto* panel = new QLabel(this);
    panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    panel->setFixedWidth(widthPixels);
    panel->setIndent(3);
    panels_->addWidget(panel);
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
