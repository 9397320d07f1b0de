#include "workbookreport.h"

namespace standin {

namespace {

thread_local WorkbookReport t_last;

QString sheetNamed(int index, const QString& name)
{
    return name.isEmpty() ? QStringLiteral("sheet %1").arg(index)
                          : QStringLiteral("sheet %1 \"%2\"").arg(index).arg(name);
}

} // namespace

QStringList WorkbookReport::sheetWarnings() const
{
    QStringList warnings;
    if (sheet <= 0)
        return warnings;
    if (sheetState == ESheetState::Hidden)
        warnings << QStringLiteral("%1, the sheet read, is hidden").arg(sheetNamed(sheet, sheetName));
    else if (sheetState == ESheetState::VeryHidden)
        warnings << QStringLiteral("%1, the sheet read, is very hidden (only a macro shows it)")
                        .arg(sheetNamed(sheet, sheetName));
    if (activeSheet > 0 && activeSheet != sheet)
        warnings << QStringLiteral("the workbook opens on %1, not on the sheet read")
                        .arg(sheetNamed(activeSheet, activeSheetName));
    return warnings;
}

QString WorkbookReport::sheetText() const
{
    return QStringLiteral("sheet %1 of %2, \"%3\"").arg(sheet).arg(sheetCount).arg(sheetName);
}

WorkbookReport lastWorkbookReport()
{
    return t_last;
}

} // namespace standin

namespace WB {

void reportWorkbook(const standin::WorkbookReport& report)
{
    standin::t_last = report;
}

} // namespace WB
