#pragma once
// The listed securities of the three exchanges, looked up by exchange and code.

#include "hostservice.h"

#include <QByteArray>

#include <string>
#include <unordered_map>
#include <vector>

namespace rqservice {

// Read-only after load, so any thread may look up at once.
//
// findInstrument takes the exchange first and the code second, nothing else (IDataCenter), and
// accepts besides a code that a spreadsheet wrote as a number with a fraction of zeros ("858.0"
// is 000858).
// White space counts as ASCII blanks, the full-width space U+3000 and the no-break space.
class HOST_EXPORT CSecurityMaster : public IDataCenter
{
public:
    CSecurityMaster();

    // Parses "exchange,code,name" lines (UTF-8, optional BOM, a header line starting with
    // "exchange" skipped). Lines with an unknown exchange or a code that is not six digits
    // after padding are skipped; the first of two lines for one security wins.
    // Returns the number of securities loaded.
    size_t loadCsv(const QByteArray& csv);

    InstrumentRecordPtr findInstrument(const std::string& key1, const std::string& key2) override;

    size_t size() const;
    // In load order.
    const std::vector<InstrumentRecordPtr>& records() const;

    // "SH", "SZ" or "BJ" for any accepted spelling of an exchange, empty otherwise.
    static std::string normalizeExchange(const std::string& text);
    // Six digits for a code as accepted above, empty otherwise.
    static std::string normalizeCode(const std::string& text);
    static std::string exchangeName(const std::string& exchangeId);

private:
    InstrumentRecordPtr lookup(const std::string& exchangeText, const std::string& codeText) const;
    // The plain spelling ("SH", "600000") without building any string; null when it does not
    // apply or finds nothing, and the full rules then decide.
    InstrumentRecordPtr lookupPlain(const std::string& exchangeText, const std::string& codeText) const;

    std::unordered_map<std::string, InstrumentRecordPtr> m_byKey; // "SH|600000"
    void indexByNumber();

    // plainKey() (SZ 000858 is 2000858) to the record: a look-up per upload line without
    // building the "SH|600000" string.
    std::unordered_map<uint32_t, InstrumentRecordPtr> m_byNumber;
    std::vector<InstrumentRecordPtr> m_records;
};

typedef boost::shared_ptr<CSecurityMaster> CSecurityMasterPtr;

} // namespace rqservice
