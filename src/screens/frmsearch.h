#pragma once

#include "data/CompanySearch.h"
#include "platform/Form.h"

#include <QMap>
#include <optional>

class QLabel;
class QLineEdit;
class SmartNetXpButton;

// The search window: every text of the record and the fleet's figures as conditions, all of them
// together. It lists what it finds in the query screen's grid and says what the result adds up to.
class frmsearch : public platform::SingleForm<frmsearch> {
    Q_OBJECT
public:
    // The conditions as typed; none, with `problem` saying why, while a bound is not a number or
    // a range is upside down.
    std::optional<shipowner::CompanySearch> Conditions(QString* problem,
                                                       QLineEdit** badField = nullptr) const;

protected:
    void Form_Load() override;

private:
    friend class platform::SingleForm<frmsearch>;
    frmsearch();
    QLineEdit* AddField(const QRect& geometry, const QString& name, const QString& accessibleName);
    void Bounds_Change();
    void CmdSearch_Click();
    static QString HowMatched(const shipowner::CompanySearch& search, const QList<qint64>& totals);
    void ShowTotals(const shipowner::CompanySearch& search);

    QMap<QString, QLineEdit*> texts_; // by the column they test
    struct RangeFields {
        QLineEdit* least;
        QLineEdit* most;
        QString meaning; // the column's meaning, for messages
    };
    QMap<QString, RangeFields> ranges_; // by the column they test
    QLabel* lblProblem;
    QLabel* lblTotals;
    SmartNetXpButton* CmdSearch;
    SmartNetXpButton* CmdClose;
    // Counts the searches run, so that a search that ended after a newer one began leaves the
    // totals line to the newer one.
    quint64 searches_ = 0;
};
