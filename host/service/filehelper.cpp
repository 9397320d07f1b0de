#include "hostservice.h"

#include <cstdio>
#include <sys/stat.h>

namespace {

bool readWholeFile(const std::string& path, std::string& content)
{
    struct stat info;
    if (path.empty() || ::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) {
        return false;
    }
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) {
        return false;
    }
    // One read into a buffer of the file's size; a file that grows meanwhile is read on in chunks.
    std::string data(static_cast<size_t>(info.st_size), '\0');
    size_t got = data.empty() ? 0 : std::fread(&data[0], 1, data.size(), file);
    data.resize(got);
    if (got == static_cast<size_t>(info.st_size)) {
        char buffer[65536];
        size_t n = 0;
        while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0) {
            data.append(buffer, n);
        }
    }
    const bool failed = std::ferror(file) != 0;
    std::fclose(file);
    if (failed) {
        return false;
    }
    content.swap(data);
    return true;
}

} // namespace

namespace utils {

bool FileHelper::open(std::string path, std::string& content)
{
    content.clear();
    if (readWholeFile(path, content)) {
        return true;
    }
    // The client hands over paths in the GBK code page; the file system here speaks UTF-8.
    std::string utf8Path = path;
    safeGbk2Utf8(utf8Path);
    if (utf8Path != path && readWholeFile(utf8Path, content)) {
        return true;
    }
    content.clear();
    return false;
}

} // namespace utils
