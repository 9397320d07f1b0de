#pragma once

#include <QByteArray>
#include <QString>

namespace WB {

// The last workbook the tab-joined reader refused on this thread, by path and fingerprint (see
// fileFingerprint), with its reason: the upload's fallback reader is handed the file the first
// just refused, and must not read what the first refused for its content. Kept for that one
// next open on the same thread only: a file put right, even one restored with its old size, time
// and inode, is read afresh at the next upload.
class CRefusalMemory
{
public:
    static void remember(const QString& path, const QByteArray& fingerprint, const QString& reason);
    // True, with the reason, when the remembered refusal is of this unchanged file. Forgets it
    // either way.
    static bool take(const QString& path, const QByteArray& fingerprint, QString& reason);
    static void forget();
};

} // namespace WB
