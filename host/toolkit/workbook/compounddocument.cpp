#include "compounddocument.h"

#include <QFile>
#include <QtEndian>

#include <algorithm>
#include <cstring>

namespace WB {

namespace {

constexpr quint32 kEndOfChain = 0xFFFFFFFE;
constexpr int kHeaderBytes = 512;
constexpr int kHeaderFatIds = 109;
constexpr int kEntryBytes = 128;
constexpr int kMaxEntries = 65536; // a workbook has a handful of streams
constexpr quint8 kStreamEntry = 2;
constexpr quint8 kRootEntry = 5;
const char kSignature[] = "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1";

quint16 u16(const char* p)
{
    return qFromLittleEndian<quint16>(p);
}
quint32 u32(const char* p)
{
    return qFromLittleEndian<quint32>(p);
}
quint64 u64(const char* p)
{
    return qFromLittleEndian<quint64>(p);
}

} // namespace

bool CCompoundDocument::fail(const QString& message)
{
    m_error = QStringLiteral("cfb: ") + message;
    return false;
}

bool CCompoundDocument::open(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        m_error = QStringLiteral("cannot open %1: %2").arg(path, file.errorString());
        return false;
    }
    if (file.size() > kMaxFileBytes)
        return fail(QStringLiteral("file larger than the %1 MiB cap").arg(kMaxFileBytes / (1024 * 1024)));
    return openData(file.readAll());
}

bool CCompoundDocument::openData(const QByteArray& data)
{
    m_file = data;
    m_fat.clear();
    m_miniFat.clear();
    m_entries.clear();
    m_miniStream.clear();
    m_miniLoaded = false;
    m_error.clear();
    if (m_file.size() > kMaxFileBytes)
        return fail(QStringLiteral("document larger than the %1 MiB cap").arg(kMaxFileBytes / (1024 * 1024)));
    if (m_file.size() < kHeaderBytes || !m_file.startsWith(QByteArray(kSignature, 8)))
        return fail(QStringLiteral("no compound document header (truncated file?)"));
    const char* h = m_file.constData();
    if (u16(h + 0x1C) != 0xFFFE)
        return fail(QStringLiteral("bad byte order mark"));
    m_sectorShift = u16(h + 0x1E);
    m_miniShift = u16(h + 0x20);
    if ((m_sectorShift != 9 && m_sectorShift != 12) || m_miniShift != 6)
        return fail(
            QStringLiteral("unsupported sector sizes (shift %1, mini shift %2)").arg(m_sectorShift).arg(m_miniShift));
    m_miniCutoff = u32(h + 0x38);
    const qint64 sectorBytes = qint64(1) << m_sectorShift;
    // The header fills the first sector; a partial last sector still counts, reads are checked.
    m_fileSectors = m_file.size() > sectorBytes ? quint32((m_file.size() - 1) / sectorBytes) : 0;
    return readFat() && readDirectory();
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
        const char* s = h + ((qint64(difat) + 1) << m_sectorShift);
        if (s + (qint64(1) << m_sectorShift) > h + m_file.size())
            return fail(QStringLiteral("DIFAT sector %1 lies past the end of the file (truncated file?)").arg(difat));
        for (int i = 0; i < idsPerSector - 1 && fatIds.size() < fatSectors; ++i)
            fatIds.push_back(u32(s + 4 * i));
        difat = u32(s + 4 * (idsPerSector - 1));
    }

    m_fat.resize(size_t(fatSectors) * size_t(idsPerSector));
    for (size_t i = 0; i < fatIds.size(); ++i) {
        const quint32 id = fatIds[i];
        const qint64 at = (qint64(id) + 1) << m_sectorShift;
        if (id >= m_fileSectors || at + (qint64(1) << m_sectorShift) > m_file.size())
            return fail(QStringLiteral("FAT sector %1 lies past the end of the file (truncated file?)").arg(id));
        const char* s = h + at;
        for (int k = 0; k < idsPerSector; ++k)
            m_fat[i * size_t(idsPerSector) + size_t(k)] = u32(s + 4 * k);
    }
    return true;
}

bool CCompoundDocument::chain(const std::vector<quint32>& table, quint32 start, std::vector<quint32>& sectors,
                              const char* what)
{
    sectors.clear();
    std::vector<char> seen;
    for (quint32 s = start; s != kEndOfChain;) {
        if (s >= table.size())
            return fail(QStringLiteral("%1: sector index %2 out of range").arg(QLatin1String(what)).arg(s));
        if (seen.empty())
            seen.assign(table.size(), 0);
        if (seen[s])
            return fail(QStringLiteral("%1: sector chain loops at sector %2").arg(QLatin1String(what)).arg(s));
        seen[s] = 1;
        sectors.push_back(s);
        s = table[s];
    }
    return true;
}

bool CCompoundDocument::gather(const std::vector<quint32>& sectors, int shift, const QByteArray& source,
                               qint64 sourceStart, quint64 size, QByteArray& out, const char* what)
{
    const qint64 sectorBytes = qint64(1) << shift;
    if (size > quint64(sectors.size()) * quint64(sectorBytes))
        return fail(QStringLiteral("%1: %2 bytes declared but its chain holds %3 sectors")
                        .arg(QLatin1String(what))
                        .arg(size)
                        .arg(sectors.size()));
    out.resize(int(size));
    char* dst = out.data();
    quint64 left = size;
    for (quint32 s : sectors) {
        if (left == 0)
            break;
        const qint64 at = sourceStart + (qint64(s) << shift);
        const qint64 take = qint64(std::min<quint64>(left, quint64(sectorBytes)));
        if (at + take > source.size()) {
            out.clear();
            return fail(QStringLiteral("%1: sector %2 lies past the end of the data (truncated file?)")
                            .arg(QLatin1String(what))
                            .arg(s));
        }
        std::memcpy(dst, source.constData() + at, size_t(take));
        dst += take;
        left -= quint64(take);
    }
    return true;
}

bool CCompoundDocument::readDirectory()
{
    std::vector<quint32> sectors;
    if (!chain(m_fat, u32(m_file.constData() + 0x30), sectors, "directory"))
        return false;
    if (sectors.size() > size_t(kMaxEntries * kEntryBytes >> m_sectorShift))
        return fail(QStringLiteral("directory of more than %1 entries").arg(kMaxEntries));
    QByteArray dir;
    const quint64 bytes = quint64(sectors.size()) << m_sectorShift;
    if (!gather(sectors, m_sectorShift, m_file, qint64(1) << m_sectorShift, bytes, dir, "directory"))
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

bool CCompoundDocument::loadMiniStream()
{
    if (m_miniLoaded)
        return true;
    const Entry& root = m_entries.front();
    if (root.size > quint64(m_file.size()))
        return fail(QStringLiteral("mini stream of %1 bytes is larger than the file").arg(root.size));
    std::vector<quint32> sectors;
    if (!chain(m_fat, root.start, sectors, "mini stream") ||
        !gather(sectors, m_sectorShift, m_file, qint64(1) << m_sectorShift, root.size, m_miniStream, "mini stream"))
        return false;

    const char* h = m_file.constData();
    QByteArray table;
    if (!chain(m_fat, u32(h + 0x3C), sectors, "mini FAT") ||
        !gather(sectors, m_sectorShift, m_file, qint64(1) << m_sectorShift, quint64(sectors.size()) << m_sectorShift,
                table, "mini FAT"))
        return false;
    m_miniFat.resize(size_t(table.size() / 4));
    for (size_t i = 0; i < m_miniFat.size(); ++i)
        m_miniFat[i] = u32(table.constData() + 4 * i);
    m_miniLoaded = true;
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
    const Entry* entry = find(name);
    if (!entry)
        return fail(QStringLiteral("no stream named %1").arg(name));
    if (entry->size > quint64(m_file.size()))
        return fail(QStringLiteral("stream %1 declares %2 bytes, more than the file holds").arg(name).arg(entry->size));
    const QByteArray what = name.toLatin1();
    std::vector<quint32> sectors;
    if (entry->size < m_miniCutoff) {
        if (entry->size == 0)
            return true;
        return loadMiniStream() && chain(m_miniFat, entry->start, sectors, what.constData()) &&
               gather(sectors, m_miniShift, m_miniStream, 0, entry->size, out, what.constData());
    }
    return chain(m_fat, entry->start, sectors, what.constData()) &&
           gather(sectors, m_sectorShift, m_file, qint64(1) << m_sectorShift, entry->size, out, what.constData());
}

} // namespace WB
