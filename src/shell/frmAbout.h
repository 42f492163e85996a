#pragma once

#include "platform/Form.h"
#include "platform/Registry.h"

class QLabel;
class QPushButton;

// The About box, and the launcher of the system information tool.
class frmAbout : public platform::SingleForm<frmAbout> {
    Q_OBJECT
public:
    // Starts the system information tool named in the registry, or says it is not available.
    void StartSysInfo();
    // Reads one registry value as text into keyValue; true when the value was read.
    bool GetKeyValue(platform::HKEY keyRoot, const QString& keyName, const QString& subKeyRef,
                     QString& keyValue);

protected:
    void Form_Load() override;
    void keyPressEvent(QKeyEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    friend class platform::SingleForm<frmAbout>;
    frmAbout();

    QLabel* lblTitle;
    QLabel* lblVersion;
    QPushButton* cmdOK;
    QPushButton* cmdSysInfo;
};
