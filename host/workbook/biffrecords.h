#pragma once
// The records of a BIFF workbook stream (.xls, BIFF5 and BIFF8): their ids, walking them with the
// CONTINUE records a long one is split into, the strings they hold, and what the sheet and the
// workbook globals both read of them.

#include "littleendian.h"

#include <QByteArray>
#include <QString>
#include <QTextCodec>

#include <algorithm>
#include <cstring>
#include <vector>

namespace WB {
namespace xls {

enum ERecord : quint16
{
    kFormula = 0x0006,
    kFormulaBiff3 = 0x0406, // the same record under the id of older writers
    kColInfo = 0x007D,
    kMergedCells = 0x00E5,
    kRow = 0x0208,
    kEof = 0x000A,
    kDateMode = 0x0022,
    kFilePass = 0x002F,
    kContinue = 0x003C,
    kCodePage = 0x0042,
    kWindow1 = 0x003D,
    kBoundSheet = 0x0085,
    kMulRk = 0x00BD,
    kMulBlank = 0x00BE,
    kRString = 0x00D6,
    kXf = 0x00E0,
    kSst = 0x00FC,
    kLabelSst = 0x00FD,
    kBlank = 0x0201,
    kNumber = 0x0203,
    kLabel = 0x0204,
    kBoolErr = 0x0205,
    kString = 0x0207,
    kRk = 0x027E,
    kFormat = 0x041E,
    kBof = 0x0809,
    // Never encrypted, whatever the stream's cipher.
    kInterfaceHdr = 0x00E1,
    kRrdHead = 0x0138,
    kUsrExcl = 0x0194,
    kFileLock = 0x0195,
    kRrdInfo = 0x0196,
};

constexpr quint16 kBiff8 = 0x0600;
constexpr quint16 kBiff5 = 0x0500;
constexpr quint16 kGlobalsKind = 0x0005;

// An RK packs a number in 30 bits: an integer or the high bits of a double, maybe times 100.
double rkValue(quint32 rk);
// "B7" for row 6, column 1 (both 0-based).
QString cellName(int row, int column);
// The text Excel shows for an error code; false for a code it has none for.
bool errorText(quint8 code, QString& text);
// The codec of a BIFF5 workbook's 8-bit texts (Windows-1252 where the page is unknown).
QTextCodec* codecFor(quint16 codePage);
// Why a text holding half a surrogate pair is refused.
QString unpairedRefusal(const QString& what, QChar half);
// Whether a record of the type is a cell of the sheet.
bool isCellRecord(quint16 type);

// A record's body and the CONTINUE records after it, read as one sequence of bytes, except that
// characters going on in a CONTINUE start again with an option byte giving their width.
class CPieces
{
public:
    void start(const uchar* data, int size)
    {
        m_spans.clear();
        m_spans.push_back(Span{data, size});
        m_span = 0;
        m_at = 0;
    }
    void add(const uchar* data, int size) { m_spans.push_back(Span{data, size}); }

    bool atEnd() const
    {
        for (size_t i = m_span; i < m_spans.size(); ++i) {
            if ((i == m_span ? m_spans[i].size - m_at : m_spans[i].size) > 0)
                return false;
        }
        return true;
    }

    bool bytes(uchar* out, int count)
    {
        while (count > 0) {
            if (m_span >= m_spans.size())
                return false;
            const int take = std::min(count, m_spans[m_span].size - m_at);
            if (take == 0) {
                ++m_span;
                m_at = 0;
                continue;
            }
            if (out) {
                std::memcpy(out, m_spans[m_span].data + m_at, size_t(take));
                out += take;
            }
            m_at += take;
            count -= take;
        }
        return true;
    }
    bool skip(qint64 count)
    {
        while (count > 0) {
            const int step = int(std::min<qint64>(count, 1 << 20));
            if (!bytes(nullptr, step))
                return false;
            count -= step;
        }
        return true;
    }
    template <typename T>
    bool number(T& value)
    {
        uchar raw[sizeof(T)];
        if (!bytes(raw, int(sizeof raw)))
            return false;
        value = le::read<T>(raw);
        return true;
    }

    // A BIFF8 string: character count (lengthBytes wide), options, run count and extension size
    // when flagged, the characters (Latin-1 or UTF-16), then the runs and extension, skipped.
    bool unicodeString(int lengthBytes, QString& out)
    {
        quint16 count = 0;
        quint8 length8 = 0, options = 0;
        if (lengthBytes == 1 ? !number(length8) : !number(count))
            return false;
        if (lengthBytes == 1)
            count = length8;
        if (!number(options))
            return false;
        quint16 runs = 0;
        quint32 extension = 0;
        if (((options & 0x08) && !number(runs)) || ((options & 0x04) && !number(extension)))
            return false;
        return characters(count, options & 0x01, out) && skip(qint64(runs) * 4) && skip(extension);
    }

    // A BIFF5 string: byte count (lengthBytes wide) and bytes in the workbook's code page.
    bool byteString(int lengthBytes, QTextCodec* codec, QString& out)
    {
        quint16 count = 0;
        quint8 length8 = 0;
        if (lengthBytes == 1 ? !number(length8) : !number(count))
            return false;
        if (lengthBytes == 1)
            count = length8;
        QByteArray raw(count, Qt::Uninitialized);
        if (!bytes(reinterpret_cast<uchar*>(raw.data()), count))
            return false;
        out += codec->toUnicode(raw);
        return true;
    }

private:
    struct Span
    {
        const uchar* data;
        int size;
    };

    bool characters(int count, bool wide, QString& out)
    {
        while (count > 0) {
            if (m_span >= m_spans.size())
                return false;
            const int left = m_spans[m_span].size - m_at;
            if (left == 0) {
                ++m_span;
                m_at = 0;
                quint8 options = 0;
                if (m_span >= m_spans.size() || !number(options))
                    return false;
                wide = options & 0x01;
                continue;
            }
            const int take = std::min(count, wide ? left / 2 : left);
            if (take == 0)
                return false; // half a character before the record ends
            const uchar* p = m_spans[m_span].data + m_at;
            const int old = out.size();
            out.resize(old + take);
            QChar* dst = out.data() + old;
            if (wide) {
                for (int i = 0; i < take; ++i)
                    dst[i] = QChar(le::u16(p + 2 * i));
            } else {
                for (int i = 0; i < take; ++i)
                    dst[i] = QChar(ushort(p[i]));
            }
            m_at += wide ? 2 * take : take;
            count -= take;
        }
        return true;
    }

    std::vector<Span> m_spans;
    size_t m_span = 0;
    int m_at = 0;
};

// Walks the records of a workbook stream from an offset; each record is checked to end inside it.
class CRecords
{
public:
    CRecords(const QByteArray& stream, qint64 at)
        : m_data(reinterpret_cast<const uchar*>(stream.constData()))
        , m_size(stream.size())
        , m_at(at)
    {
    }

    // False at the end of the stream, and on a record running past it (then broken()).
    bool next()
    {
        if (m_at + 4 > m_size) {
            m_broken = m_at != m_size;
            return false;
        }
        type = le::u16(m_data + m_at);
        length = le::u16(m_data + m_at + 2);
        if (m_at + 4 + length > m_size) {
            m_broken = true;
            return false;
        }
        offset = m_at;
        data = m_data + m_at + 4;
        m_at += 4 + length;
        return true;
    }
    // Puts this record and the CONTINUE records after it into pieces, stepping past them.
    void withContinues(CPieces& pieces)
    {
        pieces.start(data, length);
        while (m_at + 4 <= m_size && le::u16(m_data + m_at) == kContinue) {
            const int size = le::u16(m_data + m_at + 2);
            if (m_at + 4 + size > m_size)
                return;
            pieces.add(m_data + m_at + 4, size);
            m_at += 4 + size;
        }
    }
    bool broken() const { return m_broken; }

    quint16 type = 0;
    int length = 0;
    qint64 offset = 0;
    const uchar* data = nullptr;

private:
    const uchar* m_data;
    qint64 m_size;
    qint64 m_at;
    bool m_broken = false;
};

} // namespace xls
} // namespace WB
