#include "startup/Main.h"

#include "data/Connection.h"
#include "data/DatabaseFile.h"
#include "data/DbError.h"
#include "data/PageCheck.h"
#include "data/Schema.h"
#include "data/ServerConfig.h"
#include "data/ShipOwnerTable.h"
#include "platform/MsgBox.h"
#include "platform/SystemDirectory.h"
#include "screens/DbMessages.h"
#include "screens/frmwait.h"
#include "session/modGeneral.h"
#include "shell/frmsplash.h"

#include <QByteArray>
#include <QCoreApplication>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <stdexcept>

namespace modGeneral {

namespace {

// Asks again with a buffer of the size the platform says it needs, so a path of any length fits.
QString ReadSystemDirectory() {
    QByteArray buffer(20, ' ');
    unsigned length = platform::GetSystemDirectoryA(buffer.data(), buffer.size());
    while (length >= static_cast<unsigned>(buffer.size())) {
        buffer.fill(' ', length);
        length = platform::GetSystemDirectoryA(buffer.data(), buffer.size());
    }
    if (length == 0)
        throw std::runtime_error("no system directory");
    return QString::fromLocal8Bit(buffer.left(length));
}

// The start-up message. On the file, the one message for a missing or unusable directory, unless
// the directory is of a newer program's layout or could not be brought up to date, which the user
// can act on; on a server (named) always what went wrong.
QString StartupMessage(const std::exception& error, const QString& server) {
    const auto* failure = dynamic_cast<const db::Error*>(&error);
    if (failure == nullptr)
        return QStringLiteral("辞典文件丢失！");
    if (dynamic_cast<const schema::UpgradeError*>(&error) != nullptr)
        return QStringLiteral("船东目录需要升级到本程序的版本，但升级未能完成，目录没有改动：") +
               DbFailureReason(*failure, server);
    if (!server.isEmpty() || failure->kind() == db::ErrorKind::NewerSchema)
        return DbFailureReason(*failure, server);
    return QStringLiteral("辞典文件丢失！");
}

// The user sees the start-up message; whoever helps them reads the cause on stderr.
void ReportStartupFailure(const std::exception& error, const QString& server) {
    const auto* failure = dynamic_cast<const db::Error*>(&error);
    std::fprintf(stderr, "orvandel: cannot start: %s\n",
                 failure != nullptr ? qPrintable(failure->details()) : error.what());
    platform::MsgBox(StartupMessage(error, server), platform::vbCritical,
                     QStringLiteral("数据处理"));
}

void HideSplash() {
    frmsplash& splash = frmsplash::instance();
    if (splash.isVisible())
        splash.close();
}

void DropPageCheck() {
    if (dbConnection().IsOpen())
        dbConnection().SetCommitGate({});
    pageCheck.reset();
}

// Ends the program when the check of the file's pages that ran beside the windows finds them
// damaged: as start-up does, with its message. A save waiting for the verdict is rolled back
// with the connection, so nothing of it reaches the file.
[[noreturn]] void EndForDamagedPages() {
    const db::Error damage(db::ErrorKind::Damaged,
                           pageCheck->Problems().join(QStringLiteral("; ")));
    ReportStartupFailure(damage, QString());
    dbConnection().Close();
    std::fflush(nullptr);
    // Not through the event loop, which would return into the save that waits.
    std::quick_exit(1);
}

} // namespace

bool Main() {
    QString server; // the server's host and database, when server.conf names one
    try {
        // A statement that waits for the server long keeps the windows drawn and shows it.
        frmwait::Install();
        systemDir = ReadSystemDirectory();
        // server.conf in the system directory points this desk at a shared server.
        if (serverconf::Exists(systemDir))
            server = serverconf::DescribeIn(systemDir);
        // A file that is not a sound directory is refused here, untouched, not met later as an
        // empty list or a save into a damaged file.
        // The pages of a large file take long to check: that runs beside the windows (the
        // splash and the main window come first), and every save waits for its verdict.
        // Bringing an older layout up to date may take long, and comes before the first read:
        // the splash shows meanwhile that the program is starting.
        pageCheck =
            dbfile::OpenDirectory(dbConnection(), serverconf::ConnectionStringFor(systemDir),
                                  dbfile::PageCheckTiming::InBackground,
                                  [] { frmsplash::instance().ShowBeforeStartupEnds(); });
        if (pageCheck) {
            // Meanwhile a save keeps the windows drawn, taking no input.
            pageCheck->SetWaitTurn(
                [] { QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents, 10); });
            pageCheck->SetOnDone([] {
                if (!pageCheck->Problems().isEmpty())
                    EndForDamagedPages();
            });
            // Nothing saves any more; the check, if still running, ends before the program.
            QObject::connect(qApp, &QCoreApplication::aboutToQuit, [] { DropPageCheck(); });
        }
        mayChange = dbConnection().MayWrite(shipowner::kTable);
        frmsplash::instance().Show();
        return true;
    } catch (const std::exception& error) {
        DropPageCheck();
        HideSplash();
        ReportStartupFailure(error, server);
        return false;
    }
}

} // namespace modGeneral
