#pragma once

#include "standinworkbook.h"

namespace WB {

// Makes report the calling thread's last workbook report (see standin::lastWorkbookReport).
void reportWorkbook(const standin::WorkbookReport& report);

} // namespace WB
