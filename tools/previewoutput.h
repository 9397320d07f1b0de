#pragma once
// How the preview tool shows a file's lines and the request they make.

#include "previewnotes.h"
#include "upload/conversionfile.h"
#include "upload/uploadrequest.h"

#include <QJsonObject>

namespace DVK {

// {message, kind, separator, lines, used, skipped, warnings}.
QJsonObject previewJson(const ConversionFileLines& content, const UploadRequestPlan& plan);
// The file's kind and the sheet read, then every line used, skipped or refused and why with its
// warnings, the ratio warnings and the request.
void printPreview(const ConversionFileLines& content, const UploadRequestPlan& plan,
                  const PreviewNotes& notes = PreviewNotes());
// The JSON object on standard output.
void printJson(const QJsonObject& object);

} // namespace DVK
