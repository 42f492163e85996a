#pragma once

#include "data/History.h"
#include "platform/Form.h"

#include <QList>

class QTreeWidget;
class SmartNetXpButton;

// The deleted companies: name, country, when and by whom; one can be brought back under its id.
class frmdeleted : public platform::SingleForm<frmdeleted> {
    Q_OBJECT
protected:
    void Form_Load() override;
    void Form_ShowWhileOpen() override { Form_Load(); }

private:
    friend class platform::SingleForm<frmdeleted>;
    frmdeleted();
    void CmdRestore_Click();

    QList<history::Version> deleted_; // as listed
    QTreeWidget* lstDeleted;
    SmartNetXpButton* CmdRestore;
    SmartNetXpButton* CmdClose;
};
