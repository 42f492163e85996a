#include "data/Engine.h"

#include "data/DbError.h"

#include <QSysInfo>
#include <pwd.h>
#include <unistd.h>

namespace db {

QByteArrayView RowStream::Text(int column) const {
    if (text_.size() <= column)
        text_.resize(column + 1);
    text_[column] = Utf8Text(Value(column));
    return text_[column].isNull() ? QByteArrayView() : QByteArrayView(text_[column]);
}

QString DeskName() {
    // Looked up once: every save names its writer, and the account's lookup reads the system's
    // user database.
    static const QString name = [] {
        const passwd* account = getpwuid(geteuid());
        const QString user = account != nullptr ? QString::fromLocal8Bit(account->pw_name)
                                                : QString::number(geteuid());
        QString desk = user + QLatin1Char('@') + QSysInfo::machineHostName();
        while (desk.toUtf8().size() > 63)
            desk.chop(1);
        return desk;
    }();
    return name;
}

QString QuoteIdentifier(const QString& name) {
    QString quoted = name;
    quoted.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

void Engine::InsertRows(const QString& table, const QStringList& columns,
                        const QList<QVariantList>& rows, const QString& keyColumn) {
    for (const QVariantList& row : rows)
        Insert(table, columns, row, keyColumn);
}

qint64 Engine::UpdateRows(const QString& table, const QStringList& columns,
                          const QList<QVariantList>& rows, const QString& keyColumn) {
    qint64 changed = 0;
    for (const QVariantList& row : rows)
        changed += UpdateRow(table, columns, row.mid(0, row.size() - 1), keyColumn, row.last());
    return changed;
}

void Engine::BackUp(const QString&) {
    throw Error(ErrorKind::Misuse, QStringLiteral("this store is backed up with its own tools"));
}

QStringList Engine::CheckPages() {
    throw Error(ErrorKind::Misuse, QStringLiteral("this store checks its own pages"));
}

QByteArray Utf8Text(const QVariant& value) {
    if (value.isNull())
        return QByteArray();
    const QByteArray text = value.toString().toUtf8();
    return text.isNull() ? QByteArray("") : text;
}

} // namespace db
