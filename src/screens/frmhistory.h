#pragma once

#include "data/History.h"
#include "platform/Form.h"

#include <QList>

class QLabel;
class QTreeWidget;
class SmartNetXpButton;

// One company's history: its versions newest first, who made each and what it changed; a chosen
// version can be made current again.
class frmhistory : public platform::SingleForm<frmhistory> {
    Q_OBJECT
public:
    // Shows the history of the company with this id.
    void ShowCompany(qint64 companyId);

private:
    friend class platform::SingleForm<frmhistory>;
    frmhistory();
    void LoadVersions();
    void CmdRestore_Click();

    qint64 companyId_ = -1;
    QList<history::Version> versions_; // newest first, as listed
    QLabel* lblHeader;
    QTreeWidget* lstVersions;
    SmartNetXpButton* CmdRestore;
    SmartNetXpButton* CmdClose;
};
