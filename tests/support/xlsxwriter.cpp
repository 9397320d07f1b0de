#include "xlsxwriter.h"

namespace testsupport {

bool writeZip(const QString& path, const ZipEntries& entries)
{
    return writeZipFile(path, entries);
}

ZipEntries workbookEntries(const QByteArray& sheetXml)
{
    const QByteArray workbook = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>"
                                "<workbook xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" "
                                "xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\">"
                                "<sheets><sheet name=\"Sheet1\" sheetId=\"1\" r:id=\"rId1\"/></sheets></workbook>";
    const QByteArray rels = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>"
                            "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
                            "<Relationship Id=\"rId1\" "
                            "Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/worksheet\" "
                            "Target=\"worksheets/sheet1.xml\"/></Relationships>";
    return {{QStringLiteral("xl/workbook.xml"), workbook},
            {QStringLiteral("xl/_rels/workbook.xml.rels"), rels},
            {QStringLiteral("xl/worksheets/sheet1.xml"), sheetXml}};
}

ZipEntries workbookEntries(const QList<QStringList>& rows)
{
    QByteArray sheet = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>"
                       "<worksheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\"><sheetData>";
    for (int r = 0; r < rows.size(); ++r) {
        sheet += "<row r=\"" + QByteArray::number(r + 1) + "\">";
        for (int c = 0; c < rows[r].size() && c < 26; ++c)
            sheet += "<c r=\"" + QByteArray(1, char('A' + c)) + QByteArray::number(r + 1) +
                     "\" t=\"inlineStr\"><is><t>" + rows[r][c].toHtmlEscaped().toUtf8() + "</t></is></c>";
        sheet += "</row>";
    }
    sheet += "</sheetData></worksheet>";
    return workbookEntries(sheet);
}

} // namespace testsupport
