#include "hostservice.h"

#include "inputcaps.h"

#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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
    if (path.empty())
        return false;
    // Non-blocking, so that a FIFO named like a csv returns at once; fstat judges what was opened.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat info;
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_size > inputcaps::kMaxCsvBytes) {
        ::close(fd);
        return false;
    }
    std::FILE* file = ::fdopen(fd, "rb");
    if (!file) {
        ::close(fd);
        return false;
    }
    const size_t expected = static_cast<size_t>(info.st_size);
    // One byte more than the file held: reading it means the file grew meanwhile.
    std::string data(expected + 1, '\0');
    const size_t got = std::fread(&data[0], 1, data.size(), file);
    const bool failed = std::ferror(file) != 0;
    std::fclose(file);
    if (failed || got != expected)
        return false;
    data.resize(got);
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
    // The client hands over paths in the GBK code page; the file system here speaks UTF-8. Only the
    // decoded path is opened: a file whose name is those very GBK bytes is another file.
    safeGbk2Utf8(path);
    return readWholeFile(path, content);
}

} // namespace utils
