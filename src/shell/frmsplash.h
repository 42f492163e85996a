#pragma once

#include "Form.h"

// The first window the user sees.
class frmsplash : public platform::Form {
    Q_OBJECT
public:
    static frmsplash& instance();

private:
    frmsplash();
};
