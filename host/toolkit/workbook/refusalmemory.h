#pragma once

#include <QByteArray>
#include <QString>

namespace WB {

// The workbooks lately refused for damage or a cap, by path and fingerprint (see fileFingerprint),
// with their reasons: the upload's second reader is handed the file the first just refused, and
// should not pay for the same refusal again. Shared by every reader in the process, on any thread.
class CRefusalMemory
{
public:
    static void remember(const QString& path, const QByteArray& fingerprint, const QString& reason);
    // True, with the reason, when the same unchanged file was refused.
    static bool recall(const QString& path, const QByteArray& fingerprint, QString& reason);
};

} // namespace WB
