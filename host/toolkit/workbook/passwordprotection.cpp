#include "passwordprotection.h"

#include "compounddocument.h"

namespace WB {

QString CPasswordProtection::refusal()
{
    return QStringLiteral("workbook: the workbook is password-protected (encrypted): it opens only with its password");
}

bool CPasswordProtection::isEncryptedPackage(const CCompoundDocument& document)
{
    return document.hasStream(QStringLiteral("EncryptionInfo")) || document.hasStream(QStringLiteral("EncryptedPackage"));
}

} // namespace WB
