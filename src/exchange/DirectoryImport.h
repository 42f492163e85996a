#pragma once

#include <QList>
#include <QString>
#include <functional>

namespace db {
class Connection;
}

namespace exchange {

// One thing wrong with an import file.
struct ImportProblem {
    int line = 0;   // where the record starts, from 1
    QString column; // the stored column name, or the header's text; empty for the whole line
    QString value;
    QString reason;
};

// A new company of the file (a row without an id) whose name and country fold to those of a
// stored company or of a new company on an earlier line.
struct ImportDuplicate {
    int line = 0;
    QString name;
    QString country;
    qint64 storedId = 0; // the stored company it is like (the first by id); 0 when none
    int earlierLine = 0; // else the line of the new company it is like
};

struct ImportOptions {
    bool dryRun = false;
    // Imports likely duplicates too; without it a file with any is refused as a whole.
    bool allowDuplicates = false;
    QString encoding;   // empty: UTF-8 (with or without a byte-order mark), UTF-16 by its
                        // byte-order mark, else GB18030
    char separator = 0; // 0: found from the header line (comma, semicolon or tab)
    QString sheet;      // of an Excel workbook; empty: its first sheet
    // Called now and then with the share of the work done, 0 to 100.
    std::function<void(int)> progress;
};

struct ImportResult {
    QString encoding; // the encoding a CSV file was read in
    QString sheet;    // the sheet an Excel workbook was read from
    qint64 added = 0;
    qint64 updated = 0;
    qint64 emptyRows = 0; // rows with every cell empty, skipped
    qint64 problemCount = 0;
    QList<ImportProblem> problems; // the first kMaxListedProblems, in file order
    qint64 duplicateCount = 0;
    QList<ImportDuplicate> duplicates; // the first kMaxListedProblems, in file order
    bool written = false;              // true when the directory was changed
};

inline constexpr int kMaxListedProblems = 20;
// The highest id an import may give a company. New companies get the next id after the highest
// stored one, so a much higher id would soon leave none.
inline constexpr qint64 kHighestImportedId = 2147483647;

// Reads a CSV file of companies, or a sheet of an Excel workbook when the path ends in .xlsx (any
// case; see XlsxReader for how its cells are read), and adds or updates them, all in one
// transaction: one problem in any row and nothing is written. The header names the columns by their
// stored names, in any order and any case; a row with no id is a new company, one whose id is
// stored updates that company, one with an id not stored adds a company with that id. Values are
// checked as the detail screen's save checks them. New companies that are likely duplicates refuse
// the file unless the options allow them; rows with an id are not checked for them. Throws
// exchange::FileError when the file cannot be read and db::Error when the store fails while writing
// (nothing is written then either).
ImportResult ImportCsv(db::Connection& connection, const QString& path,
                       const ImportOptions& options);

} // namespace exchange
