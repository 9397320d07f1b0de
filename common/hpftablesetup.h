#pragma once
// What the plug-in's tables share on top of the host's standard table.

#include "hosttoolkit.h"

#include <QAction>
#include <QMenu>

namespace DVK {

// Every entry of the host table's context menu; the refresh entry is then taken out again.
constexpr WB::EBaseTableMenuFlags kEveryTableMenu{QFlag(0xFF)};

// Row numbers off (every other flag as the host set it), and no refresh entry in the context
// menu: the panel decides itself when data is fetched again.
inline void trimStandardTable(WB::CStandardHpfTable* table, QMenu* contextMenu, QAction* refreshAction)
{
    WB::EBaseTableFlags flags = table->flag();
    flags &= ~WB::EBaseTableFlags(WB::eTableRowNumbers);
    table->setFlag(flags);
    if (contextMenu && refreshAction) {
        contextMenu->removeAction(refreshAction);
    }
}

// Rows alternate starting with the first colour on row 0; a negative odd index counts as odd.
inline const QColor* alternatingRowColor(int row)
{
    WB::CUiResource* resource = utils::CSingletonT<WB::CUiResource>::instance();
    return resource->getColor(row % 2 == 0 ? QStringLiteral("clr_table_background")
                                           : QStringLiteral("clr_table_background2"));
}

} // namespace DVK
