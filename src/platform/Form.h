#pragma once

#include <QList>
#include <QMargins>
#include <QWidget>

namespace platform {

// A top-level window with the life of a desktop form: its object is created once and reused, it
// loads each time it opens from the closed state, showing it again brings it to the front, and the
// program keeps the list of open forms in the order they were opened.
class Form : public QWidget {
    Q_OBJECT
public:
    explicit Form(QWidget* parent = nullptr);
    ~Form() override;

    // Shows the form modeless: loads it first when it is closed, then brings it to the front.
    void Show();
    bool IsOpen() const;

    static QList<Form*> OpenForms();

protected:
    // Runs when the form opens from the closed state, before it is first drawn. May throw.
    virtual void Form_Load() {}
    // Runs when Show() is called while the form is already open.
    virtual void Form_ShowWhileOpen() {}

    // A fixed-border window whose client area has the given size in twips.
    void SetFixedClientTwips(int width, int height);
    // The program's windows are white.
    void PaintWhite();
    // A window that Esc closes, as a dialog box is.
    void SetClosesOnEscape(bool closes) { closesOnEscape_ = closes; }

    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Centres the window with a frame of the given margins: title bar and borders included.
    void CentreOnScreen(const QMargins& frame);
    QMargins FrameMargins() const;

    bool centreWhenFramed_ = false;
    bool closesOnEscape_ = false;
};

// A window class with one object, made on first use and kept for the life of the program, as a
// desktop form is: Window::instance(). The window makes this its friend, so that only here is its
// object made.
template <typename Window> class SingleForm : public Form {
public:
    static Window& instance() {
        static Window* const window = new Window;
        return *window;
    }

protected:
    SingleForm() = default;
};

} // namespace platform
