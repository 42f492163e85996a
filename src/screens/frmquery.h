#pragma once

#include "data/CompanySearch.h"
#include "exchange/CompanyList.h"
#include "platform/Form.h"

#include <QPixmap>

class QAction;
class QLabel;
class QLineEdit;
class QMenu;
class ResultGrid;
class SmartNetXpButton;

// The query screen: part of a company name and part of a country in, the matching companies out,
// newest first or sorted by a column whose header was clicked; a double-click or Enter opens one
// in the detail screen.
class frmquery : public platform::SingleForm<frmquery> {
    Q_OBJECT
public:
    void RunQuery();
    // Lists the companies of a search made elsewhere (the search window), as a query does.
    void RunSearch(const shipowner::CompanySearch& search);
    static void AutoSizeGrid(ResultGrid& grid);
    // The ids of the rows the grid shows, top to bottom: none for the design grid or an empty
    // result.
    QList<qint64> ShownIds() const;

signals:
    // A fill's yield before each row, with the rows it has added so far: where clicks and keys
    // reach the screen while it fills, and where a test acts at the row it chooses. Only a fill
    // that starts with a listener connected announces it.
    void FillYield(qint64 rowsSoFar);

protected:
    void Form_Load() override;
    void closeEvent(QCloseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    friend class platform::SingleForm<frmquery>;
    frmquery();
    enum class FillEnd { Done, Restart, Abandoned };
    void StartFill();
    FillEnd Fill();
    void CmdStop_Click();
    void Grid_HeaderClick(int section);
    void ShowSortIndicator();
    void PrintQueryResult();
    void ExportQueryPdf();
    // The rows shown, as a printed list has them, and the line above them.
    QList<exchange::ListedCompany> ShownRows() const;
    QString ListHeading(qint64 count) const;
    void Grid_DblClick();
    void ShowDesignGrid();
    void Grid_ContextMenu(const QPoint& position);
    void ExportQueryResult();

    QLabel* Label1;
    QLineEdit* Text1;
    QLabel* Label2;
    QLineEdit* Text2;
    SmartNetXpButton* CmdQuery;
    SmartNetXpButton* CmdStop;
    ResultGrid* Grid;
    QLabel* Label5;
    QMenu* GridMenu;
    QAction* mnuExport;
    QAction* mnuCopy;
    QAction* mnuPrint;
    QAction* mnuPdf;
    QAction* mnuHistory;
    QPixmap picture_;

    // What the grid lists: the last query's or search's conditions, and the order chosen by a
    // header since the screen opened.
    shipowner::CompanySearch search_;
    bool searched_ = false;
    shipowner::ListOrder order_;

    bool stopFlag = false;
    // One fill at a time: a query asked for while one runs is a request that the running fill
    // honours at its next row by starting over with the filters as they are then.
    bool filling_ = false;
    bool restartRequested_ = false;
    // Counts the closings; a fill whose number is no longer current was ended by a close and
    // leaves the grid alone.
    quint64 fillGeneration_ = 0;
};
