#pragma once
// The client's service layer as a plug-in sees it: records, the client centre, rights,
// the security master, logging and text helpers.

#include "host_export.h"

#include <QMetaType>
#include <QString>

#include <boost/function.hpp>
#include <boost/shared_ptr.hpp>

#include <log4cxx/logger.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <vector>

class QWidget;

// The stand-in client's own controls reach into the classes below; nothing a plug-in can call.
namespace standin {
class CHostAccess;
}

// ---------------------------------------------------------------------------------------------
// Reply documents
// ---------------------------------------------------------------------------------------------
namespace bson {

// The server's raw reply document. Callers only pass it on and let it go; the stand-in
// carries the reply's text so that it can be logged when debugging the service.
class HOST_EXPORT BSONObj
{
public:
    BSONObj();
    explicit BSONObj(std::string raw);
    const std::string& raw() const;
    bool isEmpty() const;

private:
    boost::shared_ptr<const std::string> m_raw;
};

} // namespace bson

// ---------------------------------------------------------------------------------------------
// Utilities
// ---------------------------------------------------------------------------------------------
namespace utils {

// One instance per type for the whole process. Only the host's own singletons have one: each is
// specialised and defined in the host library, so a plug-in and the host see the same object.
// Any other type has no definition and fails to link (a body here would silently give each
// module its own copy).
template <class T>
class CSingletonT
{
public:
    static T* instance();
};

// Outcome of a service call. A default-constructed error is a success.
class HOST_EXPORT RQError
{
public:
    RQError();
    RQError(int code, std::string message);
    static RQError success();
    static RQError failure(std::string message, int code = -1);

    bool isSuccess() const;
    int errorCode() const;
    const std::string& errorMsg() const;

private:
    int m_code = 0;
    std::string m_message;
};

// Logging switch of the client; lines are written only while it is on (it is on by default).
class HOST_EXPORT CLogCenter
{
public:
    bool logEnabled() const;
    void setLogEnabled(bool enabled);

private:
    std::atomic<bool> m_enabled{true}; // read by service threads while the GUI may switch it
};

// Text in the client is UTF-8 std::string. Files from Chinese users may be GBK.
//
// isGBKCode: false for pure ASCII, for text with a UTF-8 byte-order mark and for any text that
// is valid UTF-8 (realistic Chinese UTF-8 is never valid GBK-looking text by accident, because
// UTF-8 lead bytes E4..E9 are followed by bytes 80..BF that GBK rarely pairs in runs). Text valid
// in neither encoding is judged by which of the two decodes it with fewer broken sequences; a
// tie goes to UTF-8.
HOST_EXPORT bool isGBKCode(const std::string& text);
// GBK (read as GB18030, its superset) to UTF-8 in place. Never fails: a broken byte becomes
// U+FFFD and reading goes on with the next byte.
HOST_EXPORT void safeGbk2Utf8(std::string& text);
// UTF-8 to GBK in place. If any character has no GBK form, or the input is not valid UTF-8,
// the text is left as it was (the origin is kept rather than a lossy copy).
HOST_EXPORT void safeUtf82GbkOrigin(std::string& text);

class HOST_EXPORT FileHelper
{
public:
    // Reads the whole file into content. The path is in the GBK code page, as the client passes
    // paths; it is tried as given and then converted to the file system's UTF-8. Returns false
    // (content empty) when the file cannot be read.
    static bool open(std::string path, std::string& content);
};

} // namespace utils

// ---------------------------------------------------------------------------------------------
// Records
// ---------------------------------------------------------------------------------------------
namespace rqservice {

// Data-type codes of the conversion-rate records.
enum EDataType
{
    eDataTypeCvionRateBaseInfo = 12294,
    eDataTypeCvionRateDetail = 12295,
};

class HOST_EXPORT IData
{
public:
    virtual ~IData();
    // Key of the record, unique among the records of one answer.
    virtual std::string getCsKey() const = 0;
    // One line naming every field, for the log.
    virtual std::string toLog() const = 0;
};

typedef boost::shared_ptr<IData> IDataPtr;

class HOST_EXPORT CVoprQueryDataReq : public IData
{
public:
    std::string getCsKey() const override;
    std::string toLog() const override;

    int queryType = 0;
    std::string queryKey;
};

// One broker's summary: one record per upload of that broker.
class HOST_EXPORT CVoprCvionRateBaseInfo : public IData
{
public:
    std::string getCsKey() const override;
    std::string toLog() const override;

    int brokerKeyNo = -1;
    std::string brokerId;
    std::string brokerName;
    std::string tradingDay;     // yyyyMMdd
    std::string lastUploadDate; // yyyyMMdd, empty when the broker never uploaded

private:
    friend class standin::CHostAccess;
    long long m_uploadId = 0; // the server's number of the upload, part of the key; 0 when there is none
};

// One security's conversion ratio within a broker's upload.
class HOST_EXPORT CStkSubjects : public IData
{
public:
    std::string getCsKey() const override;
    std::string toLog() const override;

    int brokerKeyNo = -1;
    std::string brokerId;
    std::string brokerName;
    std::string exchangeName;
    std::string stockCode;
    std::string stockName;
    double ratio = 0.0;

private:
    friend class standin::CHostAccess;
    int m_lineNo = -1; // the server's position of the row in its upload, part of the key
};

typedef boost::shared_ptr<CStkSubjects> CStkSubjectsPtr;

// One broker's conversion-rate detail: answered by the detail query, sent by an upload.
class HOST_EXPORT CVoprCvionRateDetail : public IData
{
public:
    std::string getCsKey() const override;
    std::string toLog() const override; // the broker and the number of subjects, not each one

    int brokerKeyNo = -1;
    std::string brokerId;
    std::string brokerName;
    std::vector<CStkSubjectsPtr> subjects;
};

class HOST_EXPORT COperateDataReq : public IData
{
public:
    std::string getCsKey() const override;
    std::string toLog() const override;

    int dataType = 0;
    int operateType = 0; // 1 add, 2 replace, 3 delete
    std::vector<IDataPtr> dataList;
};

// A listed security of the security master.
class HOST_EXPORT InstrumentRecord : public IData
{
public:
    std::string getCsKey() const override;
    std::string toLog() const override;

    std::string exchangeId;   // SH, SZ or BJ
    std::string exchangeName; // 上交所, 深交所 or 北交所
    std::string stockCode;    // six digits
    std::string stockName;
};

typedef boost::shared_ptr<InstrumentRecord> InstrumentRecordPtr;

class HOST_EXPORT IDataCenter
{
public:
    virtual ~IDataCenter();
    // Finds a listed security by its exchange (key1) and code (key2), in that order only. Exchanges are
    // accepted as SH/SSE/SHSE/XSHG/上海/上交所/上海证券交易所/沪 (likewise SZ/SZSE/XSHE/深圳/深交所/
    // 深圳证券交易所/深 and BJ/BSE/BJSE/北京/北交所/北京证券交易所/京), in any letter case.
    // Surrounding white space is ignored and a code of fewer than six digits is padded with
    // leading zeros (a spreadsheet turns 000858 into 858). Null when no security matches.
    virtual InstrumentRecordPtr findInstrument(const std::string& key1, const std::string& key2) = 0;
};

typedef boost::shared_ptr<IDataCenter> IDataCenterPtr;

class HOST_EXPORT TraderCenter
{
public:
    static TraderCenter* instance();
    // The security master shipped with the client, loaded on first use.
    IDataCenterPtr getDataCenter();

private:
    friend class standin::CHostAccess;
    TraderCenter();
    IDataCenterPtr m_dataCenter;
};

} // namespace rqservice

Q_DECLARE_METATYPE(std::vector<rqservice::IDataPtr>)

// ---------------------------------------------------------------------------------------------
// Client centre
// ---------------------------------------------------------------------------------------------
namespace DVK {

enum EServerCallbackMsgType
{
    eServerCallbackMsgSuccess = 0,
    eServerCallbackMsgFailure = 1,
};

typedef boost::function<void(const utils::RQError&, const std::vector<rqservice::IDataPtr>&, int, bson::BSONObj)>
    QueryCallback;
typedef boost::function<void(const utils::RQError&, bson::BSONObj)> OperateCallback;

// Obtained from the client centre only.
class HOST_EXPORT CVoprClient
{
public:
    ~CVoprClient();
    CVoprClient(const CVoprClient&) = delete;
    CVoprClient& operator=(const CVoprClient&) = delete;

    // Returns at once; the callback runs once on a service thread with the outcome.
    // The flag byte is reserved and ignored.
    void queryData_async(const boost::shared_ptr<rqservice::CVoprQueryDataReq>& request, const QueryCallback& callback,
                         unsigned char flag);

private:
    friend class CVoprClientCenter;
    struct Private;
    explicit CVoprClient(std::unique_ptr<Private> d);
    std::unique_ptr<Private> d;
};

typedef boost::shared_ptr<CVoprClient> CVoprClientPtr;

class HOST_EXPORT CVoprClientCenter
{
public:
    CVoprClientCenter();
    ~CVoprClientCenter();
    CVoprClientCenter(const CVoprClientCenter&) = delete;
    CVoprClientCenter& operator=(const CVoprClientCenter&) = delete;

    // Every name reaches the same server; null while the client centre has no connection.
    CVoprClientPtr getClientByName(const std::string& name);
    // Returns at once; the callback runs once on a service thread. The flag byte is ignored.
    void operateData_async(const boost::shared_ptr<rqservice::COperateDataReq>& request,
                           const OperateCallback& callback, unsigned char flag);
    // Shows a server outcome to the user in a message box over parent (type 0 with success,
    // type 1 with failure). modal: wait for the user; beep: ring the bell for a failure.
    void showServerMsgCallBack(EServerCallbackMsgType type, bool success, QWidget* parent, const QString& title,
                               const QString& text, bool modal, bool beep);

private:
    friend class standin::CHostAccess;
    struct Private;
    std::unique_ptr<Private> d;
};

class HOST_EXPORT CUserManager
{
public:
    CUserManager();
    bool checkUserAuth(int right) const;

private:
    friend class standin::CHostAccess;
    std::set<int> m_rights;
};

} // namespace DVK

// The host's singletons live in the host library.
namespace utils {
template <>
HOST_EXPORT DVK::CVoprClientCenter* CSingletonT<DVK::CVoprClientCenter>::instance();
template <>
HOST_EXPORT DVK::CUserManager* CSingletonT<DVK::CUserManager>::instance();
template <>
HOST_EXPORT CLogCenter* CSingletonT<CLogCenter>::instance();
} // namespace utils

// ---------------------------------------------------------------------------------------------
// Logging
// ---------------------------------------------------------------------------------------------

// The client's standard logger ("RQStd").
extern HOST_EXPORT log4cxx::LoggerPtr g_RQStdLogger;

// Writes one printf-style line at the given log4cxx level (INFO is 20000). Callers test
// CLogCenter::logEnabled() and the logger's level first; this function writes unconditionally.
HOST_EXPORT void rqStdLogNew(const log4cxx::LoggerPtr& logger, int level, const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 3, 4)))
#endif
    ;

// ---------------------------------------------------------------------------------------------
// Text
// ---------------------------------------------------------------------------------------------
namespace WB {
// UTF-8 std::string to QString.
HOST_EXPORT QString sToQs(const std::string& text);
} // namespace WB
