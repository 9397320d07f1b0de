#pragma once
// Writes the smallest workbook the .xlsx reader takes, or a broken one, for tests that need odd files.

#include "zipwriter.h"

#include <QStringList>

namespace testsupport {

// A zip holding the entries in order, deflated. False when it cannot be written.
bool writeZip(const QString& path, const ZipEntries& entries);

// The parts of a one-sheet workbook whose rows are inline-string cells (one row per list entry).
ZipEntries workbookEntries(const QList<QStringList>& rows);
// Same, with the sheet's XML given as it stands.
ZipEntries workbookEntries(const QByteArray& sheetXml);

} // namespace testsupport
