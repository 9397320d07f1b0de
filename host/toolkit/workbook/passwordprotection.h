#pragma once

#include <QString>

namespace WB {

class CCompoundDocument;

// A workbook that only opens with a password: an .xls whose globals hold a FILEPASS record, or an
// .xlsx package encrypted into a compound document (its EncryptionInfo and EncryptedPackage
// streams). Both are refused with one reason, so that whatever may one day decrypt them stands
// in front of this check alone.
class CPasswordProtection
{
public:
    // The reason such a workbook is refused with.
    static QString refusal();
    // Whether the compound document is an encrypted .xlsx package rather than a legacy workbook.
    static bool isEncryptedPackage(const CCompoundDocument& document);
};

} // namespace WB
