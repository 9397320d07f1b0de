#include "detail/creditdataquerymodel.h"

#include "detail/creditdataquerydata.h"
#include "panel/hpftablesetup.h"

#include <boost/make_shared.hpp>

#include <algorithm>
#include <charconv>

namespace DVK {

namespace {

// The broker's part of a subject's key: what precedes its exchange, code and line. Empty when
// the key is not made that way.
QByteArray keyPrefixOf(const rqservice::CStkSubjects& subject)
{
    const std::string key = subject.getCsKey();
    const std::string tail =
        subject.exchangeName + "____" + subject.stockCode + "____" + std::to_string(subject.lineNo);
    if (key.size() <= tail.size() || key.compare(key.size() - tail.size(), tail.size(), tail) != 0)
        return QByteArray();
    return QByteArray(key.data(), int(key.size() - tail.size()));
}

bool roundTrips(const std::string& bytes, const QString& text)
{
    for (const char c : bytes) {
        if (static_cast<unsigned char>(c) >= 0x80)
            return text.toStdString() == bytes;
    }
    return true;
}

// Byte by byte: the texts compared per row are a few bytes long, shorter than a library call.
bool sameBytes(const std::string& a, const std::string& b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (a[i] != b[i])
            return false;
    }
    return true;
}

struct Exchange
{
    std::string bytes;
    QString text;
    bool roundTrips = false; // text gives back bytes
};

// The entry for bytes, converted on first sight. Past a few distinct values the list stops
// growing, so a detail of many exchanges costs a conversion per row, as it would anyway.
const Exchange& exchangeOf(std::vector<Exchange>& exchanges, const std::string& bytes)
{
    for (const Exchange& known : exchanges) {
        if (sameBytes(known.bytes, bytes))
            return known;
    }
    const std::size_t kMaxShared = 8;
    if (exchanges.size() == kMaxShared)
        exchanges.pop_back();
    Exchange added;
    added.bytes = bytes;
    added.text = WB::sToQs(bytes);
    added.roundTrips = roundTrips(bytes, added.text);
    exchanges.push_back(std::move(added));
    return exchanges.back();
}

// Replaces what follows the broker's part of key (its first prefixSize bytes) by exchange, code
// and line, as the record's own key has them.
void setKeyTail(std::string& key, std::size_t prefixSize, const std::string& exchange, const std::string& code,
                int line)
{
    static const char kSeparator[] = "____";
    const std::size_t separator = sizeof kSeparator - 1;
    char digits[16];
    const std::size_t lineSize = std::size_t(std::to_chars(digits, digits + sizeof digits, line).ptr - digits);
    key.resize(prefixSize + exchange.size() + separator + code.size() + separator + lineSize);
    char* out = &key[prefixSize];
    out = std::copy(exchange.begin(), exchange.end(), out);
    out = std::copy(kSeparator, kSeparator + separator, out);
    out = std::copy(code.begin(), code.end(), out);
    out = std::copy(kSeparator, kSeparator + separator, out);
    std::copy(digits, digits + lineSize, out);
}

} // namespace

CCreditDataQueryModel::CCreditDataQueryModel()
    : WB::IBaseHpfTableModel(true)
{
}

CCreditDataQueryModel::~CCreditDataQueryModel() = default;

int CCreditDataQueryModel::columnCount()
{
    return 4;
}

QString CCreditDataQueryModel::headerText(int column)
{
    switch (column) {
    case 0: return QStringLiteral("证券代码");
    case 1: return QStringLiteral("交易所名称");
    case 2: return QStringLiteral("担保品折算比例");
    case 3: return QStringLiteral("证券名称");
    default: return QString();
    }
}

QVariant::Type CCreditDataQueryModel::columnType(int column)
{
    switch (column) {
    case 0:
    case 1:
    case 3: return QVariant::String;
    case 2:
        // Sorted by the ratio itself, not by its formatted text.
        return QVariant::Double;
    default: return QVariant::Invalid;
    }
}

QString CCreditDataQueryModel::columnAuxText(int)
{
    return QString();
}

bool CCreditDataQueryModel::columnAuxFlag(int)
{
    return false;
}

const QColor* CCreditDataQueryModel::rowBackgroundColor(int row)
{
    return alternatingRowColor(row);
}

utils::CFlags<utils::EFormatNumberFlag> CCreditDataQueryModel::columnFlag(int)
{
    return utils::CFlags<utils::EFormatNumberFlag>();
}

void CCreditDataQueryModel::setSubjects(const std::vector<rqservice::CStkSubjectsPtr>& subjects)
{
    clear();
    reserve(int(subjects.size()));
    // All rows in one allocation: each row's pointer shares the block's count, so a detail of a
    // hundred thousand rows costs no allocation and no count of its own per row.
    auto block = boost::make_shared<std::vector<CCreditDataQueryData>>();
    block->reserve(subjects.size());
    // A detail lists a handful of exchanges, interleaved: one shared text each instead of one
    // per row.
    std::vector<Exchange> exchanges;
    const rqservice::CStkSubjects* lastBroker = nullptr;
    QByteArray prefix;
    std::string key; // the broker's part, then the current row's
    for (const rqservice::CStkSubjectsPtr& subject : subjects) {
        if (!subject) {
            continue;
        }
        block->emplace_back();
        CCreditDataQueryData& row = block->back();
        row.brokerKeyNo = subject->brokerKeyNo;
        row.lineNo = subject->lineNo;
        row.stockCode = WB::sToQs(subject->stockCode);
        const Exchange& exchange = exchangeOf(exchanges, subject->exchangeName);
        row.exchangeName = exchange.text;
        row.ratio = subject->ratio;
        row.stockName = WB::sToQs(subject->stockName);
        if (!lastBroker || lastBroker->brokerKeyNo != subject->brokerKeyNo ||
            !sameBytes(lastBroker->brokerId, subject->brokerId)) {
            lastBroker = subject.get();
            prefix = keyPrefixOf(*subject);
            key.assign(prefix.constData(), std::size_t(prefix.size()));
        }
        WB::IBaseHpfTableDataPtr pointer(block, &row);
        // The row rebuilds its key from its texts only where they give back the record's bytes.
        if (!prefix.isEmpty() && exchange.roundTrips && roundTrips(subject->stockCode, row.stockCode)) {
            row.keyPrefix = prefix;
            setKeyTail(key, std::size_t(prefix.size()), subject->exchangeName, subject->stockCode, subject->lineNo);
            addData(std::move(pointer), key);
        } else {
            row.rowKey = QByteArray::fromStdString(subject->getCsKey());
            addData(std::move(pointer), row.getKey());
        }
    }
}

} // namespace DVK
