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
// findInstrument accepts, besides what IDataCenter documents:
// - the keys in either order (exchange, code) or (code, exchange);
// - one key holding both, the other empty: "600000.SH", "sh600000", "SH.600000", "600000SH";
// - a code that a spreadsheet wrote as a number with a fraction of zeros ("858.0" is 000858).
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
    InstrumentRecordPtr lookupCombined(const std::string& text) const;
    // The plain spelling ("SH", "600000") without building any string; null when it does not
    // apply or finds nothing, and the full rules then decide.
    InstrumentRecordPtr lookupPlain(const std::string& exchangeText, const std::string& codeText) const;

    std::unordered_map<std::string, InstrumentRecordPtr> m_byKey; // "SH|600000"
    void indexByNumber();
    size_t numberSlot(uint32_t key) const;

    // plainKey() (SZ 000858 is 2000858) to the record, open addressing over a power-of-two table;
    // key 0 marks a free slot. A look-up per upload line, so no node per record, and the keys
    // probed apart from the records: the whole key table stays in the nearest cache.
    std::vector<uint32_t> m_numberKeys;
    std::vector<InstrumentRecordPtr> m_numberRecords;
    int m_numberShift = 64;
    std::vector<InstrumentRecordPtr> m_records;
};

typedef boost::shared_ptr<CSecurityMaster> CSecurityMasterPtr;

} // namespace rqservice
