#pragma once
// Writes zip archives for tests and benchmarks: each entry deflated with zlib (or stored), in
// order, with UTF-8 names. No ZIP64: every entry and the whole archive stay under 4 GiB.

#include "testfiles.h"

#include <QByteArray>
#include <QDataStream>
#include <QList>
#include <QPair>
#include <QString>

#include <zlib.h>

namespace testsupport {

using ZipEntries = QList<QPair<QString, QByteArray>>;

namespace zipdetail {

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
    QByteArray archive, directory;
    QDataStream out(&archive, QIODevice::WriteOnly), central(&directory, QIODevice::WriteOnly);
    out.setByteOrder(QDataStream::LittleEndian);
    central.setByteOrder(QDataStream::LittleEndian);
    for (const auto& entry : entries) {
        const QByteArray name = entry.first.toUtf8();
        const QByteArray& data = entry.second;
        QByteArray packed;
        if (!stored && !zipdetail::deflateRaw(data, packed))
            return QByteArray();
        const QByteArray& body = stored ? data : packed;
        const quint32 crc = quint32(crc32(0, reinterpret_cast<const Bytef*>(data.constData()), uInt(data.size())));
        const quint32 offset = quint32(archive.size());
        // version needed, flags (UTF-8 names, data descriptor), method, time and date, crc and
        // sizes, name length, extra length
        const auto header = [&](QDataStream& to, bool sizes) {
            to << quint16(20) << quint16(descriptors ? 0x0808 : 0x0800) << quint16(stored ? 0 : 8) << quint32(0);
            to << (sizes ? crc : 0) << quint32(sizes ? body.size() : 0) << quint32(sizes ? data.size() : 0);
            to << quint16(name.size()) << quint16(0);
        };
        out << quint32(0x04034b50);
        header(out, !descriptors);
        out.writeRawData(name.constData(), name.size());
        out.writeRawData(body.constData(), body.size());
        if (descriptors)
            out << quint32(0x08074b50) << crc << quint32(body.size()) << quint32(data.size());
        central << quint32(0x02014b50) << quint16(20); // version made by
        header(central, true);
        // comment length, disk, internal and external attributes, offset
        central << quint16(0) << quint16(0) << quint16(0) << quint32(0) << offset;
        central.writeRawData(name.constData(), name.size());
    }
    const quint32 directoryOffset = quint32(archive.size());
    out.writeRawData(directory.constData(), directory.size());
    out << quint32(0x06054b50) << quint32(0) << quint16(entries.size()) << quint16(entries.size());
    out << quint32(directory.size()) << directoryOffset << quint16(0); // directory, comment length
    return archive;
}

// Writes zipBytes(entries) to path; false when it cannot be made or written whole.
inline bool writeZipFile(const QString& path, const ZipEntries& entries, bool stored = false)
{
    const QByteArray bytes = zipBytes(entries, stored);
    return !bytes.isEmpty() && writeFile(path, bytes);
}

} // namespace testsupport
