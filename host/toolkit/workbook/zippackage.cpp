#include "zippackage.h"

#include "inputcaps.h"
#include "regularfile.h"
#include "utf8sequence.h"

#include <QSet>

#include <zlib.h>

#include <algorithm>
#include <memory>

namespace WB {

namespace {

// Inflated pieces as the parsers take them; compressed input in smaller reads.
constexpr int kChunk = 256 * 1024;
constexpr int kInputChunk = 64 * 1024;

constexpr quint32 kLocalSignature = 0x04034b50;
constexpr quint32 kCentralSignature = 0x02014b50;
constexpr quint32 kEndSignature = 0x06054b50;
constexpr quint32 kEnd64Signature = 0x06064b50;
constexpr quint32 kEnd64LocatorSignature = 0x07064b50;
constexpr quint64 kLocalSize = 30;
constexpr quint64 kCentralSize = 46;
constexpr quint64 kEndSize = 22;
constexpr quint64 kEnd64Size = 56;
constexpr quint64 kEnd64LocatorSize = 20;
constexpr quint64 kMaxComment = 0xFFFF;
constexpr quint16 kZip64ExtraId = 0x0001;
constexpr quint16 kFlagEncrypted = 0x0001;
constexpr quint16 kStored = 0;
constexpr quint16 kDeflated = 8;

quint16 u16(const uchar* p)
{
    return quint16(p[0] | p[1] << 8);
}

quint32 u32(const uchar* p)
{
    return quint32(p[0]) | quint32(p[1]) << 8 | quint32(p[2]) << 16 | quint32(p[3]) << 24;
}

quint64 u64(const uchar* p)
{
    return quint64(u32(p)) | quint64(u32(p + 4)) << 32;
}

// True when [offset, offset + length) lies within [0, limit), without overflowing.
bool fits(quint64 offset, quint64 length, quint64 limit)
{
    return offset <= limit && length <= limit - offset;
}

// Part names are case-insensitive in OOXML packages, for ASCII letters only.
QByteArray foldedName(const QByteArray& name)
{
    QByteArray folded = name;
    for (char& c : folded) {
        if (c >= 'A' && c <= 'Z')
            c = char(c - 'A' + 'a');
    }
    return folded;
}

// Well-formed UTF-8, as part names must be.
bool isUtf8(const QByteArray& bytes)
{
    return utf8::isWellFormed(bytes.constData(), size_t(bytes.size()));
}

// Replaces the central directory's 0xFFFFFFFF placeholders by the ZIP64 extra field's values,
// which come in this order and only for the placeholders.
bool applyZip64Extra(const uchar* extra, quint64 length, quint64& size, quint64& compressedSize, quint64& offset)
{
    const bool needSize = size == 0xFFFFFFFFu;
    const bool needCompressed = compressedSize == 0xFFFFFFFFu;
    const bool needOffset = offset == 0xFFFFFFFFu;
    if (!needSize && !needCompressed && !needOffset)
        return true;
    quint64 at = 0;
    while (fits(at, 4, length)) {
        const quint16 id = u16(extra + at);
        const quint64 blockSize = u16(extra + at + 2);
        at += 4;
        if (!fits(at, blockSize, length))
            return false;
        if (id == kZip64ExtraId) {
            const uchar* field = extra + at;
            quint64 left = blockSize;
            for (quint64* value : {needSize ? &size : nullptr, needCompressed ? &compressedSize : nullptr,
                                   needOffset ? &offset : nullptr}) {
                if (!value)
                    continue;
                if (left < 8)
                    return false;
                *value = u64(field);
                field += 8;
                left -= 8;
            }
            return true;
        }
        at += blockSize;
    }
    return false;
}

} // namespace

bool CZipPackage::open(const QString& path)
{
    m_entries.clear();
    m_directory.clear();
    m_error.clear();
    if (m_file.isOpen())
        m_file.close();
    QString why;
    if (!openRegularFile(m_file, path, why)) {
        m_error = QStringLiteral("zip: ") + why;
        return false;
    }
    m_size = quint64(std::max<qint64>(m_file.size(), 0));
    if (!readDirectory()) {
        m_entries.clear();
        m_directory.clear();
        return false;
    }
    return true;
}

bool CZipPackage::readAt(quint64 offset, quint64 length, char* into)
{
    if (fits(offset, length, m_size) && m_file.seek(qint64(offset)) &&
        m_file.read(into, qint64(length)) == qint64(length))
        return true;
    m_error = QStringLiteral("zip: read error (file changed or truncated?)");
    return false;
}

bool CZipPackage::readDirectory()
{
    const QString notZip = QStringLiteral("zip: not a zip archive");
    if (m_size < kEndSize) {
        m_error = notZip;
        return false;
    }
    // The end record sits before a comment of up to 64 KiB, with the ZIP64 locator before it.
    const quint64 tailStart =
        m_size > kEnd64LocatorSize + kEndSize + kMaxComment ? m_size - kEnd64LocatorSize - kEndSize - kMaxComment : 0;
    QByteArray tailBytes(int(m_size - tailStart), Qt::Uninitialized);
    if (!readAt(tailStart, quint64(tailBytes.size()), tailBytes.data()))
        return false;
    const uchar* tail = reinterpret_cast<const uchar*>(tailBytes.constData());
    const quint64 tailSize = quint64(tailBytes.size());
    // One whose comment ends the file wins over one that only fits, so that a signature inside a
    // comment does not mislead.
    quint64 end = 0;
    bool found = false;
    const quint64 lowest = tailSize - kEndSize > kMaxComment ? tailSize - kEndSize - kMaxComment : 0;
    for (quint64 at = tailSize - kEndSize + 1; at-- > lowest;) {
        if (u32(tail + at) != kEndSignature)
            continue;
        const quint64 commentEnd = at + kEndSize + u16(tail + at + 20);
        if (commentEnd == tailSize) {
            end = at;
            found = true;
            break;
        }
        if (commentEnd < tailSize && !found) {
            end = at;
            found = true;
        }
    }
    if (!found) {
        m_error = notZip;
        return false;
    }

    const uchar* record = tail + end;
    quint64 disk = u16(record + 4), directoryDisk = u16(record + 6);
    quint64 count = u16(record + 10), diskCount = u16(record + 8);
    quint64 directorySize = u32(record + 12), directoryOffset = u32(record + 16);
    // The ZIP64 end record, named by the locator just before the end record, holds the full values.
    quint64 directoryLimit = tailStart + end;
    if (end >= kEnd64LocatorSize && u32(tail + end - kEnd64LocatorSize) == kEnd64LocatorSignature) {
        const quint64 locator = tailStart + end - kEnd64LocatorSize;
        const quint64 at = u64(tail + end - kEnd64LocatorSize + 8);
        uchar record64[kEnd64Size];
        if (!fits(at, kEnd64Size, locator) || !readAt(at, kEnd64Size, reinterpret_cast<char*>(record64)) ||
            u32(record64) != kEnd64Signature) {
            m_error = QStringLiteral("zip: the ZIP64 end of central directory is missing or damaged");
            return false;
        }
        disk = u32(record64 + 16);
        directoryDisk = u32(record64 + 20);
        diskCount = u64(record64 + 24);
        count = u64(record64 + 32);
        directorySize = u64(record64 + 40);
        directoryOffset = u64(record64 + 48);
        directoryLimit = at;
    }
    if (disk != 0 || directoryDisk != 0 || diskCount != count) {
        m_error = QStringLiteral("zip: multi-disk zip archives not supported");
        return false;
    }
    if (!fits(directoryOffset, directorySize, directoryLimit)) {
        m_error = QStringLiteral("zip: the central directory lies past the end of the file (truncated file?)");
        return false;
    }
    // Every entry takes at least its fixed header: a count past that is a lie, not an allocation.
    if (count > directorySize / kCentralSize) {
        m_error =
            QStringLiteral("zip: the central directory lists %1 entries in %2 bytes").arg(count).arg(directorySize);
        return false;
    }
    if (count > quint64(inputcaps::kMaxPackageEntries) || directorySize > quint64(inputcaps::kMaxDirectoryBytes)) {
        m_error = QStringLiteral("zip: the central directory is larger than any workbook's");
        return false;
    }
    m_directoryOffset = directoryOffset;
    m_directory = QByteArray(int(directorySize), Qt::Uninitialized);
    if (!readAt(directoryOffset, directorySize, m_directory.data()))
        return false;
    const uchar* directory = reinterpret_cast<const uchar*>(m_directory.constData());

    m_entries.reserve(size_t(count));
    QSet<QByteArray> foldedNames;
    foldedNames.reserve(int(count));
    quint64 at = 0;
    for (quint64 i = 0; i < count; ++i) {
        if (!fits(at, kCentralSize, directorySize) || u32(directory + at) != kCentralSignature) {
            m_error = QStringLiteral("zip: central directory entry %1 is damaged").arg(i);
            return false;
        }
        const uchar* header = directory + at;
        const quint64 nameLength = u16(header + 28), extraLength = u16(header + 30), commentLength = u16(header + 32);
        const quint64 variable = nameLength + extraLength + commentLength;
        if (!fits(at + kCentralSize, variable, directorySize)) {
            m_error = QStringLiteral("zip: central directory entry %1 runs past the directory").arg(i);
            return false;
        }
        Entry entry;
        entry.flags = u16(header + 8);
        entry.method = u16(header + 10);
        entry.crc = u32(header + 16);
        entry.compressedSize = u32(header + 20);
        entry.size = u32(header + 24);
        entry.localOffset = u32(header + 42);
        entry.name = QByteArray::fromRawData(reinterpret_cast<const char*>(header + kCentralSize), int(nameLength));
        if (!applyZip64Extra(header + kCentralSize + nameLength, extraLength, entry.size, entry.compressedSize,
                             entry.localOffset)) {
            m_error = QStringLiteral("zip: %1: the ZIP64 extra field is missing or damaged")
                          .arg(QString::fromUtf8(entry.name));
            return false;
        }
        if (!isUtf8(entry.name)) {
            m_error = QStringLiteral("zip: entry %1's name is not UTF-8").arg(i);
            return false;
        }
        // Two parts of one name, or of names another program takes as one, would make the package
        // mean two things.
        const QByteArray folded = foldedName(entry.name);
        if (foldedNames.contains(folded)) {
            m_error = QStringLiteral("zip: %1 is in the archive twice").arg(QString::fromUtf8(entry.name));
            return false;
        }
        foldedNames.insert(folded);
        m_entries.push_back(std::move(entry));
        at += kCentralSize + variable;
    }
    return true;
}

const CZipPackage::Entry* CZipPackage::locate(const QString& part) const
{
    int from = 0;
    while (from < part.size() && part.at(from) == QLatin1Char('/'))
        ++from;
    // Names are unique once folded: the one match is the part whatever case names it.
    const QByteArray name = foldedName(part.midRef(from).toUtf8());
    for (const Entry& entry : m_entries)
        if (foldedName(entry.name) == name)
            return &entry;
    return nullptr;
}

bool CZipPackage::contains(const QString& part) const
{
    return locate(part) != nullptr;
}

bool CZipPackage::read(const QString& part, qint64 cap, const Sink& sink)
{
    const Entry* entry = locate(part);
    if (!entry) {
        m_error = QStringLiteral("xlsx: part %1 missing").arg(part);
        return false;
    }
    return readEntry(part, *entry, cap, sink);
}

bool CZipPackage::readEntry(const QString& part, const Entry& entry, qint64 cap, const Sink& sink)
{
    const auto broken = [this, &part](const QString& reason) {
        m_error = QStringLiteral("zip: %1: %2").arg(part, reason);
        return false;
    };
    if (entry.flags & kFlagEncrypted)
        return broken(QStringLiteral("encrypted parts are not supported"));
    if (entry.method != kStored && entry.method != kDeflated)
        return broken(QStringLiteral("compression method %1 not supported").arg(entry.method));
    // The local header's own name and extra lengths place the data; its sizes may be left out.
    uchar local[kLocalSize];
    if (!fits(entry.localOffset, kLocalSize, m_directoryOffset) ||
        !readAt(entry.localOffset, kLocalSize, reinterpret_cast<char*>(local)) || u32(local) != kLocalSignature)
        return broken(QStringLiteral("the local header is missing or damaged"));
    const quint64 data = entry.localOffset + kLocalSize + u16(local + 26) + u16(local + 28);
    if (!fits(data, entry.compressedSize, m_directoryOffset))
        return broken(QStringLiteral("the data runs past the end of the file (truncated file?)"));
    if (entry.method == kStored && entry.compressedSize != entry.size)
        return broken(QStringLiteral("a stored part whose sizes differ"));

    const auto capped = [this, &part, cap] {
        m_error = QStringLiteral("xlsx: part %1 inflates past the %2 MiB cap").arg(part).arg(cap / (1024 * 1024));
        return false;
    };
    quint64 total = 0;
    uLong crc = crc32(0, nullptr, 0);
    // A part stated larger than the cap fails whatever it holds (past the cap, or short of its
    // size): the checksum would be work for nothing, a fifth of the time a bomb takes to refuse.
    const bool checksummed = entry.size <= quint64(cap);
    // One buffer for every part of the package: its pages are faulted in once, not per part.
    if (!m_buffer)
        m_buffer.reset(new char[kChunk + kInputChunk]);
    char* const output = m_buffer.get();
    char* const input = output + kChunk;
    if (!m_file.seek(qint64(data)))
        return broken(QStringLiteral("read error"));
    // Reads on from where the last piece ended; short only when the file changed under us.
    const auto next = [this](char* into, quint64 length) {
        return m_file.read(into, qint64(length)) == qint64(length);
    };

    if (entry.method == kStored) {
        for (quint64 done = 0; done < entry.size;) {
            const quint64 piece = std::min<quint64>(kChunk, entry.size - done);
            if (qint64(done + piece) > cap)
                return capped();
            if (!next(output, piece))
                return broken(QStringLiteral("read error (file changed or truncated?)"));
            if (checksummed)
                crc = crc32(crc, reinterpret_cast<const Bytef*>(output), uInt(piece));
            if (!sink(output, int(piece), false))
                return false;
            done += piece;
        }
        total = entry.size;
    } else {
        z_stream stream{};
        if (inflateInit2(&stream, -MAX_WBITS) != Z_OK)
            return broken(QStringLiteral("cannot start inflating"));
        // Ends the stream on every way out.
        const std::unique_ptr<z_stream, int (*)(z_stream*)> guard(&stream, inflateEnd);
        quint64 fed = 0;
        for (bool ended = false; !ended;) {
            if (stream.avail_in == 0 && fed < entry.compressedSize) {
                const quint64 piece = std::min<quint64>(kInputChunk, entry.compressedSize - fed);
                if (!next(input, piece))
                    return broken(QStringLiteral("read error (file changed or truncated?)"));
                stream.next_in = reinterpret_cast<Bytef*>(input);
                stream.avail_in = uInt(piece);
                fed += piece;
            }
            stream.next_out = reinterpret_cast<Bytef*>(output);
            stream.avail_out = kChunk;
            const int rc = inflate(&stream, Z_NO_FLUSH);
            const quint64 produced = quint64(kChunk - stream.avail_out);
            if (rc == Z_STREAM_END) {
                ended = true;
            } else if (rc == Z_BUF_ERROR) {
                // No progress with all input given: the stream stops before its end.
                if (fed == entry.compressedSize)
                    return broken(QStringLiteral("compressed data ends early"));
            } else if (rc != Z_OK) {
                return broken(QStringLiteral("compressed data invalid"));
            }
            if (produced == 0)
                continue;
            total += produced;
            if (qint64(total) > cap)
                return capped();
            if (total > entry.size)
                return broken(QStringLiteral("inflates past its stated size"));
            if (checksummed)
                crc = crc32(crc, reinterpret_cast<const Bytef*>(output), uInt(produced));
            if (!sink(output, int(produced), false))
                return false;
        }
    }
    if (total != entry.size)
        return broken(QStringLiteral("inflates to %1 bytes instead of %2").arg(total).arg(entry.size));
#ifndef FUZZING_BUILD_MODE_UNSAFE_FOR_PRODUCTION
    // Fuzzing builds let mutated content through to the parsers behind the checksum.
    if (quint32(crc) != entry.crc)
        return broken(QStringLiteral("crc error"));
#endif
    static const char none = 0;
    return sink(&none, 0, true);
}

} // namespace WB
