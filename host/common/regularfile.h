#pragma once
// The host's one way to open a file it reads: the workbook readers and the csv file helper.

#include <QFile>
#include <QString>

namespace WB {

// Opens path for reading only when it names a regular file: a FIFO, a device or a folder named
// like a workbook would block the read or never end. The check and the open see the same file.
// False with why set otherwise.
bool openRegularFile(QFile& file, const QString& path, QString& why);

// What tells one version of a file from another without reading it all: its size, its change
// time, its inode and a checksum of its first and last bytes. Empty when the file cannot be read.
QByteArray fileFingerprint(QFile& file);

} // namespace WB
