#include "uploadvalidation.h"

#include "utf8sequence.h"

#include <QLocale>
#include <QString>

#include <cmath>
#include <initializer_list>
#include <map>
#include <utility>
#include <vector>

namespace rqservice {

// PostgreSQL keeps neither a NUL nor ill-formed UTF-8 in a text (and names the text in its
// error); SQLite would keep both, and the two engines must not differ.
const char* unstorable(const std::string& text)
{
    static const char* const kInvalid = "无效的 UTF-8 编码";
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const size_t size = text.size();
    for (size_t i = 0; i < size;) {
        const unsigned char c = p[i];
        if (c == 0)
            return "空字符 (U+0000)";
        if (c < 0x80) {
            ++i;
            continue;
        }
        char32_t code = 0;
        size_t bad = 0;
        const size_t length = utf8::sequenceAt(p + i, p + size, code, bad);
        if (length == 0) {
            // ED A0..BF and a continuation: U+D800 to U+DFFF written out.
            const bool surrogate = size - i >= 3 && c == 0xED && (p[i + 1] & 0xE0) == 0xA0 && (p[i + 2] & 0xC0) == 0x80;
            return surrogate ? "不成对的代理字符 (U+D800 至 U+DFFF)" : kInvalid;
        }
        i += length;
    }
    return nullptr;
}

namespace {

// "<where>的<field>含有无法保存的字符: <why>, ...", for the first field that has one.
utils::RQError refuseText(const std::string& where,
                          std::initializer_list<std::pair<const char*, const std::string*>> fields)
{
    for (const auto& [name, text] : fields) {
        if (const char* why = unstorable(*text)) {
            return utils::RQError::failure(where + "的" + name + "含有无法保存的字符: " + why +
                                           ", 未做任何改动, 请修改文件后重新上传");
        }
    }
    return utils::RQError();
}

// The rows a refusal names: the first kNamed of them, then how many more.
struct RowFaults
{
    static const int kNamed = 10;
    std::vector<std::string> named;
    int total = 0;

    void add(const std::string& row)
    {
        if (++total <= kNamed)
            named.push_back(row);
    }
    std::string text() const
    {
        std::string out;
        for (const std::string& row : named)
            out += (out.empty() ? "" : "; ") + row;
        if (total > kNamed)
            out += "; 另有 " + std::to_string(total - kNamed) + " 条";
        return out;
    }
};

} // namespace

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
    const utils::RQError broker = refuseText("上传内容", {{"券商代码", &detail->brokerId}});
    if (!broker.isSuccess()) {
        return broker;
    }
    int count = 0;
    RowFaults ratios;
    RowFaults repeats;
    std::map<std::pair<std::string, std::string>, int> seen; // exchange and code: first line
    for (size_t i = 0; i < detail->subjects.size(); ++i) {
        const CStkSubjectsPtr& s = detail->subjects[i];
        if (!s) {
            continue;
        }
        ++count;
        const std::string line = "第" + std::to_string(count) + "条";
        const utils::RQError code = refuseText(line, {{"证券代码", &s->stockCode}});
        if (!code.isSuccess()) {
            return code;
        }
        const utils::RQError text = refuseText(line + " (证券代码 " + s->stockCode + ") ",
                                               {{"交易所", &s->exchangeName}, {"证券名称", &s->stockName}});
        if (!text.isSuccess()) {
            return text;
        }
        if (s->stockCode.empty()) {
            return utils::RQError::failure(line + "缺少证券代码");
        }
        const std::string where = line + " " + s->exchangeName + " " + s->stockCode + " " + s->stockName;
        if (!std::isfinite(s->ratio)) {
            ratios.add(where + " 的折算率不是有效数字");
        } else if (s->ratio < 0.0 || s->ratio > 1.0) {
            // Every digit it takes to tell the value apart: rounded, 1.0000000000000002 read "1".
            const QString value = QString::number(s->ratio, 'g', QLocale::FloatingPointShortest);
            ratios.add(where + " 的折算率 " + value.toStdString() + " 超出范围");
        }
        const auto first = seen.emplace(std::make_pair(s->exchangeName, s->stockCode), count);
        if (!first.second) {
            repeats.add(where + " (与第" + std::to_string(first.first->second) + "条重复)");
        }
    }
    if (count == 0) {
        return utils::RQError::failure("上传内容为空: 没有任何证券的折算率");
    }
    if (ratios.total > 0) {
        return utils::RQError::failure("折算率有误 (" + std::to_string(ratios.total) + " 条): " + ratios.text() +
                                       "; 折算率应在 0 到 1 之间 (例如 65% 应写作 0.65), 未做任何改动");
    }
    if (repeats.total > 0) {
        return utils::RQError::failure("同一证券出现多次 (" + std::to_string(repeats.total) +
                                       " 条): " + repeats.text() + ", 未做任何改动, 每个证券只能有一个折算率");
    }
    return utils::RQError();
}

} // namespace rqservice
