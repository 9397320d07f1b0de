#pragma once

#include "panel/creditdatamaindata.h"

#include "hostservice.h"

#include <boost/shared_ptr.hpp>

#include <vector>

namespace DVK {

// The summary rows of an answer: one per broker name, in received order. A later upload date
// replaces a broker's row and moves it last; an equal or earlier date keeps the row listed first.
// Dates are compared as QDateTime parsed from "yyyyMMdd", so an unreadable date never wins over
// a readable one. Records other than broker summaries are skipped.
std::vector<boost::shared_ptr<CCreditDataMainData>>
condenseBrokerSummary(const std::vector<rqservice::IDataPtr>& records);

} // namespace DVK
