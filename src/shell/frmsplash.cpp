#include "frmsplash.h"

frmsplash& frmsplash::instance() {
    static frmsplash* form = new frmsplash;
    return *form;
}

frmsplash::frmsplash() {
    setObjectName(QStringLiteral("frmsplash"));
    setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
    setFixedSize(453, 341);
}
