#include "regularfile.h"

#include <QFileInfo>

#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#ifndef Q_OS_WIN
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace WB {

namespace {

// Enough of each end to tell apart files rewritten in place within one tick of the clock.
constexpr qint64 kFingerprintEnds = 64 * 1024;

} // namespace

bool openRegularFile(QFile& file, const QString& path, QString& why)
{
    if (file.isOpen())
        file.close();
#ifdef Q_OS_WIN
    if (!QFileInfo(path).isFile()) {
        why = QStringLiteral("cannot open %1: not a regular file").arg(path);
        return false;
    }
    file.setFileName(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered)) {
        why = QStringLiteral("cannot open %1: %2").arg(path, file.errorString());
        return false;
    }
    return true;
#else
    // Non-blocking, so that opening a FIFO returns at once; fstat then judges what was opened.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        why = QStringLiteral("cannot open %1: %2").arg(path, QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    struct stat info;
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        why = QStringLiteral("cannot open %1: not a regular file").arg(path);
        return false;
    }
    if (!file.open(fd, QIODevice::ReadOnly | QIODevice::Unbuffered, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        why = QStringLiteral("cannot open %1: %2").arg(path, file.errorString());
        return false;
    }
    return true;
#endif
}

QByteArray fileFingerprint(QFile& file)
{
    const qint64 size = file.size();
    QByteArray out = QByteArray::number(size);
#ifndef Q_OS_WIN
    struct stat info;
    if (::fstat(file.handle(), &info) != 0)
        return QByteArray();
    out += ' ' + QByteArray::number(qulonglong(info.st_dev)) + ' ' + QByteArray::number(qulonglong(info.st_ino)) + ' ' +
           QByteArray::number(qlonglong(info.st_mtim.tv_sec)) + '.' +
           QByteArray::number(qlonglong(info.st_mtim.tv_nsec));
#else
    out += ' ' + QByteArray::number(QFileInfo(file).lastModified().toMSecsSinceEpoch());
#endif
    uLong crc = crc32(0, nullptr, 0);
    for (const qint64 at : {qint64(0), std::max<qint64>(size - kFingerprintEnds, kFingerprintEnds)}) {
        if (at >= size || !file.seek(at))
            continue;
        const QByteArray bytes = file.read(kFingerprintEnds);
        crc = crc32(crc, reinterpret_cast<const Bytef*>(bytes.constData()), uInt(bytes.size()));
    }
    return out + ' ' + QByteArray::number(qulonglong(crc));
}

} // namespace WB
