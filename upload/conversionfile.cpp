#include "upload/conversionfile.h"

#include "hostservice.h"
#include "hostworkbook.h"

#include <QFileInfo>

#include <string>

namespace DVK {

namespace {

const QString kFormatError = QStringLiteral("文件格式错误");
const QString kOpenFailed = QStringLiteral("文件打开失败");
const QString kEmptyFile = QStringLiteral("文件内容为空");

// The cell reader numbers sheets from 1; a conversion-rate file is its first sheet.
constexpr int kFirstSheet = 1;

void readWorkbook(const QString& path, ConversionFileLines& result)
{
    {
        WB::COdbcExcelReader reader(nullptr);
        if (reader.open(path, result.lines, true)) {
            reader.close();
            result.separator = QStringLiteral("\t");
            result.detail = QStringLiteral("workbook read by the tab-joined reader");
            return;
        }
    }

    // The fallback appends to whatever the first reader left in the list.
    WB::CExcelReader reader(nullptr);
    if (!reader.init(false) || !reader.isValid()) {
        result.message = kOpenFailed;
        result.detail = QStringLiteral("cell reader unavailable");
        reader.exitExcel();
        return;
    }
    reader.open(path);
    const int firstRow = reader.getSheetStartRow(kFirstSheet);
    const int lastRow = reader.getSheetRowCount(kFirstSheet);
    const int firstColumn = reader.getSheetStartCol(kFirstSheet);
    const int lastColumn = reader.getSheetColCount(kFirstSheet);
    for (int row = firstRow; row <= lastRow; ++row) {
        QStringList cells;
        for (int column = firstColumn; column <= lastColumn; ++column) {
            cells << reader.getData(kFirstSheet, row, column, false);
        }
        result.lines << cells.join(QStringLiteral(","));
    }
    reader.close();
    reader.exitExcel();
    result.detail = QStringLiteral("workbook read by the cell reader");
}

void readText(const QString& path, ConversionFileLines& result)
{
    // The client's file helper takes paths in the GBK code page.
    const QByteArray utf8Path = path.toUtf8();
    std::string gbkPath(utf8Path.constData(), static_cast<size_t>(utf8Path.size()));
    utils::safeUtf82GbkOrigin(gbkPath);

    std::string content;
    if (!utils::FileHelper::open(gbkPath, content)) {
        // Said plainly rather than letting an unreadable file pass for one without usable rows.
        result.message = kOpenFailed;
        result.detail = QStringLiteral("cannot read the file");
        return;
    }
    const bool gbk = utils::isGBKCode(content);
    if (gbk) {
        utils::safeGbk2Utf8(content);
    }
    const QString text = WB::sToQs(content);
    // The bytes are not needed once the text is made: a large file is not held twice over.
    std::string().swap(content);
    result.lines = text.split(QStringLiteral("\n"), Qt::KeepEmptyParts, Qt::CaseSensitive);
    result.detail = gbk ? QStringLiteral("text read as GBK") : QStringLiteral("text read as UTF-8");
}

} // namespace

ConversionFileLines readConversionFile(const QString& path)
{
    ConversionFileLines result;
    result.kind = QFileInfo(path).completeSuffix();
    if (result.kind == QLatin1String("xls") || result.kind == QLatin1String("xlsx")) {
        readWorkbook(path, result);
    } else if (result.kind == QLatin1String("csv")) {
        readText(path, result);
    } else {
        result.message = kFormatError;
        result.detail = QStringLiteral("suffix \"%1\" is not csv, xls or xlsx").arg(result.kind);
        return result;
    }
    if (result.message.isEmpty() && result.lines.isEmpty()) {
        result.message = kEmptyFile;
    }
    return result;
}

} // namespace DVK
