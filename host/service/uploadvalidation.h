#pragma once
// What the embedded service accepts as an upload, checked before the database is touched.

#include "hostservice.h"

namespace rqservice {

// Operate 12295/2 with exactly one CVoprCvionRateDetail holding at least one subject, each with
// a code and a ratio from 0 to 1. On success detail is the upload; otherwise a message naming
// the first offending line.
utils::RQError validateUpload(const boost::shared_ptr<COperateDataReq>& request,
                              boost::shared_ptr<CVoprCvionRateDetail>& detail);

} // namespace rqservice
