#include "screens/DbMessages.h"

#include "data/DbError.h"

QString DbFailureReason(const db::Error& error) {
    if (const auto* lost = dynamic_cast<const db::ServerLostError*>(&error))
        return lost->duringCommit()
                   ? QStringLiteral("与数据库服务器的连接在保存的最后一步中断，信息可能已经保存。"
                                    "请在服务器恢复后重新打开这条信息，查看保存的结果。")
                   : QStringLiteral("与数据库服务器的连接已中断，请检查网络和服务器是否正常，"
                                    "稍后再试。");
    if (error.isBusy())
        return QStringLiteral("数据文件正被其他程序使用，请稍后再试。");
    if (error.isDiskFull())
        return QStringLiteral("磁盘已满。");
    if (error.isReadOnly())
        return QStringLiteral("数据文件是只读的，无法写入。");
    if (error.isCantOpen())
        return QStringLiteral(
            "无法在数据文件所在的文件夹中建立所需的文件，请检查该文件夹是否可写。");
    if (error.isDamaged())
        return QStringLiteral("数据文件已损坏。");
    if (error.isIoError())
        return QStringLiteral("读写数据文件时磁盘或文件系统出错。");
    if (error.isStatementRefused()) // the program's own statements: the table is not as expected
        return QStringLiteral("数据文件中的船东信息表不存在或不完整。");
    return QStringLiteral("数据库出错（错误代码 %1）。").arg(error.code());
}
