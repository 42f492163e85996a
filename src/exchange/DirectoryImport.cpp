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
#include <QScopeGuard>
#include <QSet>
#include <QStringDecoder>
#include <QVector>
#include <optional>

namespace exchange {

namespace {

const QByteArray kUtf8Bom("\xEF\xBB\xBF");
const QString kUtf8 = QStringLiteral("UTF-8");
const QString kGb18030 = QStringLiteral("GB18030");
constexpr int kImportCacheMegabytes = 8;

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
    // The stored names of the columns the rows write, id left out, in the file's order, and
    // whether the file has a column of ids.
    virtual void Header(const QStringList& writtenColumns, bool givesIds) = 0;
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
        sink_.Header(written, idField_ >= 0);
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

// The file's bytes a piece at a time, so that a large file is never held whole.
class FileReader {
public:
    explicit FileReader(const QString& path) : file_(path), path_(path) {
        if (!file_.open(QIODevice::ReadOnly))
            throw FileError(FileError::CannotRead, path, file_.errorString());
    }
    qint64 Size() const { return file_.size(); }
    qint64 Position() const { return file_.pos(); }
    QByteArray Start(qint64 size) { return file_.peek(size); }
    void Rewind(qint64 to) { file_.seek(to); }
    // The next piece; empty at the end.
    QByteArray Next() {
        QByteArray piece = file_.read(kPiece);
        if (file_.error() != QFile::NoError)
            throw FileError(FileError::CannotRead, path_, file_.errorString());
        return piece;
    }

private:
    static constexpr qint64 kPiece = 1 << 20;
    QFile file_;
    QString path_;
};

// How the file's text is to be read: as UTF-8 (no name) or through a decoder, after its first
// bytes (a byte-order mark).
struct TextEncoding {
    QString decoder;
    qint64 skip = 0;
};

// What one pass over the lines of a file found about UTF-8.
struct Utf8Lines {
    bool valid = true;
    int firstInvalid = 0;  // the first line that is not UTF-8
    bool someUtf8 = false; // a line beyond ASCII that is UTF-8
};

Utf8Lines ScanUtf8Lines(FileReader& file, qint64 skip) {
    Utf8Lines found;
    int line = 0;
    const auto check = [&](QByteArrayView text) {
        ++line;
        if (!QUtf8StringView(text).isValidUtf8()) {
            found.valid = false;
            if (found.firstInvalid == 0)
                found.firstInvalid = line;
        } else if (std::any_of(text.cbegin(), text.cend(),
                               [](char c) { return static_cast<unsigned char>(c) >= 0x80; })) {
            found.someUtf8 = true;
        }
    };
    file.Rewind(skip);
    QByteArray unfinished; // the line the last piece ended in
    for (QByteArray piece; !(piece = file.Next()).isEmpty();) {
        unfinished += piece;
        qsizetype from = 0;
        for (qsizetype end; (end = unfinished.indexOf('\n', from)) >= 0; from = end + 1)
            check(QByteArrayView(unfinished).sliced(from, end - from));
        unfinished.remove(0, from);
    }
    check(unfinished);
    return found;
}

// Whether the whole file, after `skip` bytes, is text in the decoder's encoding.
bool Decodes(FileReader& file, const TextEncoding& encoding) {
    QStringDecoder decoder(encoding.decoder.toUtf8().constData());
    file.Rewind(encoding.skip);
    for (QByteArray piece; !(piece = file.Next()).isEmpty();) {
        const QString text = decoder.decode(piece);
        if (decoder.hasError())
            return false;
    }
    return true;
}

// How to read the file's text, or nothing (with the problem noted) when it is not text in the
// encoding it is read in. Reads the whole file once; the rows are read in a second pass.
std::optional<TextEncoding> EncodingOf(FileReader& file, const QString& path,
                                       const QString& encoding, ImportResult& result,
                                       RowChecker& checker) {
    const QByteArray start = file.Start(3);
    QString name = encoding;
    if (name.isEmpty()) {
        if (start.startsWith("\xFF\xFE") || start.startsWith("\xFE\xFF")) {
            result.encoding = QStringLiteral("UTF-16");
            const TextEncoding utf16{start.startsWith("\xFF\xFE") ? QStringLiteral("UTF-16LE")
                                                                  : QStringLiteral("UTF-16BE"),
                                     2};
            if (Decodes(file, utf16))
                return utf16;
            checker.Problem(0, QString(), QString(),
                            QStringLiteral("the file starts as UTF-16 text but is not valid "
                                           "UTF-16"));
            return std::nullopt;
        }
        if (!start.startsWith(kUtf8Bom)) {
            const Utf8Lines lines = ScanUtf8Lines(file, 0);
            if (lines.valid) {
                result.encoding = kUtf8;
                return TextEncoding{};
            }
            if (lines.someUtf8) {
                result.encoding = kUtf8;
                checker.Problem(lines.firstInvalid, QString(), QString(),
                                QStringLiteral("the line is not UTF-8 text, as the other lines "
                                               "are; a file must be in one encoding"));
                return std::nullopt;
            }
            name = kGb18030;
        }
    }
    if (name.isEmpty() || name.compare(kUtf8, Qt::CaseInsensitive) == 0) {
        result.encoding = kUtf8;
        const qint64 skip = start.startsWith(kUtf8Bom) ? kUtf8Bom.size() : 0;
        if (ScanUtf8Lines(file, skip).valid)
            return TextEncoding{QString(), skip};
        checker.Problem(0, QString(), QString(),
                        QStringLiteral("the file is not valid UTF-8 text; name its encoding with "
                                       "--encoding"));
        return std::nullopt;
    }
    if (!QStringDecoder(name.toUtf8().constData()).isValid())
        throw FileError(FileError::UnknownEncoding, path,
                        QStringLiteral("no encoding named %1 is known here").arg(name));
    result.encoding = name;
    if (Decodes(file, {name, 0}))
        return TextEncoding{name, 0};
    checker.Problem(0, QString(), QString(),
                    encoding.isEmpty()
                        ? QStringLiteral("the file is neither UTF-8 nor GB18030 text; name its "
                                         "encoding with --encoding")
                        : QStringLiteral("the file is not valid %1 text").arg(name));
    return std::nullopt;
}

// Hands the records of the file's text to the checker, a piece at a time; a break of the CSV
// rules is a problem.
void ReadCsv(FileReader& file, const TextEncoding& encoding, char separator, RowChecker& checker,
             ProgressShare& reading) {
    std::optional<QStringDecoder> decoder;
    if (!encoding.decoder.isEmpty())
        decoder.emplace(encoding.decoder.toUtf8().constData());
    std::optional<CsvReader> csv; // once the first piece shows the separator
    file.Rewind(encoding.skip);
    try {
        for (QByteArray piece; !(piece = file.Next()).isEmpty();) {
            if (decoder)
                piece = QString(decoder->decode(piece)).toUtf8();
            if (!csv)
                csv.emplace([&checker](const CsvReader::Record& record) { checker.Take(record); },
                            separator != 0 ? separator : CsvReader::SeparatorOf(piece));
            csv->Feed(piece);
            reading.Done(file.Position(), file.Size());
        }
        if (csv)
            csv->Finish();
    } catch (const CsvSyntaxError& error) {
        checker.Problem(error.line(), QString(), QString(), error.reason());
    }
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
        // A file's own keys are kept as 64-bit digests, a tenth of their texts' room at a million
        // rows; two keys alike by chance come once in some 10^13 such files.
        const quint64 digest = qHash(key, kDigestSeed);
        const auto earlier = lineOf_.constFind(digest);
        if (earlier != lineOf_.constEnd())
            return ImportDuplicate{line, name, country, 0, earlier.value()};
        lineOf_.insert(digest, line);
        return std::nullopt;
    }

private:
    // A column the file leaves out is empty on a new company.
    static QString Text(const QVariantList& values, qsizetype field) {
        return field < 0 ? QString() : values[field].toString();
    }

    static constexpr size_t kDigestSeed = 0x9E3779B97F4A7C15ULL;
    QHash<shipowner::CompanyKey, qint64> storedId_;
    QHash<quint64, int> lineOf_;
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

    void Header(const QStringList& writtenColumns, bool givesIds) override {
        // Without ids in the file no id the store gives can meet one of the file's: new
        // companies go to the store as they come, not held to the end.
        holdNew_ = givesIds;
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
            if (!holdNew_ && withoutId_.size() >= kSlice)
                FlushWithoutId();
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
            InsertSlice(columns_, withoutId_.mid(first, kSlice));
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
    // Each slice's search keys are built as soon as it is written, while its pages are in the
    // cache: left to the commit, they would be read back and written again from the disk.
    void FlushUpdates() {
        // A file with nothing but ids changes nothing on the stored companies.
        if (!columns_.isEmpty() && !updates_.isEmpty()) {
            Engine().UpdateRows(shipowner::kTable, columns_, updates_, shipowner::kId);
            connection_.BuildPendingKeys();
        }
        updates_.clear();
    }
    void InsertSlice(const QStringList& columns, const QList<QVariantList>& rows) {
        Engine().InsertRows(shipowner::kTable, columns, rows, shipowner::kId);
        connection_.BuildPendingKeys();
    }
    void FlushWithoutId() {
        InsertSlice(columns_, withoutId_);
        withoutId_.clear();
    }
    void FlushWithId() {
        if (!withId_.isEmpty())
            InsertSlice(idAndColumns_, withId_);
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
    bool holdNew_ = true;
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
    std::optional<FileReader> file;
    if (!workbook)
        file.emplace(path);
    // Checking and writing go together, in one transaction that takes the write lock first, so
    // that the companies found stored stay as they are until the end; any problem rolls it all
    // back.
    // Each page is written once and read little: a large cache of pages would be most of the
    // import's memory at a million rows, and saves no time.
    db::Engine& engine = connection.engine();
    const int cacheBefore = engine.PageCacheMegabytes();
    if (cacheBefore > kImportCacheMegabytes)
        engine.SetPageCacheMegabytes(kImportCacheMegabytes);
    const auto restoreCache = qScopeGuard([&engine, cacheBefore] {
        try {
            if (cacheBefore > kImportCacheMegabytes)
                engine.SetPageCacheMegabytes(cacheBefore);
        } catch (const db::Error&) {
            // Only reading is slower: the import's own outcome stands.
        }
    });
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
        const std::optional<TextEncoding> encoding =
            EncodingOf(*file, path, options.encoding, result, checker);
        if (!encoding)
            return result;
        ReadCsv(*file, *encoding, options.separator, checker, reading);
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
