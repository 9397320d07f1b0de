#include "hostservice.h"

#include "inputcaps.h"
#include "regularfile.h"
#include "utf8sequence.h"

#include <QFile>

#include <cstring>

namespace {

// Whether the text holds more lines than the csv cap.
bool tooManyLines(const std::string& text)
{
    std::int64_t lines = 1;
    for (const char* p = text.data();
         (p = static_cast<const char*>(std::memchr(p, '\n', text.data() + text.size() - p))); ++p) {
        if (++lines > inputcaps::kMaxCsvLines)
            return true;
    }
    return false;
}

// Reads the regular file at path whole, within the csv caps. False when it is no regular file, is
// larger than the cap (before reading it), changes size while it is read (a file cut short would
// otherwise pass for a complete one) or holds more lines than the cap.
bool readWholeFile(const std::string& path, std::string& content)
{
    QFile file;
    QString why;
    if (path.empty() || !WB::openRegularFile(file, QFile::decodeName(QByteArray::fromStdString(path)), why))
        return false;
    const qint64 expected = file.size();
    if (expected > inputcaps::kMaxCsvBytes)
        return false;
    // One byte more than the file held: reading it means the file grew meanwhile.
    std::string data(size_t(expected) + 1, '\0');
    const qint64 got = file.read(&data[0], qint64(data.size()));
    if (got != expected)
        return false;
    data.resize(size_t(got));
    if (tooManyLines(data))
        return false;
    content.swap(data);
    return true;
}

} // namespace

namespace utils {

bool FileHelper::open(std::string path, std::string& content)
{
    content.clear();
    // The client hands over paths in the GBK code page; the file system here speaks UTF-8. A name
    // GBK cannot spell comes as it was, in UTF-8. Bytes that are no UTF-8 are tried converted only:
    // on this file system such a name is a stray twin left by unzipping a Windows archive, never
    // the file chosen.
    if (utf8::isWellFormed(path.data(), path.size()) && readWholeFile(path, content))
        return true;
    safeGbk2Utf8(path);
    return readWholeFile(path, content);
}

} // namespace utils
