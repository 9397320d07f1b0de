#include "refusalmemory.h"

#include <array>
#include <mutex>

namespace WB {

namespace {

// A few files: one upload needs one, a user trying again a handful.
constexpr size_t kRemembered = 8;

struct Refusal
{
    QString path;
    QByteArray fingerprint;
    QString reason;
};

struct Memory
{
    std::mutex mutex;
    std::array<Refusal, kRemembered> refusals;
    size_t next = 0;
};

Memory& memory()
{
    static Memory instance;
    return instance;
}

} // namespace

void CRefusalMemory::remember(const QString& path, const QByteArray& fingerprint, const QString& reason)
{
    if (fingerprint.isEmpty())
        return;
    Memory& m = memory();
    std::lock_guard<std::mutex> lock(m.mutex);
    m.refusals[m.next] = Refusal{path, fingerprint, reason};
    m.next = (m.next + 1) % kRemembered;
}

bool CRefusalMemory::recall(const QString& path, const QByteArray& fingerprint, QString& reason)
{
    if (fingerprint.isEmpty())
        return false;
    Memory& m = memory();
    std::lock_guard<std::mutex> lock(m.mutex);
    for (const Refusal& r : m.refusals) {
        if (r.fingerprint == fingerprint && r.path == path) {
            reason = r.reason;
            return true;
        }
    }
    return false;
}

} // namespace WB
