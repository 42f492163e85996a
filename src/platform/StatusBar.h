#pragma once

#include <QStatusBar>

class QHBoxLayout;
class QLabel;

namespace platform {

// A status bar of fixed-width panels two pixels apart; date and time panels keep themselves
// current.
class StatusBar : public QStatusBar {
    Q_OBJECT
public:
    explicit StatusBar(QWidget* parent = nullptr);
    QLabel* AddTextPanel(int widthPixels, const QString& text);
    QLabel* AddDatePanel(int widthPixels);
    QLabel* AddTimePanel(int widthPixels);

private:
    QLabel* AddPanel(int widthPixels);
    void Refresh();

    QHBoxLayout* panels_;
    QList<QLabel*> datePanels_;
    QList<QLabel*> timePanels_;
};

} // namespace platform
