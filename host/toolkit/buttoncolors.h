#pragma once
// The colours of a toolkit button in each state, shared by the push button and the buttons that
// tables draw in their rows, so both read as the same control.

#include "hosttoolkit.h"

#include <QColor>

namespace WB {

struct ButtonColors
{
    QColor fill;   // invalid: no fill
    QColor border; // invalid: no border
    QColor text;
};

ButtonColors buttonColors(ENormalButtonType type, bool enabled, bool hovered, bool pressed);

} // namespace WB
