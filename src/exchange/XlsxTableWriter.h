#pragma once

#include "exchange/TableFile.h"

#include <QStringEncoder>
#include <QStringList>
#include <QTemporaryFile>

struct lxw_workbook;
struct lxw_worksheet;
struct lxw_format;

namespace exchange {

// Keeps what the process writes to its standard error away from the terminal while it lives.
// The workbook library prints its own lines there when it fails ("[ERROR][packager.c:…]"); the
// program reports the failure in its words instead, once the writer is gone.
class StandardErrorSilenced {
public:
    StandardErrorSilenced();
    ~StandardErrorSilenced();
    StandardErrorSilenced(const StandardErrorSilenced&) = delete;
    StandardErrorSilenced& operator=(const StandardErrorSilenced&) = delete;

private:
    int saved_ = -1;
};

// An Excel workbook with one sheet: a bold header row that stays in view when scrolling, whole
// numbers as numbers, texts as text (so "+30 210 556" or "007" stay as typed), and each column as
// wide as its widest value. The workbook is written beside the file under a temporary name and
// renamed into place by Commit().
class XlsxTableWriter : public TableWriter {
public:
    XlsxTableWriter(const QString& path, const QString& sheetName, const QStringList& header,
                    const QVector<bool>& integerColumns);
    ~XlsxTableWriter() override;

    void WriteRow(const QVector<QVariant>& values) override;
    void Commit() override;

    // How many character widths a text takes in a cell: East Asian wide characters take two; of
    // several lines, the longest counts.
    static int DisplayWidth(const QString& text);

private:
    void WriteCell(int column, const QVariant& value, lxw_format* format);
    void Check(int error, int column = -1);

    StandardErrorSilenced libraryLines_; // first made, last gone
    QString path_;
    QTemporaryFile temporary_;
    QVector<bool> integerColumns_;
    QVector<int> widths_;
    QStringEncoder utf8_{QStringEncoder::Utf8};
    QByteArray utf8Text_;
    lxw_workbook* workbook_ = nullptr;
    lxw_worksheet* sheet_ = nullptr;
    lxw_format* bold_ = nullptr;
    quint32 row_ = 0;
    quint32 lastRowWithCells_ = 0; // counted from 1, as the sheet numbers its rows
};

} // namespace exchange
