#pragma once
// A broker's upload of `rows` made-up securities, as the data service receives it: for the
// benchmarks that time the service itself.
#include "hostservice.h"

#include <boost/make_shared.hpp>

#include <string>

inline boost::shared_ptr<rqservice::COperateDataReq> makeUploadRequest(int rows)
{
    auto detail = boost::make_shared<rqservice::CVoprCvionRateDetail>();
    detail->brokerKeyNo = 1;
    detail->brokerId = "CITIC";
    for (int i = 0; i < rows; ++i) {
        auto s = boost::make_shared<rqservice::CStkSubjects>();
        s->exchangeName = i % 2 ? "上交所" : "深交所";
        s->stockCode = std::to_string(600000 + i);
        s->stockName = "证券" + std::to_string(i);
        s->ratio = (i % 70) / 100.0;
        detail->subjects.push_back(s);
    }
    auto request = boost::make_shared<rqservice::COperateDataReq>();
    request->dataType = rqservice::eDataTypeCvionRateDetail;
    request->operateType = 2;
    request->dataList.push_back(detail);
    return request;
}
