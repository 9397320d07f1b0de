#include "refusalmemory.h"

namespace WB {

namespace {

struct Refusal
{
    QString path;
    QString reason;
};

thread_local Refusal t_refusal;

} // namespace

void CRefusalMemory::remember(const QString& path, const QString& reason)
{
    t_refusal = Refusal{path, reason};
}

bool CRefusalMemory::take(const QString& path, QString& reason)
{
    const Refusal last = t_refusal;
    forget();
    if (last.path.isEmpty() || last.path != path)
        return false;
    reason = last.reason;
    return true;
}

void CRefusalMemory::forget()
{
    t_refusal = Refusal();
}

} // namespace WB
