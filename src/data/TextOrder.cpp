#include "data/TextOrder.h"

#include "data/DbError.h"

#include <memory>
#include <unicode/ucol.h>

namespace db {
namespace {

struct CollatorClose {
    void operator()(UCollator* collator) const { ucol_close(collator); }
};

// One collator a thread: a collator's use is not thread-safe, and opening one costs far more than
// a key.
UCollator& Collator() {
    thread_local const std::unique_ptr<UCollator, CollatorClose> collator = [] {
        UErrorCode status = U_ZERO_ERROR;
        UCollator* opened = ucol_open("zh", &status);
        if (U_FAILURE(status))
            throw Error(ErrorKind::Other,
                        QStringLiteral("the Chinese sort order is not available: %1")
                            .arg(QString::fromLatin1(u_errorName(status))));
        // Secondary strength: case is a tertiary difference, so it is ignored.
        ucol_setStrength(opened, UCOL_SECONDARY);
        return std::unique_ptr<UCollator, CollatorClose>(opened);
    }();
    return *collator;
}

} // namespace

QByteArray TextSortKey(QStringView text) {
    UCollator& collator = Collator();
    const auto* chars = reinterpret_cast<const UChar*>(text.utf16());
    const auto length = static_cast<int32_t>(text.size());
    QByteArray key(qMax<qsizetype>(64, text.size() * 4), Qt::Uninitialized);
    int32_t needed = ucol_getSortKey(&collator, chars, length,
                                     reinterpret_cast<uint8_t*>(key.data()), int32_t(key.size()));
    if (needed > key.size()) {
        key.resize(needed);
        needed = ucol_getSortKey(&collator, chars, length, reinterpret_cast<uint8_t*>(key.data()),
                                 needed);
    }
    key.resize(needed - 1); // without the terminating zero
    return key;
}

} // namespace db
