#pragma once

#include "exchange/CsvReader.h"

#include <QString>
#include <functional>
#include <stdexcept>

namespace exchange {

// A workbook that cannot be read at all: not a zip archive, a part missing or broken, no sheet of
// the name asked for. line is the sheet's row where it broke, 0 for the whole file.
class XlsxError : public std::runtime_error {
public:
    XlsxError(int line, const QString& reason);
    int line() const { return line_; }
    QString reason() const { return reason_; }

private:
    int line_;
    QString reason_;
};

// Reads the rows of one sheet of an Excel workbook (.xlsx) as records of texts, row by row,
// without holding the sheet in memory. A record's line is the sheet's row number; its fields are
// placed by the cells' column letters, so a missing cell is an empty field. Empty cells at a
// row's end do not count, and a row shorter than the first row is filled up to its width with
// empty fields (a spreadsheet does not store empty cells). Rows with no value are skipped.
// Texts come as written; a whole number as its digits (120000, never 1.2E+05 or 120000.0),
// another number as written in the file. True/false values, error values and dates are no
// numbers or texts: each is reported, and its field left empty.
class XlsxReader {
public:
    using Record = CsvReader::Record;
    using RecordHandler = CsvReader::RecordHandler;
    // A cell that cannot be taken: its row, its column letters, its value as stored, and why.
    using CellProblem = std::function<void(int line, const QString& column, const QString& value,
                                           const QString& reason)>;
    // Called now and then with how much of the sheet has been read, of the whole.
    using Progress = std::function<void(qint64 done, qint64 whole)>;

    // Reads the sheet named sheet, or the first sheet when it is empty, of the workbook at path,
    // and returns the sheet's name. Throws XlsxError when the workbook cannot be read or
    // has no such sheet (the records before a break have been handed over).
    static QString Read(const QString& path, const QString& sheet, const RecordHandler& onRecord,
                        const CellProblem& onProblem, const Progress& progress = {});
    // The number of the last row in the sheet stored as `part` of the workbook at path (0 when
    // it has none), found from the part's end without reading its cells: to check a workbook
    // just written. Throws XlsxError when the part cannot be unpacked.
    static quint32 LastRowOf(const QString& path, const QString& part);
};

} // namespace exchange
