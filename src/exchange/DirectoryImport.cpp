#include "exchange/DirectoryImport.h"

#include "data/Connection.h"
#include "data/DbError.h"
#include "data/Duplicates.h"
#include "data/Engine.h"
#include "data/Query.h"
#include "data/Recordset.h"
#include "data/ShipOwnerTable.h"
#include "data/Transaction.h"
#include "exchange/CellText.h"
#include "exchange/CsvReader.h"
#include "exchange/TableFile.h"
#include "exchange/XlsxReader.h"

#include <QFile>
#include <QHash>
#include <QSet>
#include <QStringDecoder>
#include <QVector>
#include <optional>

namespace exchange {

namespace {

const QByteArray kUtf8Bom("\xEF\xBB\xBF");
const QString kUtf8 = QStringLiteral("UTF-8");
const QString kGb18030 = QStringLiteral("GB18030");

// One row of the file, checked and converted: the values of the file's columns other than id,
// in the file's order.
struct CheckedRow {
    int line;
    qint64 id; // 0: none given, a new company
    QVariantList values;
};

class ProgressShare {
public:
    ProgressShare(const std::function<void(int)>& report, int from, int to)
        : report_(report), from_(from), to_(to) {}
    void Done(qint64 part, qint64 whole) {
        if (!report_ || whole <= 0)
            return;
        const int percent =
            from_ + static_cast<int>((to_ - from_) * qBound<qint64>(0, part, whole) / whole);
        if (percent != last_)
            report_(last_ = percent);
    }

private:
    const std::function<void(int)>& report_;
    int from_;
    int to_;
    int last_ = -1;
};

// What takes the checked header and rows.
class RowSink {
public:
    virtual ~RowSink() = default;
    // The stored names of the columns the rows write, id left out, in the file's order.
    virtual void Header(const QStringList& writtenColumns) = 0;
    virtual void Row(CheckedRow&& row) = 0;
};

// Checks the header and the rows as the reader hands them over, and passes on those that pass.
class RowChecker {
public:
    // `guardedTexts`: the file is CSV, whose export guards formula-like texts with an apostrophe.
    RowChecker(ImportResult& result, RowSink& sink, bool guardedTexts)
        : result_(result), sink_(sink), guardedTexts_(guardedTexts) {}

    void Take(const CsvReader::Record& record) {
        if (!headerRead_) {
            headerRead_ = true;
            ReadHeader(record);
        } else if (headerGood_) {
            CheckRow(record);
        }
    }
    bool SawHeader() const { return headerRead_; }

    void Problem(int line, const QString& column, const QString& value, const QString& reason) {
        ++result_.problemCount;
        if (result_.problems.size() < kMaxListedProblems)
            result_.problems.append({line, column, value, reason});
    }

private:
    void ReadHeader(const CsvReader::Record& record) {
        const QStringList& columns = shipowner::Columns();
        QHash<int, int> seen;
        // A sheet saved with a stray empty column ends its header with empty names.
        headerFields_ = record.fields.size();
        QStringList named = record.fields;
        while (!named.isEmpty() && shipowner::TrimSpaces(named.last()).isEmpty())
            named.removeLast();
        for (const QString& field : named) {
            const QString name = shipowner::TrimSpaces(field);
            int column = -1;
            for (int i = 0; i < columns.size() && column < 0; ++i)
                if (columns[i].compare(name, Qt::CaseInsensitive) == 0)
                    column = i;
            if (column < 0) {
                Problem(record.line, name, QString(),
                        QStringLiteral("no such column; the columns are %1")
                            .arg(columns.join(QStringLiteral(", "))));
            } else if (seen.contains(column)) {
                Problem(record.line, name, QString(), QStringLiteral("the column is named twice"));
            } else {
                seen.insert(column, tableColumn_.size());
                if (column == 0)
                    idField_ = tableColumn_.size();
            }
            tableColumn_.append(column);
        }
        headerGood_ = result_.problemCount == 0;
        if (!headerGood_)
            return;
        QStringList written;
        for (int field = 0; field < tableColumn_.size(); ++field)
            if (field != idField_)
                written.append(columns[tableColumn_[field]]);
        sink_.Header(written);
    }

    void CheckRow(const CsvReader::Record& record) {
        const QStringList& fields = record.fields;
        if (std::all_of(fields.cbegin(), fields.cend(),
                        [](const QString& f) { return shipowner::TrimSpaces(f).isEmpty(); })) {
            ++result_.emptyRows;
            return;
        }
        const bool sized = fields.size() >= tableColumn_.size() && fields.size() <= headerFields_;
        if (!sized ||
            !std::all_of(fields.cbegin() + tableColumn_.size(), fields.cend(),
                         [](const QString& f) { return shipowner::TrimSpaces(f).isEmpty(); })) {
            Problem(record.line, QString(), QString(),
                    sized ? QStringLiteral("a value under a column without a name")
                          : QStringLiteral("the line has %1 fields, the header %2")
                                .arg(fields.size())
                                .arg(tableColumn_.size()));
            return;
        }
        const QStringList& columns = shipowner::Columns();
        CheckedRow row{record.line, 0, {}};
        row.values.reserve(tableColumn_.size());
        bool good = true;
        for (int field = 0; field < tableColumn_.size(); ++field) {
            const int column = tableColumn_[field];
            QString text = shipowner::TrimSpaces(record.fields[field]);
            if (text.contains(QChar(0))) {
                Problem(record.line, columns[column], QString(),
                        QStringLiteral("a NUL byte (character 0), which no text may hold"));
                good = false;
                continue;
            }
            if (field == idField_) {
                good = CheckId(record.line, text, row.id) && good;
                continue;
            }
            const bool number = shipowner::IsIntegerColumn(column);
            if (number) {
                QString reason;
                if (!WholeNumberText(text, &reason)) {
                    Problem(record.line, columns[column], text, reason);
                    good = false;
                    continue;
                }
            } else {
                if (guardedTexts_)
                    text = Unguarded(text);
                // As long as the detail screen's box takes, and no longer.
                const shipowner::Column& spec = shipowner::ColumnTable().at(column);
                if (text.size() > spec.cap) {
                    Problem(record.line, columns[column], text.left(40) + QStringLiteral("…"),
                            QStringLiteral("%1 characters; a %2 holds at most %3")
                                .arg(text.size())
                                .arg(spec.meaning)
                                .arg(spec.cap));
                    good = false;
                    continue;
                }
            }
            try {
                row.values.append(db::ConvertForColumn(columns[column], number, text));
            } catch (const db::ConversionError&) {
                Problem(record.line, columns[column], text, QStringLiteral("not a whole number"));
                good = false;
            }
        }
        if (good)
            sink_.Row(std::move(row));
    }

    bool CheckId(int line, const QString& text, qint64& id) {
        if (text.isEmpty())
            return true;
        bool whole = !text.isEmpty();
        for (const QChar c : text)
            whole = whole && c >= QLatin1Char('0') && c <= QLatin1Char('9');
        bool fits = false;
        id = whole ? text.toLongLong(&fits) : 0;
        if (!fits || id < 1 || id > kHighestImportedId) {
            Problem(line, QStringLiteral("id"), text,
                    QStringLiteral("an id is empty (a new company) or a whole number from 1 to %1")
                        .arg(kHighestImportedId));
            return false;
        }
        const auto earlier = idLines_.constFind(id);
        if (earlier != idLines_.constEnd()) {
            Problem(line, QStringLiteral("id"), text,
                    QStringLiteral("line %1 has the same id").arg(earlier.value()));
            return false;
        }
        idLines_.insert(id, line);
        return true;
    }

    ImportResult& result_;
    RowSink& sink_;
    bool guardedTexts_;
    bool headerRead_ = false;
    bool headerGood_ = false;
    QVector<int> tableColumn_;   // the table column of each named field of the file
    qsizetype headerFields_ = 0; // the header's fields, the empty names at its end included
    int idField_ = -1;
    QHash<qint64, int> idLines_;
};

QByteArray ReadFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw FileError(FileError::CannotRead, path, file.errorString());
    QByteArray bytes = file.readAll();
    if (file.error() != QFile::NoError)
        throw FileError(FileError::CannotRead, path, file.errorString());
    return bytes;
}

// The file's text as UTF-8 when it is UTF-16 with a byte-order mark; false otherwise.
bool FromUtf16(QByteArray& bytes) {
    const bool little = bytes.startsWith("\xFF\xFE");
    if (!little && !bytes.startsWith("\xFE\xFF"))
        return false;
    QStringDecoder decoder(little ? QStringDecoder::Utf16LE : QStringDecoder::Utf16BE);
    const QString text = decoder.decode(bytes.mid(2));
    bytes = text.toUtf8();
    return !decoder.hasError();
}

// The first line that is not UTF-8 in a file whose other lines show it is UTF-8 (a line with
// characters beyond ASCII that are valid UTF-8); 0 when the file is not like that.
int LineNotLikeTheRest(const QByteArray& bytes) {
    int firstInvalid = 0;
    bool someUtf8 = false;
    int line = 0;
    for (const QByteArray& text : bytes.split('\n')) {
        ++line;
        if (!QUtf8StringView(text).isValidUtf8()) {
            if (firstInvalid == 0)
                firstInvalid = line;
        } else if (std::any_of(text.cbegin(), text.cend(),
                               [](char c) { return static_cast<unsigned char>(c) >= 0x80; })) {
            someUtf8 = true;
        }
    }
    return someUtf8 ? firstInvalid : 0;
}

// The file's text as UTF-8, or false (with the problem noted) when it is not text in the
// encoding it is read in.
bool ToUtf8(const QString& path, QByteArray& bytes, const QString& encoding, ImportResult& result,
            RowChecker& checker) {
    QString name = encoding;
    if (name.isEmpty()) {
        if (bytes.startsWith("\xFF\xFE") || bytes.startsWith("\xFE\xFF")) {
            result.encoding = QStringLiteral("UTF-16");
            if (FromUtf16(bytes))
                return true;
            checker.Problem(0, QString(), QString(),
                            QStringLiteral("the file starts as UTF-16 text but is not valid "
                                           "UTF-16"));
            return false;
        }
        if (bytes.startsWith(kUtf8Bom)) {
            bytes.remove(0, kUtf8Bom.size());
        } else if (!bytes.isValidUtf8()) {
            if (const int line = LineNotLikeTheRest(bytes)) {
                result.encoding = kUtf8;
                checker.Problem(line, QString(), QString(),
                                QStringLiteral("the line is not UTF-8 text, as the other lines "
                                               "are; a file must be in one encoding"));
                return false;
            }
            name = kGb18030;
        }
    }
    if (name.isEmpty() || name.compare(kUtf8, Qt::CaseInsensitive) == 0) {
        result.encoding = kUtf8;
        if (bytes.startsWith(kUtf8Bom))
            bytes.remove(0, kUtf8Bom.size());
        if (bytes.isValidUtf8())
            return true;
        checker.Problem(0, QString(), QString(),
                        QStringLiteral("the file is not valid UTF-8 text; name its encoding with "
                                       "--encoding"));
        return false;
    }
    QStringDecoder decoder(name.toUtf8().constData());
    if (!decoder.isValid())
        throw FileError(FileError::UnknownEncoding, path,
                        QStringLiteral("no encoding named %1 is known here").arg(name));
    result.encoding = name;
    const QString text = decoder.decode(bytes);
    if (decoder.hasError()) {
        checker.Problem(0, QString(), QString(),
                        encoding.isEmpty()
                            ? QStringLiteral("the file is neither UTF-8 nor GB18030 text; name its "
                                             "encoding with --encoding")
                            : QStringLiteral("the file is not valid %1 text").arg(name));
        return false;
    }
    bytes = text.toUtf8();
    return true;
}

// Hands the rows of the workbook's sheet to the checker; what the reader refuses is a problem.
void ReadWorkbook(const QString& path, const QString& sheet, ImportResult& result,
                  RowChecker& checker, ProgressShare& reading) {
    try {
        result.sheet = XlsxReader::Read(
            path, sheet, [&checker](const CsvReader::Record& record) { checker.Take(record); },
            [&checker](int line, const QString& column, const QString& value,
                       const QString& reason) { checker.Problem(line, column, value, reason); },
            [&reading](qint64 done, qint64 whole) { reading.Done(done, whole); });
    } catch (const XlsxError& error) {
        checker.Problem(error.line(), QString(), QString(), error.reason());
    }
}

// Finds the new companies of a file that are likely duplicates of stored companies or of new
// companies on earlier lines.
class DuplicateFinder {
public:
    explicit DuplicateFinder(const QList<shipowner::NamedCompany>& stored) {
        for (const shipowner::NamedCompany& company : stored) {
            const shipowner::CompanyKey key = shipowner::KeyOf(company.name, company.country);
            if (!key.IsBlank() && !storedId_.contains(key))
                storedId_.insert(key, company.id);
        }
    }

    void Header(const QStringList& writtenColumns) {
        nameField_ = writtenColumns.indexOf(shipowner::Columns()[1]);
        countryField_ = writtenColumns.indexOf(shipowner::Columns()[2]);
    }

    // A new company's values, in the order of the written columns.
    std::optional<ImportDuplicate> Check(int line, const QVariantList& values) {
        const QString name = Text(values, nameField_);
        const QString country = Text(values, countryField_);
        const shipowner::CompanyKey key = shipowner::KeyOf(name, country);
        if (key.IsBlank())
            return std::nullopt;
        const auto stored = storedId_.constFind(key);
        if (stored != storedId_.constEnd())
            return ImportDuplicate{line, name, country, stored.value(), 0};
        const auto earlier = lineOf_.constFind(key);
        if (earlier != lineOf_.constEnd())
            return ImportDuplicate{line, name, country, 0, earlier.value()};
        lineOf_.insert(key, line);
        return std::nullopt;
    }

private:
    // A column the file leaves out is empty on a new company.
    static QString Text(const QVariantList& values, qsizetype field) {
        return field < 0 ? QString() : values[field].toString();
    }

    QHash<shipowner::CompanyKey, qint64> storedId_;
    QHash<shipowner::CompanyKey, int> lineOf_;
    qsizetype nameField_ = -1;
    qsizetype countryField_ = -1;
};

// Counts the checked rows as added or updated, notes the likely duplicates and, unless only
// checking, sends the rows to the store within the caller's transaction while nothing refuses
// the file: stored companies and those with a new id as they come, those without an id at the
// end, so that the ids the store gives them come after every id in the file. A problem anywhere,
// or a likely duplicate not allowed, means the caller rolls back.
class RowWriter : public RowSink {
public:
    RowWriter(db::Connection& connection, const QList<shipowner::NamedCompany>& stored,
              const ImportOptions& options, ImportResult& result)
        : connection_(connection), duplicates_(stored), write_(!options.dryRun),
          allowDuplicates_(options.allowDuplicates), result_(result) {
        for (const shipowner::NamedCompany& company : stored)
            storedIds_.insert(company.id);
    }

    void Header(const QStringList& writtenColumns) override {
        columns_ = writtenColumns;
        idAndColumns_ = QStringList{shipowner::kId} + columns_;
        duplicates_.Header(writtenColumns);
    }

    void Row(CheckedRow&& row) override {
        const bool stored = row.id != 0 && storedIds_.contains(row.id);
        ++(stored ? result_.updated : result_.added);
        if (row.id == 0)
            Note(duplicates_.Check(row.line, row.values));
        if (!write_ || result_.problemCount > 0 || RefusesDuplicates())
            return;
        if (row.id == 0) {
            withoutId_.append(std::move(row.values));
        } else if (stored) {
            row.values.append(row.id);
            updates_.append(std::move(row.values));
            if (updates_.size() >= kSlice)
                FlushUpdates();
        } else {
            row.values.prepend(row.id);
            withId_.append(std::move(row.values));
            if (withId_.size() >= kSlice)
                FlushWithId();
        }
    }

    bool RefusesDuplicates() const { return result_.duplicateCount > 0 && !allowDuplicates_; }

    // Writes what is still held; progress goes from 0 to 100 over the rows without an id.
    void Finish(const std::function<void(qint64, qint64)>& progress) {
        FlushUpdates();
        FlushWithId();
        for (qsizetype first = 0; first < withoutId_.size(); first += kSlice) {
            Engine().InsertRows(shipowner::kTable, columns_, withoutId_.mid(first, kSlice),
                                shipowner::kId);
            progress(qMin(first + kSlice, withoutId_.size()), withoutId_.size());
        }
        withoutId_.clear();
    }

private:
    static constexpr qsizetype kSlice = 2000;

    void Note(const std::optional<ImportDuplicate>& duplicate) {
        if (!duplicate)
            return;
        ++result_.duplicateCount;
        if (result_.duplicates.size() < kMaxListedProblems)
            result_.duplicates.append(*duplicate);
    }

    db::Engine& Engine() {
        if (!readersDetached_) {
            connection_.DetachReaders();
            readersDetached_ = true;
        }
        return connection_.engine();
    }
    void FlushUpdates() {
        // A file with nothing but ids changes nothing on the stored companies.
        if (!columns_.isEmpty() && !updates_.isEmpty())
            Engine().UpdateRows(shipowner::kTable, columns_, updates_, shipowner::kId);
        updates_.clear();
    }
    void FlushWithId() {
        if (!withId_.isEmpty())
            Engine().InsertRows(shipowner::kTable, idAndColumns_, withId_, shipowner::kId);
        withId_.clear();
    }

    db::Connection& connection_;
    QSet<qint64> storedIds_;
    DuplicateFinder duplicates_;
    bool write_;
    bool allowDuplicates_;
    ImportResult& result_;
    QStringList columns_;
    QStringList idAndColumns_;
    QList<QVariantList> updates_;
    QList<QVariantList> withId_;
    QList<QVariantList> withoutId_;
    bool readersDetached_ = false;
};

} // namespace

ImportResult ImportCsv(db::Connection& connection, const QString& path,
                       const ImportOptions& options) {
    ImportResult result;
    FileFormat format = FileFormat::Csv;
    const bool workbook = FormatOf(path, format) && format == FileFormat::Xlsx;
    // A workbook is unpacked part by part as it is read; here only whether it can be read.
    if (QFile file(path); workbook && !file.open(QIODevice::ReadOnly))
        throw FileError(FileError::CannotRead, path, file.errorString());
    QByteArray text = workbook ? QByteArray() : ReadFile(path);
    // Checking and writing go together, in one transaction that takes the write lock first, so
    // that the companies found stored stay as they are until the end; any problem rolls it all
    // back.
    std::optional<db::Transaction> transaction;
    if (!options.dryRun) {
        transaction.emplace(connection, db::Transaction::Begin::Immediate);
        // The companies found stored stay as they are until the end: a row deleted by another
        // desk meanwhile would otherwise be updated in vain, or one added there duplicated.
        connection.engine().LockTable(shipowner::kTable);
    }
    RowWriter writer(connection, shipowner::NamedCompanies(connection), options, result);
    RowChecker checker(result, writer, !workbook);
    ProgressShare reading(options.progress, 0, options.dryRun ? 100 : 50);
    if (workbook) {
        ReadWorkbook(path, options.sheet, result, checker, reading);
    } else {
        if (!ToUtf8(path, text, options.encoding, result, checker))
            return result;
        try {
            CsvReader::Parse(
                text, [&checker](const CsvReader::Record& record) { checker.Take(record); },
                [&reading, &text](qint64 done) { reading.Done(done, text.size()); },
                options.separator != 0 ? options.separator : CsvReader::SeparatorOf(text));
        } catch (const CsvSyntaxError& error) {
            checker.Problem(error.line(), QString(), QString(), error.reason());
        }
    }
    if (!checker.SawHeader() && result.problemCount == 0)
        checker.Problem(1, QString(), QString(),
                        workbook ? QStringLiteral("the sheet is empty; its first row must name "
                                                  "the columns")
                                 : QStringLiteral("the file is empty; its first line must name "
                                                  "the columns"));
    if (result.problemCount > 0) {
        result.added = result.updated = 0;
        return result;
    }
    if (options.dryRun || writer.RefusesDuplicates())
        return result;
    ProgressShare writing(options.progress, 50, 100);
    writer.Finish([&writing](qint64 done, qint64 whole) { writing.Done(done, whole); });
    writing.Done(1, 1);
    transaction->commit();
    result.written = true;
    return result;
}

} // namespace exchange
