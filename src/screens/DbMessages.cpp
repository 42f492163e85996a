#include "screens/DbMessages.h"

#include "data/DbError.h"

QString DbFailureReason(const db::Error& error, bool onServer) {
    using db::ErrorKind;
    if (const auto* lost = dynamic_cast<const db::ServerLostError*>(&error))
        return lost->duringCommit()
                   ? QStringLiteral("与数据库服务器的连接在保存的最后一步中断，信息可能已经保存。"
                                    "请在服务器恢复后重新打开这条信息，查看保存的结果。")
                   : QStringLiteral("与数据库服务器的连接已中断，请检查网络和服务器是否正常，"
                                    "稍后再试。");
    const auto either = [onServer](const char* file, const char* server) {
        return QString::fromUtf8(onServer ? server : file);
    };
    switch (error.kind()) {
    case ErrorKind::Busy:
        return either("数据文件正被其他程序使用，请稍后再试。",
                      "这条信息正被其他用户修改，数据库服务器未能在等待时间内完成，请稍后再试。");
    case ErrorKind::DiskFull:
        return either("磁盘已满。", "数据库服务器的磁盘已满，请与管理员联系。");
    case ErrorKind::ReadOnly:
        return either("数据文件是只读的，无法写入。", "数据库服务器当前只允许读取，无法写入。");
    case ErrorKind::PermissionDenied:
        return either("没有写入数据文件的权限。",
                      "您在数据库服务器上没有修改船东信息的权限，请与管理员联系。");
    case ErrorKind::AuthRefused:
        return QStringLiteral("数据库服务器拒绝了登录，请与管理员联系。");
    case ErrorKind::ServerUnreachable:
        return QStringLiteral("无法连接数据库服务器，请检查网络和服务器是否正常，稍后再试。");
    case ErrorKind::CannotOpen:
        return QStringLiteral(
            "无法在数据文件所在的文件夹中建立所需的文件，请检查该文件夹是否可写。");
    case ErrorKind::Damaged:
        return QStringLiteral("数据文件已损坏。");
    case ErrorKind::IoError:
        return QStringLiteral("读写数据文件时磁盘或文件系统出错。");
    case ErrorKind::NotADirectory:
        return either("数据文件中的船东信息表不存在或不完整。",
                      "数据库服务器上的船东信息表不存在或不完整。");
    case ErrorKind::NewerSchema:
        return either("数据文件由较新版本的程序建立，请安装新版本。",
                      "数据库服务器上的船东目录由较新版本的程序建立，请安装新版本。");
    case ErrorKind::ValueRefused:
        return either("数据文件不接受填写的内容。", "数据库服务器不接受填写的内容。");
    case ErrorKind::RowChanged:
        return QStringLiteral("这条信息已被其他人修改或删除。");
    case ErrorKind::Misuse:
    case ErrorKind::Other:
        break;
    }
    const QString code = error.engineCode();
    return code.isEmpty() ? QStringLiteral("数据库出错。")
                          : QStringLiteral("数据库出错（错误代码 %1）。").arg(code);
}
