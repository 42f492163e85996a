#pragma once

#include <QLabel>

namespace platform {

// A text label that works as a command: a click with the left button on it reports Clicked, and
// assistive technology sees a push button named by the text that it can press. It takes no
// keyboard focus, as a label does.
class CommandLabel : public QLabel {
    Q_OBJECT
public:
    CommandLabel(const QString& text, QWidget* parent);

    // What a click does; also the press action offered to assistive technology.
    void Press() { emit Clicked(); }

signals:
    void Clicked();

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
};

} // namespace platform
