#pragma once

#include <QAbstractButton>

// The record screens' push button: flat and white, a 16 × 16 icon in a fixed 28-pixel area on
// the left and the caption beside it, 宋体 9 pt, 1185 × 315 twips.
class SmartNetXpButton : public QAbstractButton {
    Q_OBJECT
public:
    SmartNetXpButton(const QString& caption, const QIcon& icon, QWidget* parent);

    QString Caption() const { return text(); }
    void SetCaption(const QString& caption);

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    bool hovered_ = false;
};
