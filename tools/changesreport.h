#pragma once
// How the preview tool shows what an upload would change: text a person reads at a glance, and
// the same in JSON for a script.

#include "uploadchanges.h"

#include <QJsonObject>
#include <QString>

namespace DVK {

struct UploadBroker;

// What the changes were found against, for the reader.
struct ChangesContext
{
    const UploadBroker* broker = nullptr;
    QString database;
    std::size_t serverRows = 0;
    std::size_t fileRows = 0;
    QString source = QStringLiteral("in the file"); // where the rows that would be sent come from
    double maxChange = 0.1;
};

// "+12 −3 ~25 =1,204": added, removed, changed, unchanged.
QString changesSummary(const UploadChanges& changes);

// The summary, the broker and database, the warnings, then one aligned row per security:
// removals and changes largest first (a removal's size is the ratio it had), then additions in
// file order. A warning row starts with "!".
QString changesText(const UploadChanges& changes, const ChangesContext& context);

// {broker, database, maxChange, added, removed, changed, unchanged, warnings}; each row with
// exchange, code, name and its old and new ratio (a removal has no new, an addition no old).
QJsonObject changesJson(const UploadChanges& changes, const ChangesContext& context);

// UTF-8 text from a file or the server as a terminal may show it: control characters as "?".
QString terminalText(const std::string& utf8);

// Columns the text takes in a terminal: East Asian wide and full-width characters take two,
// combining marks none.
int displayWidth(const QString& text);

} // namespace DVK
