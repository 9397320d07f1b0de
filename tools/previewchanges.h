#pragma once
// The preview tool's --changes: what an upload of the file would change on the server.

#include "previewoptions.h"
#include "upload/conversionfile.h"

namespace DVK {

// Given a file that yielded lines: finds the broker in the server's summary, builds the request
// for it, asks for the broker's current detail and prints what would change. Returns the exit
// status (EPreviewExit).
int previewChanges(const PreviewOptions& options, const ConversionFileLines& content);

} // namespace DVK
