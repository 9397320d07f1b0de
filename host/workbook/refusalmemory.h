#pragma once

#include <QString>

namespace WB {

// The last workbook the tab-joined reader opened and refused on this thread, by path, with its
// reason: the upload's fallback reader is handed the file the first just refused, and must not
// read what the first refused for its content, even when the file changed in between (it then
// may read what no one checked). Only a file the first reader could not open at all is left to
// the fallback. Kept for that one next open on the same thread only: a file put right is read
// afresh at the next upload.
class CRefusalMemory
{
public:
    static void remember(const QString& path, const QString& reason);
    // True, with the reason, when the remembered refusal is of this path. Forgets it either way.
    static bool take(const QString& path, QString& reason);
    static void forget();
};

} // namespace WB
