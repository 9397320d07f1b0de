#pragma once
// Colours and sizes of the table family in one place, so the grid, the header and the row
// buttons look like one control.

#include <QColor>
#include <QFont>

class QString;

namespace WB {

class CHpfStyle
{
public:
    // The UI resource colour named key.
    static QColor color(const QString& key);

    static QColor headerBackground();
    static QColor headerText();
    static QColor headerLine();
    static QColor gridLine();
    static QColor selection();
    static QColor hover();
    static QColor accent();
    static QColor tableBackground();

    static int rowHeight() { return 26; }
    static int headerHeight() { return 30; }
    static int cellPadding() { return 8; }
    // Room at the right of a header for the sort arrow and the filter mark.
    static int headerMarkWidth() { return 14; }
};

} // namespace WB
