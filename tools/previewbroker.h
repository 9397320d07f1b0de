#pragma once
// The server and the broker that --changes and --history ask about.

#include "previewoptions.h"
#include "previewserver.h"

#include <QString>

#include <memory>

namespace DVK {

struct PreviewBroker
{
    std::unique_ptr<IPreviewServer> server;
    // As lookUpBroker finds it in the summary.
    boost::shared_ptr<rqservice::CVoprCvionRateBaseInfo> record;
    std::vector<rqservice::IDataPtr> summary;
};

// Opens the data service on options.database for reading only and finds the broker the options
// name in its summary (12294). Returns ePreviewSends, or the exit status with message saying why
// not (no service, no such broker: then the brokers there are named; a name of several brokers).
// What the lookup notes goes to stderr.
int findPreviewBroker(const PreviewOptions& options, PreviewBroker& found, QString& message);

} // namespace DVK
