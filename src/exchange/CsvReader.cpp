#include "exchange/CsvReader.h"

#include <algorithm>
#include <csv.h>

namespace exchange {

namespace {

constexpr qsizetype kChunk = 1 << 20;

// The state the parser's callbacks share.
struct ParseState {
    const CsvReader::RecordHandler* onRecord;
    CsvReader::Record record;
    int line = 1;          // the line the next record starts on
    int linesInRecord = 0; // line breaks inside the quoted fields of the current record
    int previousTerminator = 0;
};

void OnField(void* data, size_t size, void* context) {
    auto* state = static_cast<ParseState*>(context);
    const char* bytes = static_cast<const char*>(data);
    for (size_t i = 0; i < size; ++i)
        state->linesInRecord += bytes[i] == '\n';
    state->record.fields.append(QString::fromUtf8(bytes, static_cast<qsizetype>(size)));
}

void OnRecordEnd(int terminator, void* context) {
    auto* state = static_cast<ParseState*>(context);
    const bool lineEnd = terminator == '\r' || terminator == '\n';
    if (state->record.fields.isEmpty()) {
        // A line break outside any record: the LF of a CRLF, or a blank line.
        const bool secondHalfOfCrLf = terminator == '\n' && state->previousTerminator == '\r';
        if (lineEnd && !secondHalfOfCrLf)
            ++state->line;
    } else {
        state->record.line = state->line;
        (*state->onRecord)(state->record);
        state->record.fields.clear();
        state->line += state->linesInRecord + (lineEnd ? 1 : 0);
        state->linesInRecord = 0;
    }
    state->previousTerminator = terminator;
}

int NoBlanks(unsigned char) {
    return 0;
}

int LineBreak(unsigned char c) {
    return c == '\r' || c == '\n';
}

int LineOf(const QByteArray& text, qsizetype position) {
    return 1 + static_cast<int>(text.left(position).count('\n'));
}

} // namespace

CsvSyntaxError::CsvSyntaxError(int line, const QString& reason)
    : std::runtime_error(QStringLiteral("line %1: %2").arg(line).arg(reason).toStdString()),
      line_(line), reason_(reason) {}

char CsvReader::SeparatorOf(const QByteArray& text) {
    int counts[3] = {};
    const char separators[3] = {',', ';', '\t'};
    bool quoted = false;
    for (const char c : text) {
        if (c == '"')
            quoted = !quoted;
        else if (!quoted && (c == '\n' || c == '\r'))
            break;
        else if (!quoted)
            for (int i = 0; i < 3; ++i)
                counts[i] += c == separators[i];
    }
    const int most = int(std::max_element(counts, counts + 3) - counts);
    return counts[most] > 0 ? separators[most] : ',';
}

void CsvReader::Parse(const QByteArray& text, const RecordHandler& onRecord,
                      const Progress& progress, char separator) {
    csv_parser parser;
    if (csv_init(&parser, CSV_STRICT | CSV_STRICT_FINI | CSV_REPALL_NL) != 0)
        throw std::bad_alloc();
    csv_set_delim(&parser, static_cast<unsigned char>(separator));
    // Blanks around a value are the user's: the detail screen's rules trim what they must.
    csv_set_space_func(&parser, NoBlanks);
    csv_set_term_func(&parser, LineBreak);
    ParseState state;
    state.onRecord = &onRecord;
    struct Release {
        csv_parser* parser;
        ~Release() { csv_free(parser); }
    } release{&parser};
    for (qsizetype done = 0; done < text.size(); done += kChunk) {
        const qsizetype size = std::min(kChunk, text.size() - done);
        const size_t parsed =
            csv_parse(&parser, text.constData() + done, size, OnField, OnRecordEnd, &state);
        if (parsed != static_cast<size_t>(size)) {
            const qsizetype at = done + static_cast<qsizetype>(parsed);
            throw CsvSyntaxError(LineOf(text, at),
                                 text.at(at) == '"'
                                     ? QStringLiteral("a quote inside a field that is not quoted "
                                                      "(quote the field and double the quote)")
                                     : QStringLiteral("a quote inside a quoted field is not "
                                                      "doubled"));
        }
        if (progress)
            progress(done + size);
    }
    if (csv_fini(&parser, OnField, OnRecordEnd, &state) != 0)
        throw CsvSyntaxError(state.line,
                             QStringLiteral("a quote that opens a field here is never closed"));
}

} // namespace exchange
