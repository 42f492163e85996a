#include "data/PgEngine.h"

#include "data/DbError.h"
#include "data/Query.h"
#include "data/TextOrder.h"
#include "data/Wait.h"

#include <QElapsedTimer>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSysInfo>
#include <chrono>
#include <future>
#include <libpq-fe.h>
#include <poll.h>
#include <pwd.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace db {

namespace {

const Oid kInt8 = 20;
const Oid kInt2 = 21;
const Oid kInt4 = 23;
const Oid kFloat4 = 700;
const Oid kFloat8 = 701;

bool IsIntegerType(Oid type) {
    return type == kInt8 || type == kInt2 || type == kInt4;
}

// The kind of failure a SQLSTATE tells of.
ErrorKind KindForState(const QByteArray& state) {
    if (state == "55P03" || state == "40P01" || state == "40001")
        return ErrorKind::Busy; // a lock held elsewhere, waited for in vain
    if (state == "53100")
        return ErrorKind::DiskFull;
    if (state == "25006")
        return ErrorKind::ReadOnly; // a read-only transaction or server, such as a replica
    if (state == "42501")
        return ErrorKind::PermissionDenied;
    if (state == "42P01" || state == "42703")
        return ErrorKind::NotADirectory; // the program's own statements: table or column missing
    const QByteArray stateClass = state.left(2);
    if (stateClass == "23" || stateClass == "22")
        return ErrorKind::ValueRefused;
    if (stateClass == "28")
        return ErrorKind::AuthRefused;
    return ErrorKind::Other;
}

// The connection failed, or the server is shutting down or restarting.
bool IsServerGone(const QByteArray& state) {
    return state.startsWith("08") || state.startsWith("57P");
}

QString Trimmed(const char* message) {
    return QString::fromUtf8(message).trimmed();
}

// libpq tells why a connection failed only in words.
ErrorKind KindOfConnectionFailure(const QString& message) {
    if (message.contains(QLatin1String("no password supplied")))
        return ErrorKind::PasswordMissing;
    if (message.contains(QLatin1String("certificate")))
        return ErrorKind::CertificateRefused;
    if (message.contains(QLatin1String("authentication failed")) ||
        message.contains(QLatin1String("no pg_hba.conf entry")) ||
        (message.contains(QLatin1String("role \"")) &&
         message.contains(QLatin1String("does not exist"))))
        return ErrorKind::AuthRefused;
    return ErrorKind::ServerUnreachable;
}

[[noreturn]] void ThrowConnectionError(PGconn* conn) {
    const QString message = Trimmed(PQerrorMessage(conn));
    if (PQstatus(conn) == CONNECTION_BAD) {
        const ErrorKind kind = KindOfConnectionFailure(message);
        if (kind != ErrorKind::ServerUnreachable)
            throw Error(kind, message);
        throw ServerLostError(message);
    }
    // The client library refused, the connection is sound.
    throw Error(ErrorKind::Other, message);
}

[[noreturn]] void ThrowResultError(PGconn* conn, const PGresult* result) {
    const char* state = result != nullptr ? PQresultErrorField(result, PG_DIAG_SQLSTATE) : nullptr;
    if (state == nullptr) // no answer from the server at all: the connection broke
        ThrowConnectionError(conn);
    const QString message = Trimmed(PQresultErrorMessage(result));
    const QString code = QStringLiteral("SQLSTATE %1").arg(QString::fromLatin1(state));
    if (IsServerGone(QByteArray(state)))
        throw ServerLostError(message, code);
    throw Error(KindForState(QByteArray(state)), message, code);
}

class Result {
public:
    explicit Result(PGresult* result = nullptr) : result_(result) {}
    ~Result() { PQclear(result_); }
    Result(const Result&) = delete;
    Result& operator=(const Result&) = delete;
    PGresult* get() const { return result_; }
    void reset(PGresult* result = nullptr) {
        PQclear(result_);
        result_ = result;
    }
    PGresult* release() {
        PGresult* result = result_;
        result_ = nullptr;
        return result;
    }

private:
    PGresult* result_;
};

// Parameters as the server's text form; a null stays null.
class Parameters {
public:
    explicit Parameters(const QVariantList& values) {
        texts_.reserve(values.size());
        for (const QVariant& value : values)
            texts_.push_back(value.isNull() ? QByteArray() : value.toString().toUtf8());
        for (int i = 0; i < values.size(); ++i)
            pointers_.push_back(values[i].isNull() ? nullptr : texts_[i].constData());
    }
    int count() const { return static_cast<int>(pointers_.size()); }
    const char* const* values() const { return pointers_.data(); }

private:
    std::vector<QByteArray> texts_;
    std::vector<const char*> pointers_;
};

// How long the program waits for an answer before it gives the connection up: 15 s, or a little
// more than the statement_timeout that the connection string's options give the server, so that a
// server that answers cancels first. One server per process: the last one connected sets it.
qint64 answerLimitMs = 15000;

qint64 AnswerLimitFor(const QByteArray& conninfo) {
    constexpr qint64 kDefault = 15000;
    PQconninfoOption* options = PQconninfoParse(conninfo.constData(), nullptr);
    if (options == nullptr)
        return kDefault;
    qint64 limit = kDefault;
    for (PQconninfoOption* option = options; option->keyword != nullptr; ++option) {
        if (qstrcmp(option->keyword, "options") != 0 || option->val == nullptr)
            continue;
        const QRegularExpressionMatch match =
            QRegularExpression(QStringLiteral("statement_timeout\\s*=\\s*(\\d+)"))
                .match(QString::fromUtf8(option->val));
        if (match.hasMatch() && match.captured(1).toLongLong() > 0)
            limit = match.captured(1).toLongLong() + 1000;
    }
    PQconninfoFree(options);
    return limit;
}

// Asks the server to cancel the statement under way. The request is a connection of its own,
// which a server out of reach would hold for minutes, so it is sent from a thread of its own; the
// future it returns is ready once the server has taken the request (or refused the connection).
std::future<void> SendCancel(PGconn* conn) {
    PGcancel* cancel = PQgetCancel(conn);
    if (cancel == nullptr)
        return {};
    std::promise<void> taken;
    std::future<void> answer = taken.get_future();
    std::thread([cancel, taken = std::move(taken)]() mutable {
        char error[256];
        PQcancel(cancel, error, sizeof error);
        PQfreeCancel(cancel);
        taken.set_value();
    }).detach();
    return answer;
}

// Gives the connection up: the server ends whatever transaction it held when it next reads from
// it, and the next statement connects anew.
void GiveUp(PGconn* conn) {
    shutdown(PQsocket(conn), SHUT_RDWR);
    PQconsumeInput(conn); // sees the end of the connection
}

// Cancels the statement under way and waits until the server has taken the request, giving the
// user interface its turns: sent later, the request could reach the next statement instead. False
// when the wait was given up (by the user or at the limit), and the connection with it.
bool CancelStatement(PGconn* conn) {
    constexpr auto kTurn = std::chrono::milliseconds(20);
    const std::future<void> taken = SendCancel(conn);
    if (!taken.valid())
        return true;
    QElapsedTimer waited;
    waited.start();
    const auto done = qScopeGuard([] { WaitDone(); });
    while (taken.wait_for(kTurn) != std::future_status::ready) {
        if (WaitTurn(waited.elapsed(), answerLimitMs, true) != WaitAnswer::KeepWaiting) {
            GiveUp(conn);
            return false;
        }
    }
    return true;
}

// Waits until the answer to what was sent can be read without blocking, giving the user interface
// its turns meanwhile. False when the wait was given up, and the connection with it; `why` says
// whether the user or the limit ended it.
bool AwaitAnswer(PGconn* conn, WaitAnswer* why = nullptr) {
    constexpr int kTurnMs = 20;
    QElapsedTimer waited;
    waited.start();
    bool turned = false;
    const auto done = qScopeGuard([&turned] {
        if (turned)
            WaitDone();
    });
    pollfd socket{PQsocket(conn), POLLIN, 0};
    while (PQconsumeInput(conn) != 0 && PQisBusy(conn) != 0) {
        poll(&socket, 1, kTurnMs);
        turned = true;
        const WaitAnswer answer = WaitTurn(waited.elapsed(), answerLimitMs, true);
        if (answer != WaitAnswer::KeepWaiting) {
            // A user who stops waiting asks the server to cancel the statement first, as a
            // courtesy to it; nobody waits for that request.
            if (answer == WaitAnswer::Cancel)
                SendCancel(conn);
            GiveUp(conn);
            if (why != nullptr)
                *why = answer;
            return false;
        }
    }
    return true;
}

void AwaitAnswerOrThrow(PGconn* conn) {
    WaitAnswer why = WaitAnswer::KeepWaiting;
    if (AwaitAnswer(conn, &why))
        return;
    if (why == WaitAnswer::Cancel)
        throw ServerLostError(QStringLiteral("stopped waiting for the server; the connection was "
                                             "given up"),
                              QString(), false, ErrorKind::Cancelled);
    throw ServerLostError(QStringLiteral("the server did not answer within %1 ms; the "
                                         "connection was given up")
                              .arg(answerLimitMs),
                          QString(), false, ErrorKind::NoAnswer);
}

// The results after the last one read; a wait given up leaves nothing to read.
void Drain(PGconn* conn) {
    while (AwaitAnswer(conn)) {
        PGresult* rest = PQgetResult(conn);
        if (rest == nullptr)
            return;
        PQclear(rest);
    }
}

// Runs one statement to its end; the extended protocol refuses text with more than one.
Result Run(PGconn* conn, const QString& sql, const QVariantList& values = {}) {
    const QByteArray text = sql.toUtf8();
    const Parameters parameters(values);
    if (PQsendQueryParams(conn, text.constData(), parameters.count(), nullptr, parameters.values(),
                          nullptr, nullptr, 0) != 1)
        ThrowConnectionError(conn);
    AwaitAnswerOrThrow(conn);
    Result result(PQgetResult(conn));
    Drain(conn);
    const ExecStatusType status = PQresultStatus(result.get());
    if (result.get() == nullptr || (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK))
        ThrowResultError(conn, result.get());
    return Result(result.release());
}

// A column name as the server stores an unquoted one: ASCII letters in lower case, other
// letters as they are. The program's statements name columns unquoted, so the table is made so.
QString Column(const QString& name) {
    QString folded = name;
    for (QChar& c : folded)
        if (c >= QLatin1Char('A') && c <= QLatin1Char('Z'))
            c = QChar(c.unicode() + ('a' - 'A'));
    return QuoteIdentifier(folded);
}

QStringList Quoted(const QStringList& names) {
    QStringList quoted;
    for (const QString& name : names)
        quoted.append(Column(name));
    return quoted;
}

QString Placeholders(int from, int count) {
    QStringList placeholders;
    for (int i = 0; i < count; ++i)
        placeholders.append(QStringLiteral("$%1").arg(from + i));
    return placeholders.join(QLatin1Char(','));
}

// Whether the statement is a query that a cursor can run.
bool IsSelect(const QString& sql) {
    const QString text = sql.trimmed();
    return text.startsWith(QLatin1String("select"), Qt::CaseInsensitive) &&
           (text.size() == 6 || !text.at(6).isLetterOrNumber());
}

// The rows of a statement as the server sends them. A query runs through a cursor, so that the
// server plans for the first rows (reading the key's index backwards rather than sorting every
// match first); outside a transaction the cursor has a read transaction of its own. The cursor
// hands out its rows in batches, a screenful first, and the next batch is asked for while this
// one is read, so the server works while the rows are shown. A batch the reader waited long for
// makes the next one smaller, one that was there at once the next one larger: the reader (a fill
// that a stop click must reach) is never held long, whether matches are dense or rare. Memory
// holds two batches at most, not the whole answer. Any other statement comes one result a row
// (libpq's single-row mode).
class PgRowStream : public RowStream {
public:
    static constexpr int kFirstBatchRows = 50;
    static constexpr int kSmallestBatchRows = 10;
    static constexpr int kLargestBatchRows = 2000;
    static constexpr int kLongestWaitMs = 10;

    PgRowStream(PGconn* conn, const QString& sql, const QVariantList& parameters = {})
        : conn_(conn) {
        if (IsSelect(sql)) {
            static quint64 cursors = 0;
            cursor_ = QStringLiteral("orvandel_rows_%1").arg(++cursors);
            ownTransaction_ = PQtransactionStatus(conn_) == PQTRANS_IDLE;
            if (ownTransaction_)
                Run(conn_, QStringLiteral("BEGIN"));
            try {
                Run(conn_, QStringLiteral("DECLARE %1 NO SCROLL CURSOR FOR %2").arg(cursor_, sql),
                    parameters);
            } catch (...) {
                EndCursor(false);
                throw;
            }
            batched_ = true;
            SendFetch(kFirstBatchRows);
            meta_.reset(TakeBatch());
            if (PQntuples(meta_.get()) == 0)
                Finish();
            else
                firstPending_ = true;
            return;
        }
        Send(sql, parameters);
        PQsetSingleRowMode(conn_);
        AwaitAnswerOrThrow(conn_);
        meta_.reset(PQgetResult(conn_));
        switch (PQresultStatus(meta_.get())) {
        case PGRES_SINGLE_TUPLE:
            firstPending_ = true;
            break;
        case PGRES_TUPLES_OK:
        case PGRES_COMMAND_OK:
            Finish();
            break;
        default:
            Fail(meta_.get());
        }
    }

    ~PgRowStream() override {
        if (!done_) {
            // Left before its end (a stop). What the server is still making (the batch asked for
            // ahead, or a statement without a cursor) it need not finish.
            PQconsumeInput(conn_);
            if (PQisBusy(conn_) && !CancelStatement(conn_))
                return; // the connection was given up: nothing is left to read or end
            Drain(conn_);
            EndCursor(false);
        }
    }

    int ColumnCount() const override { return PQnfields(meta_.get()); }
    QString ColumnName(int column) const override {
        return QString::fromUtf8(PQfname(meta_.get(), column));
    }
    bool IsIntegerColumn(int column) const override {
        return IsIntegerType(PQftype(meta_.get(), column));
    }

    bool Next() override {
        if (done_)
            return false;
        if (firstPending_) {
            firstPending_ = false;
            current_ = meta_.get();
            return true;
        }
        if (batched_)
            return NextFromBatches();
        current_ = nullptr;
        Await();
        row_.reset(PQgetResult(conn_));
        switch (PQresultStatus(row_.get())) {
        case PGRES_SINGLE_TUPLE:
            current_ = row_.get();
            return true;
        case PGRES_TUPLES_OK:
            row_.reset();
            Finish();
            return false;
        default:
            Fail(row_.get());
        }
    }

    QByteArrayView Text(int column) const override {
        if (PQgetisnull(current_, currentRow_, column))
            return QByteArrayView();
        return QByteArrayView(PQgetvalue(current_, currentRow_, column),
                              PQgetlength(current_, currentRow_, column));
    }

    QVariant Value(int column) const override {
        if (PQgetisnull(current_, currentRow_, column))
            return QVariant();
        const char* text = PQgetvalue(current_, currentRow_, column);
        const Oid type = PQftype(current_, column);
        if (IsIntegerType(type))
            return QVariant(static_cast<qint64>(std::strtoll(text, nullptr, 10)));
        if (type == kFloat8 || type == kFloat4)
            return QVariant(std::strtod(text, nullptr));
        return QVariant(QString::fromUtf8(text, PQgetlength(current_, currentRow_, column)));
    }

    const PGresult* meta() const { return meta_.get(); }

private:
    bool NextFromBatches() {
        if (++currentRow_ < PQntuples(current_))
            return true;
        if (!batchAhead_) {
            Finish();
            return false;
        }
        current_ = nullptr;
        row_.reset(TakeBatch());
        current_ = row_.get();
        currentRow_ = 0;
        if (PQntuples(current_) > 0)
            return true;
        Finish();
        return false;
    }

    void Send(const QString& statement, const QVariantList& values = {}) {
        const QByteArray text = statement.toUtf8();
        const Parameters parameters(values);
        if (PQsendQueryParams(conn_, text.constData(), parameters.count(), nullptr,
                              parameters.values(), nullptr, nullptr, 0) != 1) {
            done_ = true;
            try {
                ThrowConnectionError(conn_);
            } catch (...) {
                EndCursor(false);
                throw;
            }
        }
    }

    void SendFetch(int rows) {
        Send(QStringLiteral("FETCH %1 FROM %2").arg(rows).arg(cursor_));
        batchRows_ = rows;
        batchAhead_ = true;
    }

    // Waits for the batch asked for; asks for the next one when this one is full, or ends the
    // cursor when it is the last.
    PGresult* TakeBatch() {
        QElapsedTimer waited;
        waited.start();
        Await();
        Result batch(PQgetResult(conn_));
        batchAhead_ = false;
        if (PQresultStatus(batch.get()) != PGRES_TUPLES_OK)
            Fail(batch.get());
        Drain(conn_);
        if (PQntuples(batch.get()) < batchRows_) {
            EndCursor(true);
            return batch.release();
        }
        const int next = waited.elapsed() > kLongestWaitMs
                             ? qMax(kSmallestBatchRows, batchRows_ / 2)
                             : qMin(kLargestBatchRows, batchRows_ * 2);
        SendFetch(next);
        return batch.release();
    }

    // Waits for the next result; a wait given up ends the rows.
    void Await() {
        try {
            AwaitAnswerOrThrow(conn_);
        } catch (...) {
            done_ = true;
            throw;
        }
    }

    void Finish() {
        done_ = true;
        Drain(conn_);
        EndCursor(true);
    }

    [[noreturn]] void Fail(const PGresult* result) {
        done_ = true;
        try {
            ThrowResultError(conn_, result);
        } catch (...) {
            Drain(conn_);
            EndCursor(false);
            throw;
        }
    }

    // Ends the cursor's own transaction, or closes the cursor in the caller's. Nothing here
    // changes the rows already read, so a failure is left for the next statement to meet.
    void EndCursor(bool completed) {
        if (cursor_.isEmpty() || PQstatus(conn_) != CONNECTION_OK)
            return;
        QString end = QStringLiteral("CLOSE ") + cursor_;
        if (ownTransaction_)
            end = completed ? QStringLiteral("COMMIT") : QStringLiteral("ROLLBACK");
        cursor_.clear();
        // A failed transaction of the caller's ends only with the caller's rollback.
        if (!ownTransaction_ && PQtransactionStatus(conn_) != PQTRANS_INTRANS)
            return;
        try {
            Run(conn_, end);
        } catch (const Error&) {
        }
    }

    PGconn* conn_;
    Result meta_; // the first result: the columns, and the first rows if there are any
    Result row_;  // the result after it that holds the current row
    const PGresult* current_ = nullptr;
    int currentRow_ = 0;
    bool firstPending_ = false;
    bool done_ = false;
    QString cursor_; // empty when the statement runs without one, or its cursor has ended
    bool ownTransaction_ = false;
    bool batched_ = false;    // the rows come in the cursor's batches
    int batchRows_ = 0;       // the rows the last batch asked for
    bool batchAhead_ = false; // a batch has been asked for and not taken yet
};

} // namespace

PgEngine::PgEngine(const QString& conninfo, int busyTimeoutMs) : busyTimeoutMs_(busyTimeoutMs) {
    const QByteArray info = conninfo.toUtf8();
    // A server that does not answer (a host switched off, a server that hangs, a cable pulled)
    // is given up on after a while rather than holding the window for good: a connect timeout,
    // and keepalives with a limit on unacknowledged data for a connection that goes quiet.
    // Before dbname, so that the connection string can say otherwise.
    const QByteArray desk = DeskName().toUtf8();
    const char* keywords[] = {"connect_timeout",
                              "keepalives",
                              "keepalives_idle",
                              "keepalives_interval",
                              "keepalives_count",
                              "tcp_user_timeout",
                              "dbname",
                              "client_encoding",
                              "fallback_application_name",
                              nullptr};
    const char* values[] = {
        "10", "1", "10", "5", "3", "20000", info.constData(), "UTF8", desk.constData(), nullptr};
    conn_ = PQconnectdbParams(keywords, values, 1);
    answerLimitMs = AnswerLimitFor(info);
    try {
        if (conn_ == nullptr)
            throw Error(ErrorKind::Other, QStringLiteral("out of memory"));
        // The server's notices ("already exists, skipping") are for a console, not for the user.
        PQsetNoticeProcessor(
            conn_, [](void*, const char*) {}, nullptr);
        if (PQstatus(conn_) != CONNECTION_OK)
            ThrowConnectionError(conn_);
        ApplySessionSettings();
    } catch (...) {
        PQfinish(conn_);
        throw;
    }
}

PgEngine::~PgEngine() {
    PQfinish(conn_);
}

void PgEngine::ApplySessionSettings() {
    Run(conn_, QStringLiteral("SET lock_timeout = %1").arg(busyTimeoutMs_));
    // No value is ever part of a statement's text; should one be, a backslash in it still
    // escapes nothing, whatever the role or the database has set.
    Run(conn_, QStringLiteral("SET standard_conforming_strings = on"));
    // Reads go through a cursor, whose default plan (0.1) walks every row in id order even when
    // the trigram index finds the few matches at once; 0.5 keeps that index and first rows fast.
    Run(conn_, QStringLiteral("SET cursor_tuple_fraction = 0.5"));
    // This program builds the search keys of the rows it writes before it commits; the store's
    // trigger marks them as waiting for that rather than as written by another program.
    Run(conn_, QStringLiteral("SET orvandel.search_keys = 'built at commit'"));
}

void PgEngine::ReadWhatTheServerSent() {
    pollfd socket{PQsocket(conn_), POLLIN, 0};
    while (PQstatus(conn_) == CONNECTION_OK && poll(&socket, 1, 0) > 0)
        if (PQconsumeInput(conn_) == 0)
            break;
}

pg_conn* PgEngine::Ready() {
    ReadWhatTheServerSent();
    if (PQstatus(conn_) == CONNECTION_OK)
        return conn_;
    // A transaction that was open went with the old connection; carrying on in a new one would
    // store half of it.
    if (inTransaction_)
        throw ServerLostError(QStringLiteral("the connection to the server was lost"));
    PQreset(conn_);
    if (PQstatus(conn_) != CONNECTION_OK)
        ThrowConnectionError(conn_);
    sources_.clear();
    ApplySessionSettings();
    return conn_;
}

QString PgEngine::Location() const {
    return QStringLiteral("%1/%2").arg(QString::fromUtf8(PQhost(conn_)),
                                       QString::fromUtf8(PQdb(conn_)));
}

void PgEngine::Execute(const QString& sql) {
    Run(Ready(), sql);
}

std::unique_ptr<RowStream> PgEngine::Query(const QString& sql) {
    return std::make_unique<PgRowStream>(Ready(), sql);
}

PgEngine::Statement PgEngine::SelectStatement(const db::Query& query) {
    Statement statement;
    statement.text = SelectText(query, statement);
    return statement;
}

QString PgEngine::SelectText(const db::Query& query, Statement& statement) {
    RequirePlainNames(query);
    QString text = QStringLiteral("SELECT ") +
                   (query.columns.isEmpty() ? QStringLiteral("*")
                                            : Quoted(query.columns).join(QLatin1Char(','))) +
                   QStringLiteral(" FROM ") + Column(query.table) + WhereText(query, statement);
    QStringList keys;
    for (const Order& order : query.order) {
        QString key = Column(order.column);
        if (order.asText)
            key += QStringLiteral(" COLLATE ") + kServerTextCollation;
        key += order.descending ? QStringLiteral(" DESC") : QStringLiteral(" ASC");
        // Empty values where the file puts them. Only here: the key's own order must stay as it
        // is, or the server would sort what its index already holds in order.
        if (order.asText)
            key +=
                order.descending ? QStringLiteral(" NULLS LAST") : QStringLiteral(" NULLS FIRST");
        keys.append(key);
    }
    if (!keys.isEmpty())
        text += QStringLiteral(" ORDER BY ") + keys.join(QStringLiteral(", "));
    return text;
}

PgEngine::Statement PgEngine::DeleteStatement(const db::Query& query) {
    RequirePlainNames(query);
    if (query.where.isEmpty())
        throw Error(ErrorKind::Misuse, QStringLiteral("a delete names the rows it deletes"));
    Statement statement;
    statement.text = QStringLiteral("DELETE FROM ") + Column(query.table);
    statement.text += WhereText(query, statement);
    return statement;
}

QString PgEngine::ConditionText(const Condition& condition, Statement& statement) {
    const auto placeholder = [&](const QVariant& value) {
        statement.parameters.append(value);
        return QStringLiteral("$%1").arg(statement.parameters.size());
    };
    switch (condition.test) {
    case Condition::Test::Contains:
        // As the file's like: ASCII case ignored ("C" collation), '%' and '_' wildcards, no
        // escape character.
        return Column(condition.column) + QStringLiteral(" ILIKE ") +
               placeholder(QLatin1Char('%') + condition.value.toString() + QLatin1Char('%')) +
               QStringLiteral(" ESCAPE ''");
    case Condition::Test::In: {
        QStringList numbers;
        for (const QVariant& number : condition.value.toList())
            numbers.append(QString::number(number.toLongLong()));
        return Column(condition.column) + QStringLiteral(" = ANY(") +
               placeholder(QLatin1Char('{') + numbers.join(QLatin1Char(',')) + QLatin1Char('}')) +
               QStringLiteral("::bigint[])");
    }
    case Condition::Test::AtLeast:
    case Condition::Test::AtMost:
        return QStringLiteral("coalesce(%1, 0) %2 %3")
            .arg(Column(condition.column),
                 condition.test == Condition::Test::AtLeast ? QStringLiteral(">=")
                                                            : QStringLiteral("<="),
                 placeholder(condition.value.toLongLong()));
    case Condition::Test::AllOf:
    case Condition::Test::AnyOf: {
        const bool all = condition.test == Condition::Test::AllOf;
        if (condition.parts.isEmpty())
            return all ? QStringLiteral("true") : QStringLiteral("false");
        QStringList parts;
        for (const Condition& part : condition.parts)
            parts.append(ConditionText(part, statement));
        return QLatin1Char('(') +
               parts.join(all ? QStringLiteral(" AND ") : QStringLiteral(" OR ")) +
               QLatin1Char(')');
    }
    case Condition::Test::InQuery:
        return Column(condition.column) + QStringLiteral(" IN (") +
               SelectText(*condition.query, statement) + QLatin1Char(')');
    case Condition::Test::Equals:
        break;
    }
    return Column(condition.column) + QStringLiteral(" = ") + placeholder(condition.value);
}

QString PgEngine::WhereText(const db::Query& query, Statement& statement) {
    QStringList conditions;
    for (const Condition& condition : query.where)
        conditions.append(ConditionText(condition, statement));
    return conditions.isEmpty()
               ? QString()
               : QStringLiteral(" WHERE ") + conditions.join(QStringLiteral(" AND "));
}

std::unique_ptr<RowStream> PgEngine::Query(const db::Query& query) {
    const Statement statement = SelectStatement(query);
    return std::make_unique<PgRowStream>(Ready(), statement.text, statement.parameters);
}

PgEngine::Statement PgEngine::TotalsStatement(const db::Query& query) {
    RequirePlainNames(query);
    Statement statement;
    QStringList sums = {QStringLiteral("count(*)")};
    for (const QString& column : query.columns)
        sums.append(QStringLiteral("coalesce(sum(%1), 0)").arg(Column(column)));
    for (const Condition& condition : query.counted)
        sums.append(
            QStringLiteral("count(*) FILTER (WHERE %1)").arg(ConditionText(condition, statement)));
    statement.text = QStringLiteral("SELECT ") + sums.join(QLatin1Char(',')) +
                     QStringLiteral(" FROM ") + Column(query.table);
    statement.text += WhereText(query, statement);
    return statement;
}

QList<qint64> PgEngine::Totals(const db::Query& query) {
    const Statement statement = TotalsStatement(query);
    const Result totals = Run(Ready(), statement.text, statement.parameters);
    QList<qint64> values;
    for (int column = 0; column < PQnfields(totals.get()); ++column) {
        bool isNumber = false;
        values.append(QByteArray(PQgetvalue(totals.get(), 0, column)).toLongLong(&isNumber));
        if (!isNumber)
            throw Error(ErrorKind::ValueRefused,
                        QStringLiteral("a total does not fit a 64-bit whole number"));
    }
    return values;
}

qint64 PgEngine::Delete(const db::Query& query) {
    const Statement statement = DeleteStatement(query);
    const Result deleted = Run(Ready(), statement.text, statement.parameters);
    return QByteArray(PQcmdTuples(deleted.get())).toLongLong();
}

RowSource PgEngine::SourceOf(const RowStream& stream) {
    const PGresult* meta = static_cast<const PgRowStream&>(stream).meta();
    const int count = PQnfields(meta);
    const Oid table = count > 0 ? PQftable(meta, 0) : InvalidOid;
    for (int i = 1; i < count; ++i)
        if (PQftable(meta, i) != table)
            return RowSource();
    if (table == InvalidOid)
        return RowSource();
    auto cached = sources_.constFind(table);
    if (cached == sources_.constEnd()) {
        // The table's name as the server writes it, and its one-column integer primary key.
        const Result found =
            Run(Ready(),
                QStringLiteral(
                    "SELECT c.oid::regclass::text, (SELECT a.attnum FROM pg_index i JOIN "
                    "pg_attribute a ON a.attrelid = i.indrelid AND a.attnum = i.indkey[0] WHERE "
                    "i.indrelid = c.oid AND i.indisprimary AND i.indnatts = 1 AND a.atttypid IN "
                    "(20, 21, 23)) FROM pg_class c WHERE c.oid = $1"),
                {QVariant(static_cast<qint64>(table))});
        if (PQntuples(found.get()) != 1)
            return RowSource();
        RowSource source;
        source.table = QString::fromUtf8(PQgetvalue(found.get(), 0, 0));
        // Stored as the key's column number in the table until matched against a stream.
        source.keyColumn =
            PQgetisnull(found.get(), 0, 1) ? -1 : std::atoi(PQgetvalue(found.get(), 0, 1));
        cached = sources_.insert(table, source);
    }
    RowSource source;
    source.table = cached->table;
    for (int i = 0; i < count; ++i)
        if (cached->keyColumn > 0 && PQftablecol(meta, i) == cached->keyColumn)
            source.keyColumn = i;
    return source;
}

void PgEngine::Begin(bool) {
    // Rows are locked one by one (LockRow), so there is nothing to take at the start.
    Run(Ready(), QStringLiteral("BEGIN"));
    inTransaction_ = true;
}

void PgEngine::LockTable(const QString& table) {
    Run(Ready(), QStringLiteral("LOCK TABLE %1 IN SHARE ROW EXCLUSIVE MODE").arg(Column(table)));
}

void PgEngine::LockRow(const QString& table, const QString& keyColumn, const QVariant& key) {
    PGconn* conn = Ready();
    // Locked in the transaction itself, not in a savepoint: a waiting desk finds the holder by
    // the transaction that the row names, which for a savepoint's lock is gone from view.
    try {
        Run(conn,
            QStringLiteral("SELECT 1 FROM %1 WHERE %2 = $1 FOR UPDATE")
                .arg(table, Column(keyColumn)),
            {key});
    } catch (const Error& error) {
        if (error.kind() != ErrorKind::Busy)
            throw;
        // The transaction cannot go on after the wait failed; it ends here, so that the
        // connection may ask who holds the row.
        Rollback();
        throw LockHeldError(error.message(), error.engineCode(), HolderOf(table, keyColumn, key));
    }
}

QString PgEngine::HolderOf(const QString& table, const QString& keyColumn, const QVariant& key) {
    // The row's xmax is the transaction that locked it; that transaction's own lock says which
    // session it is, and the session's application_name which desk.
    try {
        const Result holder = Run(
            conn_,
            QStringLiteral("SELECT a.application_name FROM pg_locks l JOIN pg_stat_activity a ON "
                           "a.pid = l.pid WHERE l.locktype = 'transactionid' AND l.granted AND "
                           "l.mode = 'ExclusiveLock' AND l.transactionid::text = (SELECT "
                           "xmax::text FROM %1 WHERE %2 = $1) LIMIT 1")
                .arg(table, Column(keyColumn)),
            {key});
        if (PQntuples(holder.get()) == 1 && !PQgetisnull(holder.get(), 0, 0))
            return QString::fromUtf8(PQgetvalue(holder.get(), 0, 0));
    } catch (const Error&) {
        // Who holds it is a courtesy; the refusal stands without it.
    }
    return QString();
}

QVariant PgEngine::Insert(const QString& table, const QStringList& columns,
                          const QVariantList& values, const QString& keyColumn) {
    return InOwnTransaction([&] { return InsertOne(table, columns, values, keyColumn); });
}

QVariant PgEngine::InsertOne(const QString& table, const QStringList& columns,
                             const QVariantList& values, const QString& keyColumn) {
    PGconn* conn = Ready();
    QString sql = columns.isEmpty() ? QStringLiteral("INSERT INTO %1 DEFAULT VALUES").arg(table)
                                    : QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                                          .arg(table, Quoted(columns).join(QLatin1Char(',')),
                                               Placeholders(1, columns.size()));
    if (!keyColumn.isEmpty())
        sql += QStringLiteral(" RETURNING ") + Column(keyColumn);
    const Result inserted = Run(conn, sql, values);
    if (keyColumn.isEmpty())
        return QVariant();
    const qint64 key = std::strtoll(PQgetvalue(inserted.get(), 0, 0), nullptr, 10);
    if (columns.contains(keyColumn))
        KeepKeysAbove(table, keyColumn, key);
    return QVariant(key);
}

void PgEngine::KeepKeysAbove(const QString& table, const QString& keyColumn, qint64 key) {
    Run(Ready(),
        QStringLiteral("SELECT setval(s, GREATEST($2::bigint, "
                       "COALESCE(pg_sequence_last_value(s), 1))) FROM (SELECT "
                       "pg_get_serial_sequence($1, $3)::regclass AS s) q WHERE s IS NOT NULL"),
        {table, key, keyColumn});
}

void PgEngine::InsertRows(const QString& table, const QStringList& columns,
                          const QList<QVariantList>& rows, const QString& keyColumn) {
    InOwnTransaction([&] {
        InsertEach(table, columns, rows, keyColumn);
        return true;
    });
}

void PgEngine::ReplaceRows(const QString& table, const QStringList& columns,
                           const QList<QVariantList>& rows, const QString& keyColumn) {
    InOwnTransaction([&] {
        InsertEach(table, columns, rows, QString(), keyColumn);
        return true;
    });
}

void PgEngine::InsertEach(const QString& table, const QStringList& columns,
                          const QList<QVariantList>& rows, const QString& keyColumn,
                          const QString& replacing) {
    QString onConflict;
    if (!replacing.isEmpty()) {
        QStringList assignments;
        for (const QString& column : columns)
            if (column != replacing)
                assignments.append(QStringLiteral("%1=EXCLUDED.%1").arg(Column(column)));
        onConflict = QStringLiteral(" ON CONFLICT (%1) DO UPDATE SET %2")
                         .arg(Column(replacing), assignments.join(QLatin1Char(',')));
    }
    // Many rows to one statement: one round trip to the server for each batch, not each row.
    const int perStatement = qMax(1, 30000 / qMax(1, int(columns.size())));
    const int keyIndex = int(columns.indexOf(keyColumn));
    qint64 highestKey = 0;
    for (int first = 0; first < rows.size(); first += perStatement) {
        const int count = qMin(perStatement, int(rows.size()) - first);
        QStringList tuples;
        QVariantList parameters;
        for (int row = first; row < first + count; ++row) {
            tuples.append(QLatin1Char('(') +
                          Placeholders(int(parameters.size()) + 1, columns.size()) +
                          QLatin1Char(')'));
            parameters += rows[row];
            if (keyIndex >= 0)
                highestKey = qMax(highestKey, rows[row][keyIndex].toLongLong());
        }
        Run(Ready(),
            QStringLiteral("INSERT INTO %1 (%2) VALUES %3")
                    .arg(table, Quoted(columns).join(QLatin1Char(',')),
                         tuples.join(QLatin1Char(','))) +
                onConflict,
            parameters);
    }
    if (keyIndex >= 0 && !rows.isEmpty())
        KeepKeysAbove(table, keyColumn, highestKey);
}

bool PgEngine::UpdateRow(const QString& table, const QStringList& columns,
                         const QVariantList& values, const QString& keyColumn,
                         const QVariant& key) {
    return InOwnTransaction([&] { return UpdateOne(table, columns, values, keyColumn, key); });
}

bool PgEngine::UpdateOne(const QString& table, const QStringList& columns,
                         const QVariantList& values, const QString& keyColumn,
                         const QVariant& key) {
    QStringList assignments;
    for (int i = 0; i < columns.size(); ++i)
        assignments.append(Column(columns[i]) + QStringLiteral("=$%1").arg(i + 1));
    QVariantList parameters = values;
    parameters.append(key);
    const Result updated = Run(Ready(),
                               QStringLiteral("UPDATE %1 SET %2 WHERE %3=$%4")
                                   .arg(table, assignments.join(QLatin1Char(',')),
                                        Column(keyColumn), QString::number(parameters.size())),
                               parameters);
    return QByteArray(PQcmdTuples(updated.get())) != "0";
}

bool PgEngine::InTransaction() const {
    return PQstatus(conn_) == CONNECTION_OK && PQtransactionStatus(conn_) != PQTRANS_IDLE;
}

void PgEngine::Commit() {
    BeforeCommit();
    PGconn* conn = Ready();
    Result done;
    try {
        done.reset(Run(conn, QStringLiteral("COMMIT")).release());
    } catch (const ServerLostError& error) {
        // The server may have stored the changes just before it went.
        throw ServerLostError(error.message(), error.engineCode(), true, error.kind());
    }
    inTransaction_ = false;
    // A transaction that failed earlier answers COMMIT with ROLLBACK.
    if (QByteArray(PQcmdStatus(done.get())) != "COMMIT")
        throw Error(ErrorKind::Other, QStringLiteral("the server rolled the transaction back"));
}

void PgEngine::Rollback() {
    const bool open = inTransaction_;
    inTransaction_ = false;
    if (open && PQstatus(conn_) == CONNECTION_OK && PQtransactionStatus(conn_) != PQTRANS_IDLE)
        Run(conn_, QStringLiteral("ROLLBACK"));
}

void PgEngine::SetBusyTimeout(int milliseconds) {
    busyTimeoutMs_ = milliseconds;
    if (PQstatus(conn_) == CONNECTION_OK)
        ApplySessionSettings();
}

bool PgEngine::MayRead(const QString& table) {
    return HasPrivileges(table, {QStringLiteral("SELECT")});
}

bool PgEngine::MayWrite(const QString& table) {
    return HasPrivileges(
        table, {QStringLiteral("INSERT"), QStringLiteral("UPDATE"), QStringLiteral("DELETE")});
}

bool PgEngine::HasPrivileges(const QString& table, const QStringList& privileges) {
    for (const QString& privilege : privileges) {
        const Result granted =
            Run(Ready(), QStringLiteral("SELECT has_table_privilege($1, $2)"), {table, privilege});
        if (QByteArray(PQgetvalue(granted.get(), 0, 0)) != "t")
            return false;
    }
    return true;
}

std::optional<QStringList> PgEngine::TableColumns(const QString& table) {
    const Result found = Run(Ready(),
                             QStringLiteral("SELECT a.attname FROM pg_attribute a WHERE a.attrelid "
                                            "= to_regclass($1) AND a.attnum > 0 AND NOT "
                                            "a.attisdropped ORDER BY a.attnum"),
                             {table});
    if (PQntuples(found.get()) == 0)
        return std::nullopt;
    QStringList names;
    for (int row = 0; row < PQntuples(found.get()); ++row)
        names.append(QString::fromUtf8(PQgetvalue(found.get(), row, 0)));
    return names;
}

int PgEngine::SchemaVersion() {
    const Result table =
        Run(Ready(), QStringLiteral("SELECT to_regclass($1) IS NOT NULL"), {kServerSchemaTable});
    if (QByteArray(PQgetvalue(table.get(), 0, 0)) != "t")
        return 0;
    const Result version =
        Run(Ready(), QStringLiteral("SELECT max(version) FROM ") + kServerSchemaTable);
    return PQgetisnull(version.get(), 0, 0) ? 0 : std::atoi(PQgetvalue(version.get(), 0, 0));
}

void PgEngine::SetSchemaVersion(int version) {
    PGconn* conn = Ready();
    Run(conn, QStringLiteral("CREATE TABLE IF NOT EXISTS %1 (version integer NOT NULL)")
                  .arg(kServerSchemaTable));
    Run(conn, QStringLiteral("DELETE FROM ") + kServerSchemaTable);
    Run(conn, QStringLiteral("INSERT INTO %1 (version) VALUES ($1)").arg(kServerSchemaTable),
        {QVariant(version)});
}

} // namespace db
