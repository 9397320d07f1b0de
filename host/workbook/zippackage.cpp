#include "zippackage.h"

#include "inputcaps.h"
#include "littleendian.h"
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
constexpr quint16 kFlagDescriptor = 0x0008;
constexpr quint32 kDescriptorSignature = 0x08074b50;
constexpr quint64 kPlaceholder = 0xFFFFFFFFu;
constexpr quint16 kStored = 0;
constexpr quint16 kDeflated = 8;

using le::u16;
using le::u32;
using le::u64;

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
    const bool needSize = size == kPlaceholder;
    const bool needCompressed = compressedSize == kPlaceholder;
    const bool needOffset = offset == kPlaceholder;
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

bool CZipPackage::open(QFile& file)
{
    m_entries.clear();
    m_directory.clear();
    m_error.clear();
    if (m_memory.isOpen())
        m_memory.close();
    m_device = &file;
    m_size = quint64(std::max<qint64>(file.size(), 0));
    if (!readDirectory()) {
        m_entries.clear();
        m_directory.clear();
        return false;
    }
    return true;
}

bool CZipPackage::openData(const QByteArray& data)
{
    m_entries.clear();
    m_directory.clear();
    m_error.clear();
    if (m_memory.isOpen())
        m_memory.close();
    m_memory.setData(data);
    m_memory.open(QIODevice::ReadOnly);
    m_device = &m_memory;
    m_size = quint64(data.size());
    if (!readDirectory()) {
        m_entries.clear();
        m_directory.clear();
        return false;
    }
    return true;
}

bool CZipPackage::readAt(quint64 offset, quint64 length, char* into)
{
    if (fits(offset, length, m_size) && m_device->seek(qint64(offset)) &&
        m_device->read(into, qint64(length)) == qint64(length))
        return true;
    return fail(QStringLiteral("zip: read error (file changed or truncated?)"));
}

bool CZipPackage::fail(const QString& error)
{
    m_error = error;
    return false;
}

// The end record sits before a comment of up to 64 KiB, with the ZIP64 locator before it.
bool CZipPackage::readDirectory()
{
    if (m_size < kEndSize)
        return fail(QStringLiteral("zip: not a zip archive"));
    const quint64 tailStart =
        m_size > kEnd64LocatorSize + kEndSize + kMaxComment ? m_size - kEnd64LocatorSize - kEndSize - kMaxComment : 0;
    QByteArray tail(int(m_size - tailStart), Qt::Uninitialized);
    if (!readAt(tailStart, quint64(tail.size()), tail.data()))
        return false;
    EndRecord end;
    return findEndRecord(tail, tailStart, end) && checkDirectory(end) && readCentralDirectory(end);
}

bool CZipPackage::findEndRecord(const QByteArray& tailBytes, quint64 tailStart, EndRecord& end)
{
    const uchar* tail = reinterpret_cast<const uchar*>(tailBytes.constData());
    const quint64 tailSize = quint64(tailBytes.size());
    // One whose comment ends the file wins over one that only fits, so that a signature inside a
    // comment does not mislead.
    quint64 at = 0;
    bool found = false;
    const quint64 lowest = tailSize - kEndSize > kMaxComment ? tailSize - kEndSize - kMaxComment : 0;
    for (quint64 candidate = tailSize - kEndSize + 1; candidate-- > lowest;) {
        if (u32(tail + candidate) != kEndSignature)
            continue;
        const quint64 commentEnd = candidate + kEndSize + u16(tail + candidate + 20);
        if (commentEnd == tailSize || (commentEnd < tailSize && !found)) {
            at = candidate;
            found = true;
            if (commentEnd == tailSize)
                break;
        }
    }
    if (!found)
        return fail(QStringLiteral("zip: not a zip archive"));
    const uchar* record = tail + at;
    end.disk = u16(record + 4);
    end.directoryDisk = u16(record + 6);
    end.diskCount = u16(record + 8);
    end.count = u16(record + 10);
    end.directorySize = u32(record + 12);
    end.directoryOffset = u32(record + 16);
    end.directoryLimit = tailStart + at;
    // The ZIP64 end record, named by the locator just before the end record, holds the full values.
    if (at >= kEnd64LocatorSize && u32(tail + at - kEnd64LocatorSize) == kEnd64LocatorSignature)
        return readZip64End(tailStart + at - kEnd64LocatorSize, u64(tail + at - kEnd64LocatorSize + 8), end);
    return true;
}

bool CZipPackage::readZip64End(quint64 locator, quint64 at, EndRecord& end)
{
    uchar record[kEnd64Size];
    if (!fits(at, kEnd64Size, locator) || !readAt(at, kEnd64Size, reinterpret_cast<char*>(record)) ||
        u32(record) != kEnd64Signature)
        return fail(QStringLiteral("zip: the ZIP64 end of central directory is missing or damaged"));
    end.disk = u32(record + 16);
    end.directoryDisk = u32(record + 20);
    end.diskCount = u64(record + 24);
    end.count = u64(record + 32);
    end.directorySize = u64(record + 40);
    end.directoryOffset = u64(record + 48);
    end.directoryLimit = at;
    return true;
}

bool CZipPackage::checkDirectory(const EndRecord& end)
{
    if (end.disk != 0 || end.directoryDisk != 0 || end.diskCount != end.count)
        return fail(QStringLiteral("zip: multi-disk zip archives not supported"));
    if (!fits(end.directoryOffset, end.directorySize, end.directoryLimit))
        return fail(QStringLiteral("zip: the central directory lies past the end of the file (truncated file?)"));
    // Every entry takes at least its fixed header: a count past that is a lie, not an allocation.
    if (end.count > end.directorySize / kCentralSize)
        return fail(QStringLiteral("zip: the central directory lists %1 entries in %2 bytes")
                        .arg(end.count)
                        .arg(end.directorySize));
    if (end.count > quint64(inputcaps::kMaxPackageEntries) ||
        end.directorySize > quint64(inputcaps::kMaxDirectoryBytes))
        return fail(QStringLiteral("zip: the central directory is larger than any workbook's"));
    return true;
}

bool CZipPackage::readCentralDirectory(const EndRecord& end)
{
    m_directoryOffset = end.directoryOffset;
    m_directory = QByteArray(int(end.directorySize), Qt::Uninitialized);
    if (!readAt(end.directoryOffset, end.directorySize, m_directory.data()))
        return false;
    m_entries.reserve(size_t(end.count));
    QSet<QByteArray> foldedNames;
    foldedNames.reserve(int(end.count));
    quint64 at = 0;
    for (quint64 i = 0; i < end.count; ++i) {
        Entry entry;
        if (!readCentralEntry(i, at, entry))
            return false;
        // Two parts of one name, or of names another program takes as one, would make the package
        // mean two things.
        const QByteArray folded = foldedName(entry.name);
        if (foldedNames.contains(folded))
            return fail(QStringLiteral("zip: %1 is in the archive twice").arg(QString::fromUtf8(entry.name)));
        foldedNames.insert(folded);
        m_entries.push_back(std::move(entry));
    }
    return true;
}

// The entry i whose header starts at offset at of the directory; at is moved past it.
bool CZipPackage::readCentralEntry(quint64 i, quint64& at, Entry& entry)
{
    const auto directorySize = quint64(m_directory.size());
    const uchar* header = reinterpret_cast<const uchar*>(m_directory.constData()) + at;
    if (!fits(at, kCentralSize, directorySize) || u32(header) != kCentralSignature)
        return fail(QStringLiteral("zip: central directory entry %1 is damaged").arg(i));
    const quint64 nameLength = u16(header + 28), extraLength = u16(header + 30), commentLength = u16(header + 32);
    const quint64 variable = nameLength + extraLength + commentLength;
    if (!fits(at + kCentralSize, variable, directorySize))
        return fail(QStringLiteral("zip: central directory entry %1 runs past the directory").arg(i));
    entry.flags = u16(header + 8);
    entry.method = u16(header + 10);
    entry.crc = u32(header + 16);
    entry.compressedSize = u32(header + 20);
    entry.size = u32(header + 24);
    entry.localOffset = u32(header + 42);
    entry.zip64 = entry.size == kPlaceholder || entry.compressedSize == kPlaceholder;
    entry.name = QByteArray::fromRawData(reinterpret_cast<const char*>(header + kCentralSize), int(nameLength));
    if (!applyZip64Extra(header + kCentralSize + nameLength, extraLength, entry.size, entry.compressedSize,
                         entry.localOffset))
        return fail(
            QStringLiteral("zip: %1: the ZIP64 extra field is missing or damaged").arg(QString::fromUtf8(entry.name)));
    if (!isUtf8(entry.name))
        return fail(QStringLiteral("zip: entry %1's name is not UTF-8").arg(i));
    at += kCentralSize + variable;
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
    m_part = part;
    if (entry.flags & kFlagEncrypted)
        return broken(QStringLiteral("encrypted parts are not supported"));
    if (entry.method != kStored && entry.method != kDeflated)
        return broken(QStringLiteral("compression method %1 not supported").arg(entry.method));
    if (entry.method == kStored && entry.compressedSize != entry.size)
        return broken(QStringLiteral("a stored part whose sizes differ"));
    quint64 data = 0;
    if (!readLocalHeader(entry, data))
        return false;
    // One buffer for every part of the package: its pages are faulted in once, not per part.
    if (!m_buffer)
        m_buffer.reset(new char[kChunk + kInputChunk]);
    if (!m_device->seek(qint64(data)))
        return broken(QStringLiteral("read error"));
    Output out{sink, cap, entry.size};
    // A part stated larger than the cap fails whatever it holds (past the cap, or short of its
    // size): the checksum would be work for nothing, a fifth of the time a bomb takes to refuse.
    out.checksummed = entry.size <= quint64(cap);
    if (!(entry.method == kStored ? copyStored(entry, out) : inflatePart(entry, out)))
        return false;
    if (out.total != entry.size)
        return broken(QStringLiteral("inflates to %1 bytes instead of %2").arg(out.total).arg(entry.size));
#ifndef FUZZING_BUILD_MODE_UNSAFE_FOR_PRODUCTION
    // Fuzzing builds let mutated content through to the parsers behind the checksum.
    if (quint32(out.crc) != entry.crc)
        return broken(QStringLiteral("crc error"));
#endif
    if ((entry.flags & kFlagDescriptor) && !checkDescriptor(entry, data + entry.compressedSize))
        return false;
    static const char none = 0;
    return sink(&none, 0, true);
}

bool CZipPackage::broken(const QString& reason)
{
    return fail(QStringLiteral("zip: %1: %2").arg(m_part, reason));
}

// The local header's name and extra lengths place the data. Its sizes are the central
// directory's, or zero when a data descriptor follows the data: a part read by one and not
// by the other would hold two contents.
bool CZipPackage::readLocalHeader(const Entry& entry, quint64& data)
{
    uchar local[kLocalSize];
    if (!fits(entry.localOffset, kLocalSize, m_directoryOffset) ||
        !readAt(entry.localOffset, kLocalSize, reinterpret_cast<char*>(local)) || u32(local) != kLocalSignature)
        return broken(QStringLiteral("the local header is missing or damaged"));
    const quint64 nameLength = u16(local + 26), extraLength = u16(local + 28);
    data = entry.localOffset + kLocalSize + nameLength + extraLength;
    if (!fits(data, entry.compressedSize, m_directoryOffset))
        return broken(QStringLiteral("the data runs past the end of the file (truncated file?)"));
    // A part the local header names otherwise is two parts to two programs.
    QByteArray localName(int(nameLength), Qt::Uninitialized);
    if (!readAt(entry.localOffset + kLocalSize, nameLength, localName.data()))
        return broken(QStringLiteral("the local header is missing or damaged"));
    if (localName != entry.name)
        return broken(QStringLiteral("the local header names it \"%1\": two names for one part")
                          .arg(QString::fromUtf8(localName).left(128)));
    quint64 compressedSize = u32(local + 18), size = u32(local + 22), unused = 0;
    if (compressedSize == kPlaceholder || size == kPlaceholder) {
        QByteArray extra(int(extraLength), Qt::Uninitialized);
        if (!readAt(entry.localOffset + kLocalSize + nameLength, extraLength, extra.data()) ||
            !applyZip64Extra(reinterpret_cast<const uchar*>(extra.constData()), extraLength, size, compressedSize,
                             unused))
            return broken(QStringLiteral("the local header's ZIP64 extra field is missing or damaged"));
    }
    // With a descriptor following, some writers leave only the compressed size to it; the
    // descriptor is then held to the central directory.
    const bool deferred = (entry.flags & kFlagDescriptor) && compressedSize == 0 && (size == 0 || size == entry.size);
    if (!deferred && (compressedSize != entry.compressedSize || size != entry.size))
        return broken(QStringLiteral("the local header's sizes differ from the central directory's"));
    return true;
}

// Reads on from where the last piece ended; short only when the file changed under us.
bool CZipPackage::readOn(char* into, quint64 length)
{
    if (m_device->read(into, qint64(length)) == qint64(length))
        return true;
    return broken(QStringLiteral("read error (file changed or truncated?)"));
}

bool CZipPackage::deliver(Output& out, const char* data, quint64 size)
{
    out.total += size;
    if (qint64(out.total) > out.cap)
        return fail(
            QStringLiteral("xlsx: part %1 inflates past the %2 MiB cap").arg(m_part).arg(out.cap / (1024 * 1024)));
    if (out.total > out.stated)
        return broken(QStringLiteral("inflates past its stated size"));
    if (out.checksummed)
        out.crc = crc32(out.crc, reinterpret_cast<const Bytef*>(data), uInt(size));
    return out.sink(data, int(size), false);
}

bool CZipPackage::copyStored(const Entry& entry, Output& out)
{
    char* const buffer = m_buffer.get();
    for (quint64 done = 0; done < entry.size;) {
        const quint64 piece = std::min<quint64>(kChunk, entry.size - done);
        if (!readOn(buffer, piece) || !deliver(out, buffer, piece))
            return false;
        done += piece;
    }
    return true;
}

bool CZipPackage::inflatePart(const Entry& entry, Output& out)
{
    char* const output = m_buffer.get();
    char* const input = output + kChunk;
    z_stream stream{};
    if (inflateInit2(&stream, -MAX_WBITS) != Z_OK)
        return broken(QStringLiteral("cannot start inflating"));
    // Ends the stream on every way out.
    const std::unique_ptr<z_stream, int (*)(z_stream*)> guard(&stream, inflateEnd);
    quint64 fed = 0;
    for (bool ended = false; !ended;) {
        if (stream.avail_in == 0 && fed < entry.compressedSize) {
            const quint64 piece = std::min<quint64>(kInputChunk, entry.compressedSize - fed);
            if (!readOn(input, piece))
                return false;
            stream.next_in = reinterpret_cast<Bytef*>(input);
            stream.avail_in = uInt(piece);
            fed += piece;
        }
        stream.next_out = reinterpret_cast<Bytef*>(output);
        stream.avail_out = kChunk;
        const int rc = inflate(&stream, Z_NO_FLUSH);
        if (rc == Z_STREAM_END) {
            ended = true;
        } else if (rc == Z_BUF_ERROR) {
            // No progress with all input given: the stream stops before its end.
            if (fed == entry.compressedSize)
                return broken(QStringLiteral("compressed data ends early"));
        } else if (rc != Z_OK) {
            return broken(QStringLiteral("compressed data invalid"));
        }
        const quint64 produced = quint64(kChunk - stream.avail_out);
        if (produced > 0 && !deliver(out, output, produced))
            return false;
    }
    // Bytes after the stream's end inside the stated size would be read by no one.
    if (stream.avail_in != 0 || fed != entry.compressedSize)
        return broken(QStringLiteral("compressed data ends before its stated size"));
    return true;
}

// The data descriptor after the data: crc and both sizes, four bytes each or eight for ZIP64,
// after a signature that writers may leave out.
bool CZipPackage::checkDescriptor(const Entry& entry, quint64 at)
{
    const quint64 width = entry.zip64 ? 8 : 4;
    uchar descriptor[4 + 4 + 8 + 8];
    const quint64 longest = 4 + 4 + 2 * width;
    const quint64 length = std::min(longest, m_directoryOffset - at);
    if (length < longest - 4 || !readAt(at, length, reinterpret_cast<char*>(descriptor)))
        return broken(QStringLiteral("the data descriptor is missing"));
    const bool signed_ = length == longest && u32(descriptor) == kDescriptorSignature;
    const uchar* p = descriptor + (signed_ ? 4 : 0) + 4;
    const quint64 compressedSize = width == 8 ? u64(p) : u32(p);
    const quint64 size = width == 8 ? u64(p + width) : u32(p + width);
    if (compressedSize != entry.compressedSize || size != entry.size)
        return broken(QStringLiteral("the data descriptor's sizes differ from the central directory's"));
    return true;
}

} // namespace WB
