#pragma once
// How the preview tool shows a file's lines and the request they make.

#include "upload/conversionfile.h"
#include "upload/uploadrequest.h"

#include <QJsonObject>

namespace DVK {

// {message, kind, separator, lines, used, skipped, warnings}.
QJsonObject previewJson(const ConversionFileLines& content, const UploadRequestPlan& plan);
// The file's kind, then every line used or skipped and why, the ratio warnings and the request.
void printPreview(const ConversionFileLines& content, const UploadRequestPlan& plan);
// The JSON object on standard output.
void printJson(const QJsonObject& object);

} // namespace DVK
