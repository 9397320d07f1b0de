#pragma once
// Writes zip archives for tests and benchmarks: each entry deflated with zlib (or stored), in
// order, with UTF-8 names, and reads plain ones back. No ZIP64: every entry and the whole archive
// stay under 4 GiB.

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
inline QByteArray zipBytes(const ZipEntries& entries, bool stored = false)
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
        QByteArray header;
        put16(header, 20);             // version needed
        put16(header, 0x0800);         // UTF-8 names
        put16(header, stored ? 0 : 8); // method
        put32(header, 0);              // time and date
        put32(header, crc);
        put32(header, quint32(body.size()));
        put32(header, quint32(data.size()));
        put16(header, quint32(name.size()));
        put16(header, 0); // extra
        put32(archive, 0x04034b50);
        archive += header + name + body;
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

// The entries of a zip as zipBytes writes them or a real writer does (stored or deflated, sizes
// in the central directory); empty when it is none of those.
inline ZipEntries unzipBytes(const QByteArray& zip)
{
    const auto u16 = [&zip](int at) { return quint32(uchar(zip[at])) | quint32(uchar(zip[at + 1])) << 8; };
    const auto u32 = [&](int at) { return u16(at) | u16(at + 2) << 16; };
    const int end = zip.lastIndexOf(QByteArray("PK\x05\x06", 4));
    if (end < 0 || end + 22 > zip.size())
        return {};
    ZipEntries entries;
    int at = int(u32(end + 16));
    for (quint32 i = 0, count = u16(end + 10); i < count; ++i) {
        if (at + 46 > zip.size() || u32(at) != 0x02014b50)
            return {};
        const quint32 method = u16(at + 10), packed = u32(at + 20), size = u32(at + 24);
        const int nameLength = int(u16(at + 28)), skip = int(u16(at + 30) + u16(at + 32));
        const int local = int(u32(at + 42));
        const QString name = QString::fromUtf8(zip.mid(at + 46, nameLength));
        at += 46 + nameLength + skip;
        const int data = local + 30 + int(u16(local + 26) + u16(local + 28));
        QByteArray body = zip.mid(data, int(packed));
        if (method == 8) {
            QByteArray out(int(size), '\0');
            z_stream stream{};
            inflateInit2(&stream, -MAX_WBITS);
            stream.next_in = reinterpret_cast<Bytef*>(body.data());
            stream.avail_in = uInt(body.size());
            stream.next_out = reinterpret_cast<Bytef*>(out.data());
            stream.avail_out = uInt(out.size());
            const int rc = inflate(&stream, Z_FINISH);
            inflateEnd(&stream);
            if (rc != Z_STREAM_END)
                return {};
            body = out;
        } else if (method != 0) {
            return {};
        }
        entries.append({name, body});
    }
    return entries;
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
