#pragma once
// The preview tool's way to the data service: the stand-in client's client centre on the demo
// host's database. It lives in a module of its own, which the tool loads only when it asks the
// server: a plain preview starts without the client's service layer and the libraries under it
// (Sql, widgets, logging).

#include "hostservice.h"
#include "uploadhistory.h"

#include <QString>

#include <string>
#include <vector>

namespace DVK {

struct PreviewAnswer
{
    bool answered = false; // false: message says why there is no answer
    QString message;       // the server's message on a failure
    std::vector<rqservice::IDataPtr> records;
};

// A broker's uploads, newest first, or why there is no answer.
struct PreviewHistory
{
    bool answered = false;
    QString message;
    rqservice::UploadHistory history;
};

// The rows of one upload, or why there is no answer.
struct PreviewRows
{
    bool answered = false;
    QString message;
    std::vector<rqservice::CStkSubjectsPtr> rows;
};

class IPreviewServer
{
public:
    virtual ~IPreviewServer() = default;
    // The database the answers come from, for the reader (a file's absolute path; no password).
    virtual QString database() const = 0;
    // Asks through the client centre, as the panel and its dialogs ask (client "", flag 0), and
    // waits for the one answer, no longer than the service's own time limit and a little more.
    virtual PreviewAnswer query(int queryType, const std::string& queryKey) = 0;
    // The stand-in service's own reads, for the broker of detail key brokerKey, waited for alike.
    virtual PreviewHistory history(const std::string& brokerKey, int count) = 0;
    virtual PreviewRows uploadRows(const std::string& brokerKey, long long uploadId) = 0;
};

// Opens the server on database, taken as the demo host's --db takes it (a SQLite file or a
// postgresql:// URI; empty: the demo host's default file), for reading only: nothing in it is
// ever changed, and a database without our tables is refused. A file that does not exist is
// not made: null, with error saying so. The caller owns the server.
using OpenPreviewServer = IPreviewServer* (*)(const QString& database, QString& error);
constexpr char kOpenPreviewServerSymbol[] = "creditdataOpenPreviewServer";
constexpr char kPreviewServerModule[] = "creditdata_previewserver";

} // namespace DVK
