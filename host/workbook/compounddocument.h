#pragma once

#include <QByteArray>
#include <QString>

#include <vector>

class QFile;

namespace WB {

// Reads the streams of an OLE2 compound document (the container of legacy .xls) held whole in
// memory. Nothing in the file is trusted: every sector index is checked against the file, every
// chain is walked once at most (a loop is an error) and only as far as the stream read needs, no
// stream is larger than the file, and a small stream's sectors are found in the mini stream where
// they lie rather than by copying it.
class CCompoundDocument
{
public:
    // False with error() when the file is no readable compound document.
    // Reads the whole of an open file, from its start.
    bool open(QFile& file);
    // Takes the document's bytes as they are, for documents not read from a file.
    bool openData(const QByteArray& data);
    // Whether a stream of that name (compared case-insensitively, as the format does) exists.
    bool hasStream(const QString& name) const;
    // The stream's declared number of bytes, read through its sector chain. A stream whose sectors
    // lie in file order is gathered in place, over the document's own bytes: out is then valid
    // while the document lives, and the document reads no further stream.
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

    // A sector chain, walked on demand: the sectors found so far, and where it goes on.
    struct Chain
    {
        std::vector<quint32> sectors;
        std::vector<char> seen;
        quint32 next = 0;
        bool ended = false;
    };

    bool fail(const QString& message);
    bool readFat();
    bool readDirectory();
    // Sets chain up to follow the FAT from start.
    static void startChain(Chain& chain, quint32 start);
    // Walks chain on through the FAT (or, mini, the mini FAT) until it holds count sectors or ends;
    // each sector at most once, each index below limit.
    bool extend(Chain& chain, size_t count, bool mini, quint64 limit, const char* what);
    // The mini FAT's entry for a mini sector; false past the mini FAT's end.
    bool miniFatEntry(quint32 sector, quint32& value);
    // The offset in the file of a big sector.
    qint64 sectorOffset(quint32 sector) const { return (qint64(sector) + 1) << m_sectorShift; }
    // Whether the chain reached the sectors a stream of size bytes needs; the reason logged if not.
    bool holds(const Chain& chain, size_t needed, quint64 size, const char* what);
    // Copies size bytes of a chain's sectors out of the file.
    bool gather(Chain& chain, quint64 size, QByteArray& out, const char* what, bool inPlace = false);
    bool gatherMini(Chain& chain, quint64 size, QByteArray& out, const char* what);
    const Entry* find(const QString& name) const;

    QByteArray m_file;
    bool m_spent = false; // a stream was gathered over the bytes of others
    int m_sectorShift = 9;
    quint32 m_fileSectors = 0;
    std::vector<quint32> m_fat;
    std::vector<Entry> m_entries;
    Chain m_miniFatChain; // the mini FAT's own sectors
    Chain m_rootChain;    // the mini stream's sectors
    QString m_error;
};

} // namespace WB
