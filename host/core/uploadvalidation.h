#pragma once
// What the embedded service accepts as an upload, checked before the database is touched.

#include "hostservice.h"

#include <string>

namespace rqservice {

// Why text cannot be stored as it is, in the user's words, or null. Both live in the core
// library: the preview tool counts a line the service would refuse as refused.
HOST_EXPORT const char* unstorable(const std::string& text);

// Operate 12295/2 with exactly one CVoprCvionRateDetail holding at least one subject, each with
// a code and a ratio from 0 to 1, each security (exchange and code) once, and texts every engine
// stores as they are (well-formed UTF-8 without NUL). On success detail is the upload; otherwise
// a message naming the first line of unstorable text (without the text), or up to ten lines of
// bad ratios or repeated securities by code and name and the count of the rest.
HOST_EXPORT utils::RQError validateUpload(const boost::shared_ptr<COperateDataReq>& request,
                                          boost::shared_ptr<CVoprCvionRateDetail>& detail);

} // namespace rqservice
