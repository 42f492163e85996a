#pragma once

#include "platform/Form.h"

class QFrame;
class QLabel;
class QTimer;

// The first window the user sees: an optional picture for two ticks, then the main window.
class frmsplash : public platform::SingleForm<frmsplash> {
    Q_OBJECT
public:
    // Where the picture is looked for, given the directory that holds the program.
    static QString SplashPicturePath(const QString& executableDirectory);
    // Shows and paints the picture at once, before a piece of start-up that gives the event loop
    // no turn. The two ticks are counted from the next Show(), once start-up is done, though a
    // wait for the store gives events their turns meanwhile.
    void ShowBeforeStartupEnds();

protected:
    // Throws when the picture file is there but is no picture.
    void Form_Load() override;
    void Form_ShowWhileOpen() override;
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    friend class platform::SingleForm<frmsplash>;
    frmsplash();
    // Counts two ticks afresh.
    void StartTicks();
    void Timer1_Timer();

    QFrame* imgSplash;
    QLabel* picture_;
    QTimer* Timer1;
    qint16 splashTicks = 0;
    bool ticksHeld_ = false; // until start-up is done
};
