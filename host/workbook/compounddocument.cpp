#include "compounddocument.h"

#include "inputcaps.h"
#include "littleendian.h"

#include <QFile>

#include <algorithm>
#include <cstring>

namespace WB {

namespace {

constexpr quint32 kEndOfChain = 0xFFFFFFFE;
constexpr int kHeaderBytes = 512;
constexpr int kHeaderFatIds = 109;
constexpr int kEntryBytes = 128;
// Streams shorter than this live in the mini stream, in sectors of 1 << kMiniShift bytes.
constexpr quint64 kMiniCutoff = 4096;
constexpr int kMiniShift = 6;
constexpr quint8 kStreamEntry = 2;
constexpr quint8 kRootEntry = 5;
const char kSignature[] = "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1";

using le::u16;
using le::u32;
using le::u64;

} // namespace

bool CCompoundDocument::fail(const QString& message)
{
    m_error = QStringLiteral("cfb: ") + message;
    return false;
}

bool CCompoundDocument::open(QFile& file)
{
    if (!file.seek(0))
        return fail(QStringLiteral("the file cannot be read from its start"));
    const qint64 size = file.size();
    if (size > inputcaps::kMaxXlsBytes)
        return fail(QStringLiteral("file larger than the %1 MiB cap").arg(inputcaps::kMaxXlsBytes / inputcaps::kMiB));
    const QByteArray data = file.read(size);
    // A byte more, or fewer than stated: the file changed while it was read.
    char more = 0;
    if (data.size() != size || file.read(&more, 1) != 0)
        return fail(QStringLiteral("the file changed while it was read"));
    return openData(data);
}

bool CCompoundDocument::openData(const QByteArray& data)
{
    m_file = data;
    m_spent = false;
    m_fat.clear();
    m_entries.clear();
    m_miniFatChain = Chain();
    m_rootChain = Chain();
    m_error.clear();
    if (m_file.size() > inputcaps::kMaxXlsBytes)
        return fail(
            QStringLiteral("document larger than the %1 MiB cap").arg(inputcaps::kMaxXlsBytes / inputcaps::kMiB));
    if (m_file.size() < kHeaderBytes || !m_file.startsWith(QByteArray(kSignature, 8)))
        return fail(QStringLiteral("no compound document header (truncated file?)"));
    const char* h = m_file.constData();
    if (u16(h + 0x1C) != 0xFFFE)
        return fail(QStringLiteral("bad byte order mark"));
    m_sectorShift = u16(h + 0x1E);
    const int miniShift = u16(h + 0x20);
    if ((m_sectorShift != 9 && m_sectorShift != 12) || miniShift != kMiniShift)
        return fail(
            QStringLiteral("unsupported sector sizes (shift %1, mini shift %2)").arg(m_sectorShift).arg(miniShift));
    const qint64 sectorBytes = qint64(1) << m_sectorShift;
    // The header fills the first sector; a partial last sector still counts, reads are checked.
    m_fileSectors = m_file.size() > sectorBytes ? quint32((m_file.size() - 1) / sectorBytes) : 0;
    if (!readFat() || !readDirectory())
        return false;
    startChain(m_rootChain, m_entries.front().start);
    startChain(m_miniFatChain, u32(h + 0x3C));
    return true;
}

bool CCompoundDocument::readFat()
{
    const char* h = m_file.constData();
    const quint32 fatSectors = u32(h + 0x2C);
    const int idsPerSector = (1 << m_sectorShift) / 4;
    // A FAT larger than the file needs could only point outside it, and would cost memory.
    if (fatSectors > m_fileSectors / quint32(idsPerSector) + 2)
        return fail(QStringLiteral("%1 FAT sectors declared for a file of %2 sectors (truncated file?)")
                        .arg(fatSectors)
                        .arg(m_fileSectors));

    std::vector<quint32> fatIds;
    fatIds.reserve(fatSectors);
    for (int i = 0; i < kHeaderFatIds && fatIds.size() < fatSectors; ++i)
        fatIds.push_back(u32(h + 0x4C + 4 * i));
    // The rest of the FAT's sector list runs on in a chain of DIFAT sectors.
    std::vector<char> seen(m_fileSectors, 0);
    quint32 difat = u32(h + 0x44);
    while (fatIds.size() < fatSectors) {
        if (difat >= m_fileSectors)
            return fail(QStringLiteral("DIFAT sector %1 out of range").arg(difat));
        if (seen[difat])
            return fail(QStringLiteral("DIFAT chain loops at sector %1").arg(difat));
        seen[difat] = 1;
        const char* s = h + sectorOffset(difat);
        if (sectorOffset(difat) + (qint64(1) << m_sectorShift) > m_file.size())
            return fail(QStringLiteral("DIFAT sector %1 lies past the end of the file (truncated file?)").arg(difat));
        for (int i = 0; i < idsPerSector - 1 && fatIds.size() < fatSectors; ++i)
            fatIds.push_back(u32(s + 4 * i));
        difat = u32(s + 4 * (idsPerSector - 1));
    }

    m_fat.resize(size_t(fatSectors) * size_t(idsPerSector));
    for (size_t i = 0; i < fatIds.size(); ++i) {
        const quint32 id = fatIds[i];
        if (id >= m_fileSectors || sectorOffset(id) + (qint64(1) << m_sectorShift) > m_file.size())
            return fail(QStringLiteral("FAT sector %1 lies past the end of the file (truncated file?)").arg(id));
        const char* s = h + sectorOffset(id);
        for (int k = 0; k < idsPerSector; ++k)
            m_fat[i * size_t(idsPerSector) + size_t(k)] = u32(s + 4 * k);
    }
    return true;
}

void CCompoundDocument::startChain(Chain& chain, quint32 start)
{
    chain = Chain();
    chain.next = start;
    chain.ended = start == kEndOfChain;
}

bool CCompoundDocument::miniFatEntry(quint32 sector, quint32& value)
{
    const size_t idsPerSector = size_t(1) << (m_sectorShift - 2);
    const size_t index = sector / idsPerSector;
    if (!extend(m_miniFatChain, index + 1, false, m_fat.size(), "mini FAT"))
        return false;
    if (index >= m_miniFatChain.sectors.size())
        return fail(QStringLiteral("mini FAT: sector %1 lies past its end").arg(sector));
    const qint64 at = sectorOffset(m_miniFatChain.sectors[index]) + qint64(sector % idsPerSector) * 4;
    if (at + 4 > m_file.size())
        return fail(QStringLiteral("mini FAT: sector %1 lies past the end of the file (truncated file?)").arg(sector));
    value = u32(m_file.constData() + at);
    return true;
}

bool CCompoundDocument::extend(Chain& chain, size_t count, bool mini, quint64 limit, const char* what)
{
    while (chain.sectors.size() < count && !chain.ended) {
        const quint32 s = chain.next;
        if (s >= limit)
            return fail(QStringLiteral("%1: sector index %2 out of range").arg(QLatin1String(what)).arg(s));
        if (chain.seen.size() < limit)
            chain.seen.resize(size_t(limit), 0);
        if (chain.seen[s])
            return fail(QStringLiteral("%1: sector chain loops at sector %2").arg(QLatin1String(what)).arg(s));
        chain.seen[s] = 1;
        chain.sectors.push_back(s);
        if (mini) {
            if (!miniFatEntry(s, chain.next))
                return false;
        } else {
            chain.next = m_fat[s];
        }
        chain.ended = chain.next == kEndOfChain;
    }
    return true;
}

bool CCompoundDocument::holds(const Chain& chain, size_t needed, quint64 size, const char* what)
{
    if (chain.sectors.size() >= needed)
        return true;
    return fail(QStringLiteral("%1: %2 bytes declared but its chain holds %3 sectors")
                    .arg(QLatin1String(what))
                    .arg(size)
                    .arg(chain.sectors.size()));
}

bool CCompoundDocument::gather(Chain& chain, quint64 size, QByteArray& out, const char* what, bool inPlace)
{
    const quint64 sectorBytes = quint64(1) << m_sectorShift;
    const size_t needed = size_t((size + sectorBytes - 1) / sectorBytes);
    if (!extend(chain, needed, false, m_fat.size(), what))
        return false;
    if (!holds(chain, needed, size, what))
        return false;
    // Writers store a stream's sectors in file order, with the allocation table's sectors between:
    // then the stream is gathered in place, over the file's own bytes (no second copy of it).
    bool increasing = inPlace;
    for (size_t i = 1; i < needed && increasing; ++i)
        increasing = chain.sectors[i] > chain.sectors[i - 1];
    if (increasing) {
        char* base = m_file.data();
        const qint64 first = sectorOffset(chain.sectors[0]);
        qint64 to = first;
        quint64 rest = size;
        for (size_t i = 0; i < needed; ++i) {
            const qint64 from = sectorOffset(chain.sectors[i]);
            const qint64 take = qint64(std::min(rest, sectorBytes));
            if (from + take > m_file.size())
                return fail(QStringLiteral("%1: sector %2 lies past the end of the data (truncated file?)")
                                .arg(QLatin1String(what))
                                .arg(chain.sectors[i]));
            if (from != to)
                std::memmove(base + to, base + from, size_t(take));
            to += take;
            rest -= quint64(take);
        }
        m_spent = true;
        out = QByteArray::fromRawData(base + first, int(size));
        return true;
    }
    out.resize(int(size));
    char* dst = out.data();
    quint64 left = size;
    for (size_t i = 0; i < needed; ++i) {
        const quint32 s = chain.sectors[i];
        const qint64 take = qint64(std::min(left, sectorBytes));
        if (sectorOffset(s) + take > m_file.size()) {
            out.clear();
            return fail(QStringLiteral("%1: sector %2 lies past the end of the data (truncated file?)")
                            .arg(QLatin1String(what))
                            .arg(s));
        }
        std::memcpy(dst, m_file.constData() + sectorOffset(s), size_t(take));
        dst += take;
        left -= quint64(take);
    }
    return true;
}

bool CCompoundDocument::gatherMini(Chain& chain, quint64 size, QByteArray& out, const char* what)
{
    const Entry& root = m_entries.front();
    const quint64 miniBytes = quint64(1) << kMiniShift;
    const size_t needed = size_t((size + miniBytes - 1) / miniBytes);
    // Mini sectors lie within the mini stream, whose size the root entry gives.
    if (!extend(chain, needed, true, (root.size + miniBytes - 1) / miniBytes, what))
        return false;
    if (!holds(chain, needed, size, what))
        return false;
    out.resize(int(size));
    char* dst = out.data();
    quint64 left = size;
    const int shift = m_sectorShift;
    for (size_t i = 0; i < needed; ++i) {
        // Where the mini sector lies in the mini stream, and so in which of its big sectors.
        const quint64 inStream = quint64(chain.sectors[i]) << kMiniShift;
        const size_t big = size_t(inStream >> shift);
        if (!extend(m_rootChain, big + 1, false, m_fat.size(), "mini stream"))
            return false;
        const quint64 take = std::min(left, miniBytes);
        if (big >= m_rootChain.sectors.size() || inStream + take > root.size)
            return fail(QStringLiteral("%1: mini sector %2 lies past the end of the mini stream")
                            .arg(QLatin1String(what))
                            .arg(chain.sectors[i]));
        const qint64 at = sectorOffset(m_rootChain.sectors[big]) + qint64(inStream & ((quint64(1) << shift) - 1));
        if (at + qint64(take) > m_file.size())
            return fail(QStringLiteral("mini stream: sector %1 lies past the end of the data (truncated file?)")
                            .arg(m_rootChain.sectors[big]));
        std::memcpy(dst, m_file.constData() + at, size_t(take));
        dst += take;
        left -= take;
    }
    return true;
}

bool CCompoundDocument::readDirectory()
{
    Chain chain;
    startChain(chain, u32(m_file.constData() + 0x30));
    const size_t maxSectors = size_t(inputcaps::kMaxDocumentEntries * kEntryBytes >> m_sectorShift);
    if (!extend(chain, maxSectors + 1, false, m_fat.size(), "directory"))
        return false;
    if (chain.sectors.size() > maxSectors)
        return fail(QStringLiteral("directory of more than %1 entries").arg(inputcaps::kMaxDocumentEntries));
    QByteArray dir;
    if (!gather(chain, quint64(chain.sectors.size()) << m_sectorShift, dir, "directory"))
        return false;
    const bool version3 = m_sectorShift == 9;
    for (int at = 0; at + kEntryBytes <= dir.size(); at += kEntryBytes) {
        const char* e = dir.constData() + at;
        Entry entry;
        entry.type = quint8(e[0x42]);
        const int nameBytes = std::min<int>(u16(e + 0x40), 64);
        const int nameChars = std::max(0, nameBytes / 2 - 1);
        entry.name.resize(nameChars);
        for (int i = 0; i < nameChars; ++i)
            entry.name[i] = QChar(u16(e + 2 * i));
        entry.start = u32(e + 0x74);
        // Version 3 writers may leave junk in the high half of the size.
        entry.size = version3 ? u32(e + 0x78) : u64(e + 0x78);
        m_entries.push_back(entry);
    }
    if (m_entries.empty() || m_entries.front().type != kRootEntry)
        return fail(QStringLiteral("no root entry in the directory"));
    return true;
}

const CCompoundDocument::Entry* CCompoundDocument::find(const QString& name) const
{
    for (const Entry& e : m_entries) {
        if (e.type == kStreamEntry && e.name.compare(name, Qt::CaseInsensitive) == 0)
            return &e;
    }
    return nullptr;
}

bool CCompoundDocument::hasStream(const QString& name) const
{
    return find(name) != nullptr;
}

bool CCompoundDocument::readStream(const QString& name, QByteArray& out)
{
    out.clear();
    if (m_spent)
        return fail(QStringLiteral("no stream is read after one read in place"));
    const Entry* entry = find(name);
    if (!entry)
        return fail(QStringLiteral("no stream named %1").arg(name));
    if (entry->size > quint64(m_file.size()))
        return fail(QStringLiteral("stream %1 declares %2 bytes, more than the file holds").arg(name).arg(entry->size));
    if (entry->size == 0)
        return true;
    const QByteArray what = name.toLatin1();
    Chain chain;
    startChain(chain, entry->start);
    // The format fixes the cut-off; a header claiming another is not followed.
    if (entry->size < kMiniCutoff)
        return gatherMini(chain, entry->size, out, what.constData());
    return gather(chain, entry->size, out, what.constData(), true);
}

} // namespace WB
