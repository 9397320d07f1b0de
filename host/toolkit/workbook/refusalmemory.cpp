#include "refusalmemory.h"

namespace WB {

namespace {

struct Refusal
{
    QString path;
    QByteArray fingerprint;
    QString reason;
};

thread_local Refusal t_refusal;

} // namespace

void CRefusalMemory::remember(const QString& path, const QByteArray& fingerprint, const QString& reason)
{
    t_refusal = Refusal{path, fingerprint, reason};
}

bool CRefusalMemory::take(const QString& path, const QByteArray& fingerprint, QString& reason)
{
    const Refusal last = t_refusal;
    forget();
    if (fingerprint.isEmpty() || last.fingerprint != fingerprint || last.path != path)
        return false;
    reason = last.reason;
    return true;
}

void CRefusalMemory::forget()
{
    t_refusal = Refusal();
}

} // namespace WB
