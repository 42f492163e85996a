#include "exchange/XlsxReader.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QHash>
#include <QIODevice>
#include <QSet>
#include <QVector>
#include <QXmlStreamReader>
#include <cmath>
#include <memory>
#include <unzip.h>

namespace exchange {

XlsxError::XlsxError(int line, const QString& reason)
    : std::runtime_error(reason.toStdString()), line_(line), reason_(reason) {}

namespace {

// Excel's widest sheet ends at column XFD.
constexpr int kColumnCount = 16384;
// Whole numbers below this are exact in a double and fit in a qint64.
constexpr double kLargestWhole = 9007199254740992.0;

QString Letters(int column) {
    QString letters;
    for (++column; column > 0; column = (column - 1) / 26)
        letters.prepend(QChar(u'A' + (column - 1) % 26));
    return letters;
}

// The column of a cell reference such as "AB12", from 0; -1 when it starts with no letter.
int ColumnOf(QStringView reference) {
    int column = 0;
    int letters = 0;
    for (const QChar c : reference) {
        const char16_t u = c.toUpper().unicode();
        if (u < u'A' || u > u'Z')
            break;
        column = column * 26 + (u - u'A' + 1);
        if (++letters > 3)
            break;
    }
    return letters == 0 ? -1 : column - 1;
}

// Excel writes characters XML cannot carry, such as a carriage return, as _xHHHH_ (and a text
// "_x0041_" as "_x005F_x0041_").
QString Unescape(const QString& text) {
    if (!text.contains(QLatin1String("_x")))
        return text;
    QString plain;
    plain.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == u'_' && i + 6 < text.size() && text[i + 1] == u'x' && text[i + 6] == u'_') {
            bool hex = false;
            const ushort code = QStringView(text).mid(i + 2, 4).toUShort(&hex, 16);
            if (hex) {
                plain += QChar(code);
                i += 6;
                continue;
            }
        }
        plain += text[i];
    }
    return plain;
}

// The built-in number formats that show dates or times: 14 to 22, and those of the East Asian
// versions of Excel.
bool IsBuiltInDateFormat(int id) {
    return (id >= 14 && id <= 22) || (id >= 27 && id <= 36) || (id >= 45 && id <= 47) ||
           (id >= 50 && id <= 58);
}

// A format code shows a date or time when it has a year, month, day, hour or second outside
// quoted text, escaped characters and [colour] or [condition] brackets.
bool IsDateCode(const QString& code) {
    bool quoted = false;
    int bracket = 0;
    for (qsizetype i = 0; i < code.size(); ++i) {
        const QChar c = code[i];
        if (c == u'"') {
            quoted = !quoted;
        } else if (quoted) {
            continue;
        } else if (c == u'\\' || c == u'_' || c == u'*') {
            ++i; // the next character is shown, or sets a width or a fill
        } else if (c == u'[') {
            ++bracket;
        } else if (c == u']') {
            bracket = qMax(0, bracket - 1);
        } else if (bracket == 0 && QStringLiteral("ymdhsYMDHS").contains(c)) {
            return true;
        }
    }
    return false;
}

// The attribute of a relationship id (r:id), whatever prefix its namespace has.
QString RelationshipId(const QXmlStreamAttributes& attributes) {
    for (const QXmlStreamAttribute& attribute : attributes)
        if (attribute.name() == u"id" && !attribute.namespaceUri().isEmpty())
            return attribute.value().toString();
    return QString();
}

struct Relationship {
    QString type;
    QString part; // the part's name in the archive
};

// The part of the workbook that is open in the archive, unpacked as it is read.
class Part : public QIODevice {
public:
    Part(unzFile zip, qint64 size) : zip_(zip), size_(size) { open(QIODevice::ReadOnly); }
    ~Part() override { unzCloseCurrentFile(zip_); }
    qint64 size() const override { return size_; }

protected:
    qint64 readData(char* data, qint64 most) override {
        const int read =
            unzReadCurrentFile(zip_, data, static_cast<unsigned>(qMin<qint64>(most, 1 << 20)));
        if (read < 0)
            setErrorString(QStringLiteral("cannot be unpacked (error %1)").arg(read));
        return read;
    }
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    unzFile zip_;
    qint64 size_;
};

class Workbook {
public:
    explicit Workbook(const QString& path) : zip_(unzOpen64(QFile::encodeName(path).constData())) {
        if (zip_ == nullptr)
            throw XlsxError(0,
                            QStringLiteral("the file is not an Excel workbook (.xlsx): it is not "
                                           "a zip archive"));
    }
    ~Workbook() { unzClose(zip_); }
    Workbook(const Workbook&) = delete;
    Workbook& operator=(const Workbook&) = delete;

    // Opens the part of the name; null when the archive has none. One part is open at a time.
    std::unique_ptr<Part> Open(const QString& part) {
        unz_file_info64 info{};
        if (unzLocateFile(zip_, part.toUtf8().constData(), 1) != UNZ_OK)
            return nullptr;
        if (unzGetCurrentFileInfo64(zip_, &info, nullptr, 0, nullptr, 0, nullptr, 0) != UNZ_OK ||
            unzOpenCurrentFile(zip_) != UNZ_OK)
            throw XlsxError(0,
                            QStringLiteral("the workbook's part %1 cannot be unpacked").arg(part));
        return std::make_unique<Part>(zip_, static_cast<qint64>(info.uncompressed_size));
    }

    std::unique_ptr<Part> Require(const QString& part) {
        std::unique_ptr<Part> file = Open(part);
        if (!file)
            throw XlsxError(0, QStringLiteral("the file is not an Excel workbook (.xlsx): it has "
                                              "no %1")
                                   .arg(part));
        return file;
    }

    static void Check(const QXmlStreamReader& xml, const QString& part) {
        if (xml.hasError())
            throw XlsxError(0, QStringLiteral("the workbook's part %1 is broken: %2")
                                   .arg(part, xml.errorString()));
    }

private:
    unzFile zip_;
};

const QString kWorkbook = QStringLiteral("xl/workbook.xml");
const QString kWorkbookRelationships = QStringLiteral("xl/_rels/workbook.xml.rels");

class SheetReader {
public:
    SheetReader(const XlsxReader::RecordHandler& onRecord, const XlsxReader::CellProblem& onProblem)
        : onRecord_(onRecord), onProblem_(onProblem) {}

    QString Read(const QString& path, const QString& wanted, const XlsxReader::Progress& progress) {
        Workbook workbook(path);
        const QHash<QString, Relationship> relationships = ReadRelationships(workbook);
        struct Sheet {
            QString name;
            QString id;
        };
        QList<Sheet> sheets;
        {
            const std::unique_ptr<Part> file = workbook.Require(kWorkbook);
            QXmlStreamReader xml(file.get());
            while (!xml.atEnd()) {
                if (xml.readNext() != QXmlStreamReader::StartElement)
                    continue;
                if (xml.name() == u"sheet") {
                    sheets.append({xml.attributes().value(QLatin1String("name")).toString(),
                                   RelationshipId(xml.attributes())});
                } else if (xml.name() == u"workbookPr") {
                    const QStringView date1904 = xml.attributes().value(QLatin1String("date1904"));
                    dayZero_ = date1904 == u"1" || date1904 == u"true" ? QDate(1904, 1, 1)
                                                                       : QDate(1899, 12, 30);
                }
            }
            Workbook::Check(xml, kWorkbook);
        }
        QStringList names;
        for (const Sheet& sheet : sheets)
            names.append(sheet.name);
        if (sheets.isEmpty())
            throw XlsxError(0, QStringLiteral("the workbook has no sheet"));
        qsizetype chosen = 0;
        if (!wanted.isEmpty()) {
            chosen = names.indexOf(wanted);
            if (chosen < 0)
                throw XlsxError(0, QStringLiteral("the workbook has no sheet named %1; its sheets "
                                                  "are %2")
                                       .arg(wanted, names.join(QStringLiteral(", "))));
        }
        const Relationship sheet = relationships.value(sheets[chosen].id);
        if (sheet.part.isEmpty())
            throw XlsxError(0, QStringLiteral("the workbook does not say where its sheet %1 is")
                                   .arg(names[chosen]));
        for (const Relationship& relationship : relationships) {
            if (relationship.type.endsWith(QLatin1String("/sharedStrings")))
                ReadSharedStrings(workbook, relationship.part);
            else if (relationship.type.endsWith(QLatin1String("/styles")))
                ReadStyles(workbook, relationship.part);
        }
        ReadRows(*workbook.Require(sheet.part), sheet.part, progress);
        return names[chosen];
    }

private:
    static QHash<QString, Relationship> ReadRelationships(Workbook& workbook) {
        QHash<QString, Relationship> relationships;
        const std::unique_ptr<Part> file = workbook.Require(kWorkbookRelationships);
        QXmlStreamReader xml(file.get());
        while (!xml.atEnd()) {
            if (xml.readNext() != QXmlStreamReader::StartElement || xml.name() != u"Relationship")
                continue;
            const QXmlStreamAttributes attributes = xml.attributes();
            const QString target = attributes.value(QLatin1String("Target")).toString();
            // A target is relative to the workbook's folder, or absolute from the archive's top.
            const QString part = target.startsWith(u'/')
                                     ? target.mid(1)
                                     : QDir::cleanPath(QStringLiteral("xl/") + target);
            relationships.insert(attributes.value(QLatin1String("Id")).toString(),
                                 {attributes.value(QLatin1String("Type")).toString(), part});
        }
        Workbook::Check(xml, kWorkbookRelationships);
        return relationships;
    }

    // The text of an <si> or <is> element, its runs joined; phonetic guides left out.
    static QString ReadText(QXmlStreamReader& xml) {
        QString text;
        const QString element = xml.name().toString();
        while (!xml.atEnd()) {
            const QXmlStreamReader::TokenType token = xml.readNext();
            if (token == QXmlStreamReader::EndElement && xml.name() == element)
                break;
            if (token != QXmlStreamReader::StartElement)
                continue;
            if (xml.name() == u"rPh")
                xml.skipCurrentElement();
            else if (xml.name() == u"t")
                text += xml.readElementText();
        }
        return Unescape(text);
    }

    void ReadSharedStrings(Workbook& workbook, const QString& part) {
        const std::unique_ptr<Part> file = workbook.Open(part);
        if (!file)
            return;
        QXmlStreamReader xml(file.get());
        while (!xml.atEnd())
            if (xml.readNext() == QXmlStreamReader::StartElement && xml.name() == u"si")
                strings_.append(ReadText(xml));
        Workbook::Check(xml, part);
    }

    // Which cell styles show dates: a style's number format is a built-in date format or a
    // format code of the workbook's own with date parts.
    void ReadStyles(Workbook& workbook, const QString& part) {
        const std::unique_ptr<Part> file = workbook.Open(part);
        if (!file)
            return;
        QHash<int, QString> codes;
        bool inCellStyles = false;
        QXmlStreamReader xml(file.get());
        while (!xml.atEnd()) {
            const QXmlStreamReader::TokenType token = xml.readNext();
            if (token == QXmlStreamReader::EndElement && xml.name() == u"cellXfs")
                inCellStyles = false;
            if (token != QXmlStreamReader::StartElement)
                continue;
            const QXmlStreamAttributes attributes = xml.attributes();
            const int format = attributes.value(QLatin1String("numFmtId")).toInt();
            if (xml.name() == u"numFmt") {
                codes.insert(format, attributes.value(QLatin1String("formatCode")).toString());
            } else if (xml.name() == u"cellXfs") {
                inCellStyles = true;
            } else if (inCellStyles && xml.name() == u"xf") {
                const auto code = codes.constFind(format);
                dateStyles_.append(code != codes.constEnd() ? IsDateCode(code.value())
                                                            : IsBuiltInDateFormat(format));
            }
        }
        Workbook::Check(xml, part);
    }

    void ReadRows(Part& file, const QString& part, const XlsxReader::Progress& progress) {
        const qint64 size = file.size();
        QXmlStreamReader xml(&file);
        int line = 0;
        qint64 rows = 0;
        while (!xml.atEnd()) {
            const QXmlStreamReader::TokenType token = xml.readNext();
            if (token == QXmlStreamReader::StartElement && xml.name() == u"row") {
                const int numbered = xml.attributes().value(QLatin1String("r")).toInt();
                line = numbered > 0 ? numbered : line + 1;
                fields_.clear();
                column_ = -1;
                filled_ = 0;
            } else if (token == QXmlStreamReader::StartElement && xml.name() == u"c") {
                ReadCell(xml, line);
            } else if (token == QXmlStreamReader::EndElement && xml.name() == u"row") {
                EndRow(line);
                if (progress && ++rows % 1000 == 0)
                    progress(file.pos(), size);
            }
        }
        if (xml.hasError())
            throw XlsxError(line, QStringLiteral("the sheet (%1) is broken after row %2: %3")
                                      .arg(part)
                                      .arg(line)
                                      .arg(xml.errorString()));
        if (progress)
            progress(size, size);
    }

    void ReadCell(QXmlStreamReader& xml, int line) {
        const QXmlStreamAttributes attributes = xml.attributes();
        const QStringView reference = attributes.value(QLatin1String("r"));
        column_ = reference.isEmpty() ? column_ + 1 : ColumnOf(reference);
        if (column_ < 0 || column_ >= kColumnCount)
            throw XlsxError(line, QStringLiteral("row %1 has a cell at %2, beyond column XFD")
                                      .arg(line)
                                      .arg(reference));
        const QString type = attributes.value(QLatin1String("t")).toString();
        const int style = attributes.value(QLatin1String("s")).toInt();
        QString stored;
        bool inlineText = false;
        while (!xml.atEnd()) {
            const QXmlStreamReader::TokenType token = xml.readNext();
            if (token == QXmlStreamReader::EndElement && xml.name() == u"c")
                break;
            if (token != QXmlStreamReader::StartElement)
                continue;
            if (xml.name() == u"v") {
                stored = xml.readElementText();
            } else if (xml.name() == u"is") {
                stored = ReadText(xml);
                inlineText = true;
            } else {
                xml.skipCurrentElement(); // a formula: its result is in <v>
            }
        }
        const QString value = Value(line, type, style, stored, inlineText);
        if (value.isEmpty())
            return;
        if (fields_.size() <= column_)
            fields_.resize(column_ + 1);
        fields_[column_] = value;
        filled_ = qMax(filled_, column_ + 1);
    }

    // The cell's text; empty for an empty cell and for one that is refused.
    QString Value(int line, const QString& type, int style, const QString& stored,
                  bool inlineText) {
        const auto refuse = [&](const QString& shown, const QString& reason) {
            onProblem_(line, Letters(column_), shown, reason);
            return QString();
        };
        if (type == u"inlineStr" || inlineText)
            return stored;
        if (type == u"str")
            return Unescape(stored);
        if (stored.isEmpty())
            return QString();
        if (type == u"s") {
            bool number = false;
            const int index = stored.toInt(&number);
            if (!number || index < 0 || index >= strings_.size())
                return refuse(stored,
                              QStringLiteral("the workbook has no shared text %1").arg(stored));
            return strings_[index];
        }
        if (type == u"b")
            return refuse(stored == u"1" ? QStringLiteral("TRUE") : QStringLiteral("FALSE"),
                          QStringLiteral("a true/false value, not a number or text"));
        if (type == u"e")
            return refuse(stored, QStringLiteral("an error value, not a number or text"));
        if (type == u"d")
            return refuse(stored, QStringLiteral("a date, not a number or text"));
        if (!type.isEmpty() && type != u"n")
            return refuse(stored, QStringLiteral("a cell of an unknown type \"%1\"").arg(type));
        bool number = false;
        const double x = stored.toDouble(&number);
        if (!number || !std::isfinite(x))
            return refuse(stored, QStringLiteral("not a number, though stored as one"));
        if (style >= 0 && style < dateStyles_.size() && dateStyles_[style]) {
            const QDateTime when =
                QDateTime(dayZero_, QTime(0, 0), Qt::UTC).addMSecs(std::llround(x * 86400000.0));
            return refuse(when.toString(x == std::floor(x) ? QStringLiteral("yyyy-MM-dd")
                                                           : QStringLiteral("yyyy-MM-dd HH:mm:ss")),
                          QStringLiteral("a date, not a number or text"));
        }
        if (x != std::floor(x))
            return stored;
        if (std::fabs(x) < kLargestWhole)
            return QString::number(static_cast<qint64>(x));
        return QString::number(x, 'f', 0);
    }

    void EndRow(int line) {
        if (filled_ == 0)
            return;
        fields_.resize(filled_);
        if (width_ < 0)
            width_ = filled_;
        else if (fields_.size() < width_)
            fields_.resize(width_);
        onRecord_(XlsxReader::Record{line, fields_});
    }

    const XlsxReader::RecordHandler& onRecord_;
    const XlsxReader::CellProblem& onProblem_;
    QStringList strings_;
    QVector<bool> dateStyles_;
    QDate dayZero_ = QDate(1899, 12, 30);
    QStringList fields_;
    int column_ = -1;
    int filled_ = 0;
    qsizetype width_ = -1;
};

} // namespace

quint32 XlsxReader::LastRowOf(const QString& path, const QString& part) {
    Workbook workbook(path);
    const std::unique_ptr<Part> sheet = workbook.Require(part);
    // The end of the part, enough of it to hold a whole row.
    constexpr qsizetype kKept = 1 << 18;
    QByteArray tail;
    QByteArray buffer(1 << 16, Qt::Uninitialized);
    for (qint64 read; (read = sheet->read(buffer.data(), buffer.size())) != 0;) {
        if (read < 0)
            throw XlsxError(
                0, QStringLiteral("the workbook's part %1 %2").arg(part, sheet->errorString()));
        tail.append(buffer.constData(), read);
        if (tail.size() > 2 * kKept)
            tail.remove(0, tail.size() - kKept);
    }
    static const QByteArray kRowStart("<row r=\"");
    const qsizetype at = tail.lastIndexOf(kRowStart);
    if (at < 0)
        return 0;
    const qsizetype from = at + kRowStart.size();
    return tail.mid(from, tail.indexOf('"', from) - from).toUInt();
}

QString XlsxReader::Read(const QString& path, const QString& sheet, const RecordHandler& onRecord,
                         const CellProblem& onProblem, const Progress& progress) {
    return SheetReader(onRecord, onProblem).Read(path, sheet, progress);
}

} // namespace exchange
