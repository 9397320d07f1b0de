#include "uploadvalidation.h"

#include <QString>

#include <cmath>

namespace rqservice {

utils::RQError validateUpload(const boost::shared_ptr<COperateDataReq>& request,
                              boost::shared_ptr<CVoprCvionRateDetail>& detail)
{
    if (!request) {
        return utils::RQError::failure("操作请求为空");
    }
    if (request->dataType != eDataTypeCvionRateDetail) {
        return utils::RQError::failure("不支持的数据类型: " + std::to_string(request->dataType));
    }
    if (request->operateType != 2) {
        return utils::RQError::failure("不支持的操作类型: " + std::to_string(request->operateType) +
                                       ", 折算率只能整批覆盖上传");
    }
    if (request->dataList.size() == 1) {
        detail = boost::dynamic_pointer_cast<CVoprCvionRateDetail>(request->dataList.front());
    }
    if (!detail) {
        return utils::RQError::failure("上传内容格式错误: 应为一条券商折算率明细");
    }
    int count = 0;
    for (size_t i = 0; i < detail->subjects.size(); ++i) {
        const CStkSubjectsPtr& s = detail->subjects[i];
        if (!s) {
            continue;
        }
        ++count;
        const std::string where =
            "第" + std::to_string(count) + "条 " + s->exchangeName + " " + s->stockCode + " " + s->stockName;
        if (s->stockCode.empty()) {
            return utils::RQError::failure("第" + std::to_string(count) + "条缺少证券代码");
        }
        if (!std::isfinite(s->ratio)) {
            return utils::RQError::failure(where + " 的折算率不是有效数字");
        }
        if (s->ratio < 0.0 || s->ratio > 1.0) {
            return utils::RQError::failure(where + " 的折算率 " + QString::number(s->ratio, 'g', 12).toStdString() +
                                           " 超出范围, 应在 0 到 1 之间 (例如 65% 应写作 0.65)");
        }
    }
    if (count == 0) {
        return utils::RQError::failure("上传内容为空: 没有任何证券的折算率");
    }
    return utils::RQError();
}

} // namespace rqservice
