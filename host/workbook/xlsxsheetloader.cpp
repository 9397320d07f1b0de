#include "xlsxsheetloader.h"

#include "inputcaps.h"
#include "cellsink.h"
#include "xlsxpackageparts.h"
#include "xlsxsheetparser.h"
#include "zippackage.h"

#include <QDir>

namespace WB {

namespace {

QString resolveTarget(const QString& sourceDir, const QString& target)
{
    if (target.startsWith(QLatin1Char('/')))
        return QDir::cleanPath(target.mid(1));
    return QDir::cleanPath(sourceDir.isEmpty() ? target : sourceDir + QLatin1Char('/') + target);
}

QString relsPathOf(const QString& part)
{
    const int slash = part.lastIndexOf(QLatin1Char('/'));
    return part.left(slash + 1) + QLatin1String("_rels/") + part.mid(slash + 1) + QLatin1String(".rels");
}

QString dirOf(const QString& part)
{
    const int slash = part.lastIndexOf(QLatin1Char('/'));
    return slash < 0 ? QString() : part.left(slash);
}

bool streamPart(CZipPackage& zip, const QString& part, qint64 cap, CXmlPartParser& parser, QString& error)
{
    const bool ok =
        zip.read(part, cap, [&parser](const char* data, int size, bool last) { return parser.feed(data, size, last); });
    if (!ok)
        error = parser.error().isEmpty() ? zip.error() : parser.error();
    return ok;
}

} // namespace

bool CXlsxSheetLoader::load(QFile& file, ICellSink& grid, standin::WorkbookReport& sheets)
{
    return load(&file, nullptr, grid, sheets);
}

bool CXlsxSheetLoader::loadData(const QByteArray& package, ICellSink& grid, standin::WorkbookReport& sheets)
{
    return load(nullptr, &package, grid, sheets);
}

bool CXlsxSheetLoader::load(QFile* file, const QByteArray* package, ICellSink& grid, standin::WorkbookReport& sheets)
{
    m_error.clear();
    CZipPackage zip;
    if (!(package ? zip.openData(*package) : zip.open(*file))) {
        m_error = zip.error();
        return false;
    }

    // The workbook part is named by the package relationships; xl/workbook.xml by convention.
    QString workbookPart = QStringLiteral("xl/workbook.xml");
    if (zip.contains(QStringLiteral("_rels/.rels"))) {
        CRelsParser rootRels(QStringLiteral("_rels/.rels"));
        if (!streamPart(zip, QStringLiteral("_rels/.rels"), inputcaps::kMaxSmallPartBytes, rootRels, m_error))
            return false;
        const auto* office = rootRels.byKind(ERelation::OfficeDocument, m_error);
        if (!m_error.isEmpty())
            return false;
        if (office)
            workbookPart = resolveTarget(QString(), office->target);
    }
    if (!zip.contains(workbookPart)) {
        m_error = QStringLiteral("xlsx: no workbook part");
        return false;
    }
    CWorkbookParser workbook(workbookPart);
    if (!streamPart(zip, workbookPart, inputcaps::kMaxSmallPartBytes, workbook, m_error))
        return false;
    sheets = workbook.sheets;
    if (sheets.sheetCount == 0) {
        m_error = QStringLiteral("xlsx: the workbook lists no sheet");
        return false;
    }

    const QString relsPart = relsPathOf(workbookPart);
    CRelsParser rels(relsPart);
    if (!zip.contains(relsPart)) {
        m_error = QStringLiteral("xlsx: no workbook relationships (%1)").arg(relsPart);
        return false;
    }
    if (!streamPart(zip, relsPart, inputcaps::kMaxSmallPartBytes, rels, m_error))
        return false;
    const auto* sheetRel = rels.byId(workbook.firstSheetRelId);
    if (!sheetRel) {
        m_error =
            QStringLiteral("xlsx: the first sheet's relationship %1 is missing").arg(workbook.firstSheetRelId.left(64));
        return false;
    }
    switch (relationOf(sheetRel->type)) {
    case ERelation::Worksheet: break;
    case ERelation::Chartsheet:
        m_error = QStringLiteral("xlsx: the first sheet is a chart, not a worksheet");
        return false;
    default:
        m_error =
            QStringLiteral("xlsx: the first sheet is of the type %1, not a worksheet").arg(sheetRel->type.left(128));
        return false;
    }
    const QString baseDir = dirOf(workbookPart);
    const QString sheetPart = resolveTarget(baseDir, sheetRel->target);

    // A part a relationship names must be there: a spreadsheet program would not show the sheet
    // as it stands without it.
    const auto partOf = [&](ERelation kind, QString& part) {
        const auto* rel = rels.byKind(kind, m_error);
        if (rel) {
            part = resolveTarget(baseDir, rel->target);
            if (!zip.contains(part))
                m_error = QStringLiteral("xlsx: %1 names the part %2, which is missing").arg(relsPart, part);
        }
        return m_error.isEmpty();
    };
    QString stylesPart, sharedPart;
    if (!partOf(ERelation::Styles, stylesPart) || !partOf(ERelation::SharedStrings, sharedPart))
        return false;
    CStylesParser styles(stylesPart);
    if (!stylesPart.isEmpty() && !streamPart(zip, stylesPart, inputcaps::kMaxPartBytes, styles, m_error))
        return false;
    CSharedStringsParser shared(sharedPart);
    if (!sharedPart.isEmpty() && !streamPart(zip, sharedPart, inputcaps::kMaxPartBytes, shared, m_error))
        return false;

    if (!zip.contains(sheetPart)) {
        m_error = QStringLiteral("xlsx: sheet part %1 missing").arg(sheetPart);
        return false;
    }
    CSheetParser sheet(sheetPart, grid, shared, styles.formats, workbook.date1904, workbook.fullCalcOnLoad);
    if (!streamPart(zip, sheetPart, inputcaps::kMaxPartBytes, sheet, m_error)) {
        grid.clear();
        return false;
    }
    if (!grid.finish()) {
        m_error = QStringLiteral("xlsx: ") + grid.error();
        return false;
    }
    return true;
}

} // namespace WB
