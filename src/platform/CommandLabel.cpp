#include "platform/CommandLabel.h"

#include <QAccessibleWidget>
#include <QMouseEvent>

namespace platform {

namespace {

class CommandLabelAccessible : public QAccessibleWidget {
public:
    explicit CommandLabelAccessible(CommandLabel* label)
        : QAccessibleWidget(label, QAccessible::Button) {}

    QString text(QAccessible::Text kind) const override {
        if (kind == QAccessible::Name && widget()->accessibleName().isEmpty())
            return static_cast<QLabel*>(widget())->text();
        return QAccessibleWidget::text(kind);
    }
    QStringList actionNames() const override {
        return QStringList{pressAction()} + QAccessibleWidget::actionNames();
    }
    void doAction(const QString& action) override {
        if (action == pressAction())
            static_cast<CommandLabel*>(widget())->Press();
        else
            QAccessibleWidget::doAction(action);
    }
};

QAccessibleInterface* CommandLabelFactory(const QString& className, QObject* object) {
    if (className == QLatin1String(CommandLabel::staticMetaObject.className()) && object)
        return new CommandLabelAccessible(static_cast<CommandLabel*>(object));
    return nullptr;
}

} // namespace

CommandLabel::CommandLabel(const QString& text, QWidget* parent) : QLabel(text, parent) {
    static const bool factoryInstalled = (QAccessible::installFactory(CommandLabelFactory), true);
    Q_UNUSED(factoryInstalled);
    setFocusPolicy(Qt::NoFocus);
}

void CommandLabel::mouseReleaseEvent(QMouseEvent* event) {
    QLabel::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        Press();
}

} // namespace platform
