#pragma once

#include <QByteArray>
#include <QString>

#include <vector>

namespace WB {

// Reads the streams of an OLE2 compound document (the container of legacy .xls) held whole in
// memory. Nothing in the file is trusted: every sector index is checked against the file, every
// chain is walked once at most (a loop is an error) and no stream is larger than the file.
class CCompoundDocument
{
public:
    static constexpr qint64 kMaxFileBytes = 64LL * 1024 * 1024;

    // False with error() when the file is no readable compound document.
    bool open(const QString& path);
    // Takes the document's bytes as they are, for documents not read from a file.
    bool openData(const QByteArray& data);
    // Whether a stream of that name (compared case-insensitively, as the format does) exists.
    bool hasStream(const QString& name) const;
    // The stream's declared number of bytes, read through its sector chain.
    bool readStream(const QString& name, QByteArray& out);
    QString error() const { return m_error; }

private:
    struct Entry
    {
        QString name;
        quint8 type = 0;
        quint32 start = 0;
        quint64 size = 0;
    };

    bool fail(const QString& message);
    bool readFat();
    bool readDirectory();
    bool loadMiniStream();
    // Follows table from start, at most once through each sector.
    bool chain(const std::vector<quint32>& table, quint32 start, std::vector<quint32>& sectors, const char* what);
    // Copies size bytes of the chain's sectors, each 1 << shift bytes long, out of source.
    bool gather(const std::vector<quint32>& sectors, int shift, const QByteArray& source, qint64 sourceStart,
                quint64 size, QByteArray& out, const char* what);
    const Entry* find(const QString& name) const;

    QByteArray m_file;
    int m_sectorShift = 9;
    int m_miniShift = 6;
    quint32 m_miniCutoff = 4096;
    quint32 m_fileSectors = 0;
    std::vector<quint32> m_fat;
    std::vector<quint32> m_miniFat;
    std::vector<Entry> m_entries;
    QByteArray m_miniStream;
    bool m_miniLoaded = false;
    QString m_error;
};

} // namespace WB
