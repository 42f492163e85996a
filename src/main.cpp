#include "startup/Main.h"
#include "platform/CommonControls.h"

#include <QApplication>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    platform::SetUpApplication();
    if (!modGeneral::Main())
        return 1;
    return app.exec();
}
