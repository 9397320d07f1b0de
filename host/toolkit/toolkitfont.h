#pragma once
// The toolkit's text face: compact 12 px, with a Chinese face first so mixed text lines up.

#include <QFont>

namespace WB {
QFont toolkitFont();
} // namespace WB
