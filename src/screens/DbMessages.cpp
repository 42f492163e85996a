#include "screens/DbMessages.h"

#include "data/DbError.h"

namespace {

QString OnServer(const db::Error& error, const QString& server) {
    using db::ErrorKind;
    if (const auto* lost = dynamic_cast<const db::ServerLostError*>(&error)) {
        if (lost->duringCommit())
            return QStringLiteral("与数据库服务器 %1 的连接在保存的最后一步中断，信息可能已经保存。"
                                  "请在服务器恢复后重新打开这条信息，查看保存的结果。")
                .arg(server);
    }
    switch (error.kind()) {
    case ErrorKind::ServerUnreachable:
        return QStringLiteral("无法连接数据库服务器 %1，或者连接已中断。"
                              "请检查网络和服务器是否正常，稍后再试。")
            .arg(server);
    case ErrorKind::NoAnswer:
        return QStringLiteral("数据库服务器 %1 在规定的时间内没有回应，已放弃等待。"
                              "下一次操作会重新连接服务器。")
            .arg(server);
    case ErrorKind::Cancelled:
        return QStringLiteral("已停止等待数据库服务器 %1。下一次操作会重新连接服务器。")
            .arg(server);
    case ErrorKind::AuthRefused:
        return QStringLiteral("数据库服务器 %1 拒绝了登录，请与管理员核对用户名和密码。")
            .arg(server);
    case ErrorKind::PasswordMissing:
        return QStringLiteral("数据库服务器 %1 要求密码，但本机的 ~/.pgpass 中没有这个用户的密码。")
            .arg(server);
    case ErrorKind::PasswordInConfig:
        return QStringLiteral("server.conf 中写有密码，程序不使用这样的设置。"
                              "请把密码放在 ~/.pgpass 中，并从 server.conf 中删去。");
    case ErrorKind::CertificateRefused:
        return QStringLiteral("无法验证数据库服务器 %1 的证书。请把办公室的根证书放在 "
                              "~/.postgresql/root.crt，或在 server.conf 中用 sslrootcert 指明它。")
            .arg(server);
    case ErrorKind::Busy: {
        const auto* held = dynamic_cast<const db::LockHeldError*>(&error);
        if (held != nullptr && !held->holder().isEmpty())
            return QStringLiteral("数据库服务器 %1 上的这条信息正被“%2”修改，请稍后再试。")
                .arg(server, held->holder());
        return QStringLiteral("数据库服务器 %1 上的这条信息正被其他用户修改，请稍后再试。")
            .arg(server);
    }
    case ErrorKind::DiskFull:
        return QStringLiteral("数据库服务器 %1 的磁盘已满，请与管理员联系。").arg(server);
    case ErrorKind::ReadOnly:
        return QStringLiteral("数据库服务器 %1 当前只允许读取，无法写入。").arg(server);
    case ErrorKind::PermissionDenied:
        return QStringLiteral("您在数据库服务器 %1 上没有这项权限（读取或修改船东目录），"
                              "请与管理员联系。")
            .arg(server);
    case ErrorKind::NotADirectory:
        return QStringLiteral("数据库服务器 %1 上还没有船东目录，或者船东信息表不完整。"
                              "请让管理员先在服务器上建立船东目录。")
            .arg(server);
    case ErrorKind::NewerSchema:
        return QStringLiteral("数据库服务器 %1 上的船东目录由较新版本的程序建立，请安装新版本。")
            .arg(server);
    case ErrorKind::ValueRefused:
        return QStringLiteral("数据库服务器 %1 不接受填写的内容。").arg(server);
    default:
        return QString();
    }
}

QString OnFile(const db::Error& error) {
    using db::ErrorKind;
    switch (error.kind()) {
    case ErrorKind::Busy:
        return QStringLiteral("数据文件正被其他程序使用，请稍后再试。");
    case ErrorKind::DiskFull:
        return QStringLiteral("磁盘已满。");
    case ErrorKind::ReadOnly:
        return QStringLiteral("数据文件是只读的，无法写入。");
    case ErrorKind::PermissionDenied:
        return QStringLiteral("没有写入数据文件的权限。");
    case ErrorKind::CannotOpen:
        return QStringLiteral(
            "无法在数据文件所在的文件夹中建立所需的文件，请检查该文件夹是否可写。");
    case ErrorKind::Damaged:
        return QStringLiteral("数据文件已损坏。");
    case ErrorKind::IoError:
        return QStringLiteral("读写数据文件时磁盘或文件系统出错。");
    case ErrorKind::NotADirectory:
        return QStringLiteral("数据文件中的船东信息表不存在或不完整。");
    case ErrorKind::NewerSchema:
        return QStringLiteral("数据文件由较新版本的程序建立，请安装新版本。");
    case ErrorKind::ValueRefused:
        return QStringLiteral("数据文件不接受填写的内容。");
    default:
        return QString();
    }
}

} // namespace

QString DbFailureReason(const db::Error& error, const QString& server) {
    const QString reason = server.isEmpty() ? OnFile(error) : OnServer(error, server);
    if (!reason.isEmpty())
        return reason;
    if (error.kind() == db::ErrorKind::RowChanged)
        return QStringLiteral("这条信息已被其他人修改或删除。");
    const QString code = error.engineCode();
    return code.isEmpty() ? QStringLiteral("数据库出错。")
                          : QStringLiteral("数据库出错（错误代码 %1）。").arg(code);
}
