#include "sqlerrortext.h"

#include <QSqlError>
#include <QString>

namespace rqservice {

namespace {

enum EReason
{
    eUnknown,
    eBusy,
    eReadOnly,
    eFull,
    eCorrupt,
    eCantOpen,
    eIo,
};

EReason reasonOfCode(int code)
{
    switch (code & 0xFF) { // the primary code of an extended one
    case 5:                // SQLITE_BUSY
    case 6:                // SQLITE_LOCKED
        return eBusy;
    case 8: // SQLITE_READONLY
        return eReadOnly;
    case 13: // SQLITE_FULL
        return eFull;
    case 11: // SQLITE_CORRUPT
    case 26: // SQLITE_NOTADB
        return eCorrupt;
    case 14: // SQLITE_CANTOPEN
        return eCantOpen;
    case 10: // SQLITE_IOERR
        return eIo;
    default: return eUnknown;
    }
}

// sqlite3_errstr() of each code, as the driver passes it on.
EReason reasonOfText(const QString& text)
{
    struct Known
    {
        const char* text;
        EReason reason;
    };
    static const Known known[] = {
        {"database is locked", eBusy},
        {"database table is locked", eBusy},
        {"database schema is locked", eBusy},
        {"attempt to write a readonly database", eReadOnly},
        {"database or disk is full", eFull},
        {"database disk image is malformed", eCorrupt},
        {"file is not a database", eCorrupt},
        {"file is encrypted or is not a database", eCorrupt},
        {"unable to open database file", eCantOpen},
        {"disk I/O error", eIo},
    };
    for (const Known& k : known) {
        if (text.contains(QLatin1String(k.text), Qt::CaseInsensitive))
            return k.reason;
    }
    return eUnknown;
}

const char* reasonText(EReason reason)
{
    switch (reason) {
    case eBusy: return "数据库正被其他程序占用, 未做任何改动, 请稍后重试";
    case eReadOnly: return "数据库文件为只读, 无法写入";
    case eFull: return "磁盘空间已满, 无法写入数据库";
    case eCorrupt: return "数据库文件已损坏或不是有效的数据库";
    case eCantOpen: return "无法打开数据库文件";
    case eIo: return "读写数据库文件出错";
    case eUnknown: break;
    }
    return "数据库操作出错";
}

EReason reasonOf(const QSqlError& error)
{
    bool hasCode = false;
    const int code = error.nativeErrorCode().toInt(&hasCode);
    const EReason reason = hasCode ? reasonOfCode(code) : eUnknown;
    return reason == eUnknown ? reasonOfText(error.databaseText()) : reason;
}

} // namespace

bool isBusyError(const QSqlError& error)
{
    return reasonOf(error) == eBusy;
}

std::string describeSqlError(const QSqlError& error, const char* action)
{
    std::string text = std::string(action) + "失败: " + reasonText(reasonOf(error));
    const QString detail = error.text().trimmed();
    if (!detail.isEmpty()) {
        text += " (" + detail.toStdString() + ")";
    }
    return text;
}

} // namespace rqservice
