#pragma once
// The preview tool's --history: a broker's uploads, newest first, each with what it changed
// against the one before it.

#include "previewoptions.h"

namespace DVK {

// Lists the broker's options.last newest uploads: date and time, user, rows, and the changes
// counted by the comparison --changes makes (the older upload as the server's rows, the newer
// as the file's). With options.code, one security's ratio through those uploads instead, oldest
// first: each upload that added it, removed it or changed its ratio or name, and who stored it.
// Returns the exit status (EPreviewExit).
int previewHistory(const PreviewOptions& options);

} // namespace DVK
