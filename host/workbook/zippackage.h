#pragma once

#include <QBuffer>
#include <QByteArray>
#include <QFile>
#include <QString>

#include <functional>
#include <memory>
#include <vector>

namespace WB {

// A zip archive read part by part. Parts are inflated in pieces and cut off at a cap, whatever
// sizes the archive's headers state. Only what a workbook package needs: stored and deflated
// parts, ZIP64 records, no encryption, no multi-disk archives.
class CZipPackage
{
public:
    using Sink = std::function<bool(const char* data, int size, bool last)>;

    CZipPackage() = default;
    ~CZipPackage() = default;
    CZipPackage(const CZipPackage&) = delete;
    CZipPackage& operator=(const CZipPackage&) = delete;

    // Reads the central directory; false with error() when the file is no zip archive we can read.
    // The file stays the caller's, open for as long as parts are read.
    bool open(QFile& file);
    // The same over a package's bytes in memory (a decrypted package).
    bool openData(const QByteArray& data);
    // A leading "/" is ignored; an exact name is preferred, otherwise ASCII case is ignored.
    bool contains(const QString& part) const;
    // Hands the inflated part to sink piece by piece; false when the part is missing, breaks,
    // inflates past cap bytes or the sink says stop (then error() is the sink's business).
    bool read(const QString& part, qint64 cap, const Sink& sink);
    QString error() const { return m_error; }

private:
    struct Entry
    {
        QByteArray name; // raw, over m_directory's bytes
        quint64 compressedSize = 0;
        quint64 size = 0;
        quint64 localOffset = 0;
        quint32 crc = 0;
        quint16 method = 0;
        quint16 flags = 0;
        bool zip64 = false; // its sizes are in the ZIP64 extra field
    };
    // The end of central directory record, or its ZIP64 form.
    struct EndRecord
    {
        quint64 disk = 0, directoryDisk = 0, diskCount = 0, count = 0;
        quint64 directorySize = 0, directoryOffset = 0;
        quint64 directoryLimit = 0; // where the records after the directory start
    };
    // A part on its way to the sink: what came so far and its checksum.
    struct Output
    {
        const Sink& sink;
        qint64 cap;
        quint64 stated;
        bool checksummed = true;
        quint64 total = 0;
        unsigned long crc = 0;
    };

    bool fail(const QString& error);
    bool readAt(quint64 offset, quint64 length, char* into);
    bool readDirectory();
    bool findEndRecord(const QByteArray& tail, quint64 tailStart, EndRecord& end);
    bool readZip64End(quint64 locator, quint64 at, EndRecord& end);
    bool checkDirectory(const EndRecord& end);
    bool readCentralDirectory(const EndRecord& end);
    bool readCentralEntry(quint64 i, quint64& at, Entry& entry);
    const Entry* locate(const QString& part) const;
    bool readEntry(const QString& part, const Entry& entry, qint64 cap, const Sink& sink);
    // The steps of readEntry; each sets error() with the part's name when it fails.
    bool broken(const QString& reason);
    bool readLocalHeader(const Entry& entry, quint64& data);
    bool readOn(char* into, quint64 length);
    bool deliver(Output& out, const char* data, quint64 size);
    bool copyStored(const Entry& entry, Output& out);
    bool inflatePart(const Entry& entry, Output& out);
    bool checkDescriptor(const Entry& entry, quint64 at);

    // Read, not mapped: a file cut short by another program while we read is an error, not SIGBUS.
    QBuffer m_memory;
    QIODevice* m_device = &m_memory;
    quint64 m_size = 0;
    // The central directory as read; the entries' names point into it.
    QByteArray m_directory;
    // Where the central directory starts: every part's data lies before it.
    quint64 m_directoryOffset = 0;
    std::vector<Entry> m_entries;
    std::unique_ptr<char[]> m_buffer;
    QString m_part; // being read
    QString m_error;
};

} // namespace WB
