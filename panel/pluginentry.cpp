#include "panel/creditdatapanel.h"
#include "panel/creditdata_export.h"

extern "C" CREDITDATA_EXPORT DVK::IvoprDockableWidget* createDockableWidget(QWidget* parent)
{
    return new DVK::CCreditDataPanel(parent);
}
