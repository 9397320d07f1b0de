#pragma once
// Hands fuzz input to the upload's own path: bytes -> a file named like a user's -> lines -> request.

#include "upload/conversionfile.h"
#include "upload/uploadrequest.h"

#include <QFile>
#include <QTemporaryDir>

#include <cstddef>
#include <cstdint>

namespace fuzz {

// The file the reader sees: in one temporary folder for the whole run, rewritten per input.
inline QString writeInput(const uint8_t* data, size_t size, const QString& suffix)
{
    static QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("input.") + suffix);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        __builtin_trap(); // a fuzz run that cannot write its input finds nothing
    }
    file.write(reinterpret_cast<const char*>(data), qint64(size));
    return path;
}

// What the dialog does with a chosen file: read it, then build the request for a broker.
inline void readAndBuild(const QString& path)
{
    const DVK::ConversionFileLines read = DVK::readConversionFile(path);
    if (!read.message.isEmpty()) {
        return;
    }
    DVK::UploadBroker broker;
    broker.brokerKeyNo = 7;
    broker.brokerId = "GX";
    broker.brokerName = "国信证券";
    const DVK::UploadRequestPlan plan = DVK::buildUploadRequest(read.lines, read.separator, broker);
    // Every line is either used or skipped, never both nor neither.
    if (plan.usedLines.size() + plan.skipped.size() != size_t(read.lines.size())) {
        __builtin_trap();
    }
    if (bool(plan.request) != !plan.usedLines.empty()) {
        __builtin_trap();
    }
}

} // namespace fuzz
