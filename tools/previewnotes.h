#pragma once
// What the preview says about a file beyond the lines and the request: the workbook's sheets,
// lines whose text is not what the file's bytes hold, lines the data service would refuse.

#include "upload/conversionfile.h"
#include "upload/uploadrequest.h"

#include "standinworkbook.h"

#include <QJsonObject>
#include <QString>
#include <QStringList>

#include <map>

namespace DVK {

struct PreviewNotes
{
    bool workbook = false;
    standin::WorkbookReport report;          // the workbook reader's, when workbook
    std::map<int, QStringList> lineWarnings; // by line index: a tab read as a space, undecodable bytes
    int undecodableLines = 0;
    std::map<int, QString> refused; // by line index: a used line whose text the service would not store
};

// Gathers the notes on the calling thread right after readConversionFile read path on it (the
// workbook readers report on the thread that read).
PreviewNotes previewNotes(const QString& path, const ConversionFileLines& content, const UploadRequestPlan& plan);

// The request's lines the data service would store: those used and not refused.
int storableLines(const UploadRequestPlan& plan, const PreviewNotes& notes);

// The notes in the preview's JSON: workbook, refused, undecodable, and the line warnings added to
// warnings; used keeps only the storable lines.
void addPreviewNotes(QJsonObject& object, const PreviewNotes& notes);

// A text on one line of the terminal: line breaks shown as \n and \r.
QString oneLine(QString text);

} // namespace DVK
