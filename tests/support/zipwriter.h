#pragma once
// Writes zip archives for tests and benchmarks: each entry deflated with zlib (or stored), in
// order, with UTF-8 names. No ZIP64: every entry and the whole archive stay under 4 GiB.

#include <QByteArray>
#include <QFile>
#include <QList>
#include <QPair>
#include <QString>

#include <zlib.h>

namespace testsupport {

using ZipEntries = QList<QPair<QString, QByteArray>>;

namespace zipdetail {

inline void put16(QByteArray& out, quint32 v)
{
    out.append(char(v & 0xFF)).append(char((v >> 8) & 0xFF));
}

inline void put32(QByteArray& out, quint32 v)
{
    put16(out, v & 0xFFFF);
    put16(out, v >> 16);
}

// Raw deflate (no zlib header), as zip stores it; false on failure. The output grows as it is
// made: a highly compressible gigabyte needs no gigabyte of output room.
inline bool deflateRaw(const QByteArray& data, QByteArray& out)
{
    z_stream stream{};
    if (deflateInit2(&stream, Z_BEST_SPEED, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        return false;
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.constData()));
    stream.avail_in = uInt(data.size());
    char chunk[64 * 1024];
    int rc = Z_OK;
    while (rc == Z_OK) {
        stream.next_out = reinterpret_cast<Bytef*>(chunk);
        stream.avail_out = sizeof chunk;
        rc = deflate(&stream, Z_FINISH);
        out.append(chunk, int(sizeof chunk - stream.avail_out));
    }
    deflateEnd(&stream);
    return rc == Z_STREAM_END;
}

} // namespace zipdetail

// The zip holding the entries in order, deflated unless stored; empty when one cannot be deflated.
// With descriptors, each part's crc and sizes follow its data instead of its local header.
inline QByteArray zipBytes(const ZipEntries& entries, bool stored = false, bool descriptors = false)
{
    using namespace zipdetail;
    QByteArray archive, directory;
    for (const auto& entry : entries) {
        const QByteArray name = entry.first.toUtf8();
        const QByteArray& data = entry.second;
        QByteArray packed;
        if (!stored && !deflateRaw(data, packed))
            return QByteArray();
        const QByteArray& body = stored ? data : packed;
        const quint32 crc = quint32(crc32(0, reinterpret_cast<const Bytef*>(data.constData()), uInt(data.size())));
        const quint32 offset = quint32(archive.size());
        QByteArray header, sizes;
        put32(sizes, crc);
        put32(sizes, quint32(body.size()));
        put32(sizes, quint32(data.size()));
        put16(header, 20);                                  // version needed
        put16(header, descriptors ? 0x0808 : 0x0800);       // UTF-8 names, data descriptor
        put16(header, stored ? 0 : 8);                      // method
        put32(header, 0);                                   // time and date
        const int sizesAt = header.size();
        header += sizes;
        put16(header, quint32(name.size()));
        put16(header, 0); // extra
        put32(archive, 0x04034b50);
        archive += (descriptors ? QByteArray(header).replace(sizesAt, 12, QByteArray(12, 0)) : header) + name + body;
        if (descriptors) {
            put32(archive, 0x08074b50);
            archive += sizes;
        }
        put32(directory, 0x02014b50);
        put16(directory, 20); // version made by
        directory += header;
        put16(directory, 0); // comment
        put32(directory, 0); // disk, internal attributes
        put32(directory, 0); // external attributes
        put32(directory, offset);
        directory += name;
    }
    const quint32 directoryOffset = quint32(archive.size());
    archive += directory;
    put32(archive, 0x06054b50);
    put32(archive, 0); // disks
    put16(archive, quint32(entries.size()));
    put16(archive, quint32(entries.size()));
    put32(archive, quint32(directory.size()));
    put32(archive, directoryOffset);
    put16(archive, 0); // comment
    return archive;
}

// Writes zipBytes(entries) to path; false when it cannot be made or written whole.
inline bool writeZipFile(const QString& path, const ZipEntries& entries, bool stored = false)
{
    const QByteArray bytes = zipBytes(entries, stored);
    QFile file(path);
    return !bytes.isEmpty() && file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(bytes) == bytes.size();
}

} // namespace testsupport
