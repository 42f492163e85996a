// One desk of the concurrency test: a process of its own that saves through the detail screen,
// as a user's copy of the program does, or that holds a row's write lock as a save under way
// does. It opens the directory that server.conf in ORVANDEL_SYSTEM_DIR names. Commands come as
// lines on stdin, reports go as lines to stdout.
//
//   race TAG ID,ID,...  prints "ready", waits for a line, then for each id in turn adds a company
//                       named "TAG-n" and adds one to the Tank_No of that id; a save refused as
//                       busy or changed elsewhere is loaded and tried again. Prints
//                       "done refused=R busy=B", or "unexpected: TEXT" and exits 1.
//   save ID BOX TEXT    opens the record in the screen and prints "loaded"; for every line read
//                       then it types TEXT into box BOX, saves, and prints each message as
//                       "box=TEXT" and the box's text as "kept=TEXT".
//   hold ID COLUMN TEXT opens the record for saving and writes TEXT into COLUMN, which locks
//                       the row, and prints "locked"; then the line "commit" stores the row and
//                       prints "committed", any other line closes without storing.
#include "data/Connection.h"
#include "data/DatabaseFile.h"
#include "data/Recordset.h"
#include "data/ServerConfig.h"
#include "data/ShipOwnerTable.h"
#include "platform/CommonControls.h"
#include "platform/MsgBox.h"
#include "platform/SystemDirectory.h"
#include "screens/frminfo.h"
#include "session/modGeneral.h"

#include <QAbstractButton>
#include <QApplication>
#include <QLineEdit>
#include <cstdio>
#include <functional>
#include <iostream>
#include <string>

namespace {

const QString kAdded = QStringLiteral("增加成功");
const QString kChanged = QStringLiteral("修改成功");
const QString kChangedElsewhere = QStringLiteral("这条信息在您打开之后已被其他人修改");
const QString kBusy = QStringLiteral("数据文件正被其他程序使用");
const int kTankNoBox = 2;

void Say(const QString& line) {
    std::printf("%s\n", line.toUtf8().constData());
    std::fflush(stdout);
}

std::string WaitForLine() {
    std::string line;
    std::getline(std::cin, line);
    return line;
}

QString ConnectionString() {
    return serverconf::ConnectionStringFor(platform::SystemDirectoryPath());
}

// The detail screen as a user works it.
class Screen {
public:
    Screen() : form_(frminfo::instance()) {}

    void Open(qint64 id) {
        form_.shipId = id;
        form_.Show();
    }
    QLineEdit* Box(int index) const {
        return form_.findChild<QLineEdit*>(QStringLiteral("Txt_%1").arg(index));
    }
    // Presses the save button; returns the messages it showed.
    QStringList Save() {
        form_.findChild<QAbstractButton*>(QStringLiteral("CmdQuery"))->click();
        QStringList texts;
        for (const platform::MsgBoxSeam::Shown& box : platform::MsgBoxSeam::Taken())
            texts << box.text;
        return texts;
    }

private:
    frminfo& form_;
};

class Race {
public:
    Race(const QString& tag) : tag_(tag) {}

    // Loads, changes and saves until the save goes through; false on a message that is neither
    // success nor a refusal worth trying again.
    bool SaveUntilStored(qint64 id, int box, const std::function<QString(const QString&)>& change) {
        for (;;) {
            screen_.Open(id);
            screen_.Box(box)->setText(change(screen_.Box(box)->text()));
            const QStringList messages = screen_.Save();
            if (messages == QStringList{id == -1 ? kAdded : kChanged})
                return true;
            if (messages.size() == 1 && messages[0].startsWith(kChangedElsewhere)) {
                ++refused_;
            } else if (messages.size() == 1 && messages[0].contains(kBusy)) {
                ++busy_;
            } else {
                Say(QStringLiteral("unexpected: ") + messages.join(QLatin1Char('|')));
                return false;
            }
        }
    }

    int Run(const QStringList& ids) {
        Say(QStringLiteral("ready"));
        WaitForLine();
        for (int n = 0; n < ids.size(); ++n) {
            const QString name = QStringLiteral("%1-%2").arg(tag_).arg(n);
            if (!SaveUntilStored(-1, 0, [&name](const QString&) { return name; }))
                return 1;
            if (!SaveUntilStored(ids[n].toLongLong(), kTankNoBox, [](const QString& count) {
                    return QString::number(count.toLongLong() + 1);
                }))
                return 1;
        }
        Say(QStringLiteral("done refused=%1 busy=%2").arg(refused_).arg(busy_));
        return 0;
    }

private:
    QString tag_;
    Screen screen_;
    int refused_ = 0;
    int busy_ = 0;
};

int SaveOne(qint64 id, int box, const QString& text) {
    Screen screen;
    screen.Open(id);
    Say(QStringLiteral("loaded"));
    while (std::cin && !WaitForLine().empty()) {
        screen.Box(box)->setText(text);
        for (const QString& message : screen.Save())
            Say(QStringLiteral("box=") + message);
        Say(QStringLiteral("kept=") + screen.Box(box)->text());
    }
    return 0;
}

int Hold(qint64 id, const QString& column, const QString& text) {
    db::Connection connection;
    connection.Open(ConnectionString(), QString(), dbfile::kPassword);
    db::Recordset rs;
    rs.Open(shipowner::RecordQuery(id), connection, db::adOpenKeyset, db::adLockPessimistic);
    rs.SetField(column, text);
    Say(QStringLiteral("locked"));
    if (WaitForLine() == "commit") {
        rs.Update();
        Say(QStringLiteral("committed"));
    }
    rs.Close();
    return 0;
}

// The screen is shown on the offscreen platform, which says on every opening that it cannot
// raise a window; the rest of what Qt says stays.
QtMessageHandler qtHandler = nullptr;
void DropRaiseWarnings(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    if (!text.contains(QLatin1String("does not support raise()")))
        qtHandler(type, context, text);
}

} // namespace

int main(int argc, char** argv) {
    qtHandler = qInstallMessageHandler(DropRaiseWarnings);
    QApplication app(argc, argv);
    platform::SetUpApplication();
    platform::MsgBoxSeam::Intercept();
    const QStringList arguments = app.arguments().mid(1);
    const QString command = arguments.value(0);
    try {
        if (command == QLatin1String("hold") && arguments.size() == 4)
            return Hold(arguments[1].toLongLong(), arguments[2], arguments[3]);
        modGeneral::dbConnection().Open(ConnectionString(), QString(), dbfile::kPassword);
        if (command == QLatin1String("race") && arguments.size() == 3)
            return Race(arguments[1]).Run(arguments[2].split(QLatin1Char(',')));
        if (command == QLatin1String("save") && arguments.size() == 4)
            return SaveOne(arguments[1].toLongLong(), arguments[2].toInt(), arguments[3]);
    } catch (const std::exception& error) {
        Say(QStringLiteral("unexpected: ") + QString::fromLocal8Bit(error.what()));
        return 1;
    }
    std::fprintf(stderr, "usage: concurrency_desk race TAG IDS | save ID BOX TEXT | hold ID COLUMN "
                         "TEXT\n");
    return 2;
}
