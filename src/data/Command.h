#pragma once

#include <QString>
#include <QVariant>
#include <memory>

namespace db {

class Connection;
class Statement;

// One statement that writes, prepared once and run many times with different values: for bulk
// writes such as an import, where preparing the text again for every row would cost more than
// the write itself.
class Command {
public:
    Command(Connection& connection, const QString& commandText);
    ~Command();
    Command(const Command&) = delete;
    Command& operator=(const Command&) = delete;

    // Parameters count from 1; a null value writes NULL, text is written as text.
    void Bind(int index, const QVariant& value);
    // Runs the statement with the bound values and returns how many rows it changed; the values
    // are cleared afterwards.
    qint64 Execute();

private:
    Connection& connection_;
    std::unique_ptr<Statement> statement_;
};

} // namespace db
