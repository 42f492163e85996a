#include "exchange/CsvReader.h"

#include <algorithm>
#include <csv.h>

namespace exchange {

namespace {

int NoBlanks(unsigned char) {
    return 0;
}

int LineBreak(unsigned char c) {
    return c == '\r' || c == '\n';
}

} // namespace

// The parser and what its callbacks share.
struct CsvReader::State {
    csv_parser parser;
    RecordHandler onRecord;
    Record record;
    int line = 1;          // the line the next record starts on
    int linesInRecord = 0; // line breaks inside the quoted fields of the current record
    int previousTerminator = 0;
    int linesFed = 0; // line breaks in the pieces fed before the current one

    static void OnField(void* data, size_t size, void* context) {
        auto* state = static_cast<State*>(context);
        const char* bytes = static_cast<const char*>(data);
        for (size_t i = 0; i < size; ++i)
            state->linesInRecord += bytes[i] == '\n';
        state->record.fields.append(QString::fromUtf8(bytes, static_cast<qsizetype>(size)));
    }

    static void OnRecordEnd(int terminator, void* context) {
        auto* state = static_cast<State*>(context);
        const bool lineEnd = terminator == '\r' || terminator == '\n';
        if (state->record.fields.isEmpty()) {
            // A line break outside any record: the LF of a CRLF, or a blank line.
            const bool secondHalfOfCrLf = terminator == '\n' && state->previousTerminator == '\r';
            if (lineEnd && !secondHalfOfCrLf)
                ++state->line;
        } else {
            state->record.line = state->line;
            state->onRecord(state->record);
            state->record.fields.clear();
            state->line += state->linesInRecord + (lineEnd ? 1 : 0);
            state->linesInRecord = 0;
        }
        state->previousTerminator = terminator;
    }
};

CsvSyntaxError::CsvSyntaxError(int line, const QString& reason)
    : std::runtime_error(QStringLiteral("line %1: %2").arg(line).arg(reason).toStdString()),
      line_(line), reason_(reason) {}

CsvReader::CsvReader(RecordHandler onRecord, char separator) : state_(std::make_unique<State>()) {
    if (csv_init(&state_->parser, CSV_STRICT | CSV_STRICT_FINI | CSV_REPALL_NL) != 0)
        throw std::bad_alloc();
    csv_set_delim(&state_->parser, static_cast<unsigned char>(separator));
    // Blanks around a value are the user's: the detail screen's rules trim what they must.
    csv_set_space_func(&state_->parser, NoBlanks);
    csv_set_term_func(&state_->parser, LineBreak);
    state_->onRecord = std::move(onRecord);
}

CsvReader::~CsvReader() {
    csv_free(&state_->parser);
}

void CsvReader::Feed(QByteArrayView text) {
    const size_t parsed = csv_parse(&state_->parser, text.data(), static_cast<size_t>(text.size()),
                                    &State::OnField, &State::OnRecordEnd, state_.get());
    if (parsed != static_cast<size_t>(text.size())) {
        const qsizetype at = static_cast<qsizetype>(parsed);
        throw CsvSyntaxError(1 + state_->linesFed + static_cast<int>(text.first(at).count('\n')),
                             text.at(at) == '"'
                                 ? QStringLiteral("a quote inside a field that is not quoted "
                                                  "(quote the field and double the quote)")
                                 : QStringLiteral("a quote inside a quoted field is not doubled"));
    }
    state_->linesFed += static_cast<int>(text.count('\n'));
}

void CsvReader::Finish() {
    if (csv_fini(&state_->parser, &State::OnField, &State::OnRecordEnd, state_.get()) != 0)
        throw CsvSyntaxError(state_->line,
                             QStringLiteral("a quote that opens a field here is never closed"));
}

char CsvReader::SeparatorOf(QByteArrayView text) {
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

} // namespace exchange
