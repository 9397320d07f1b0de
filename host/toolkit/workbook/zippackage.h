#pragma once

#include <QString>

#include <functional>

struct zip;

namespace WB {

// A zip archive read part by part. Parts are inflated in pieces and cut off at a cap, whatever
// sizes the archive's headers state.
class CZipPackage
{
public:
    using Sink = std::function<bool(const char* data, int size, bool last)>;

    CZipPackage() = default;
    ~CZipPackage();
    CZipPackage(const CZipPackage&) = delete;
    CZipPackage& operator=(const CZipPackage&) = delete;

    bool open(const QString& path);
    bool contains(const QString& part) const;
    // Hands the inflated part to sink piece by piece; false when the part is missing, breaks,
    // inflates past cap bytes or the sink says stop (then error() is the sink's business).
    bool read(const QString& part, qint64 cap, const Sink& sink);
    QString error() const { return m_error; }

private:
    zip* m_zip = nullptr;
    QString m_error;
};

} // namespace WB
