#pragma once

#include <QByteArray>
#include <QString>

namespace WB {

class CCompoundDocument;

// An .xlsx package encrypted into a compound document (the streams EncryptionInfo and
// EncryptedPackage), opened with the password Excel uses when none was set to open the file
// ("VelvetSweatshop"). Standard encryption (AES-ECB, SHA-1) and agile encryption (AES-CBC, SHA-1
// to SHA-512). Every size the header states is checked before it sizes anything, and the
// password hash's iterations are bounded.
class COfficeCrypto
{
public:
    enum class EKind
    {
        None,
        Standard,
        Agile
    };

    // Whether the document is an encrypted package rather than a legacy workbook.
    static bool isEncryptedPackage(const CCompoundDocument& document);
    // The plain package's bytes; false with error() when the header is damaged or not read, the
    // default password does not open it ("password-protected"), or the package is cut short.
    bool decrypt(CCompoundDocument& document, QByteArray& package);
    EKind kind() const { return m_kind; }
    QString error() const { return m_error; }

private:
    bool fail(const QString& message);
    bool readStandard(const QByteArray& info);
    bool readAgile(const QByteArray& info);
    bool decryptStandard(const QByteArray& stream, QByteArray& package);
    bool decryptAgile(const QByteArray& stream, QByteArray& package);
    // The declared size of the plain package, checked against the encrypted stream.
    bool declaredSize(const QByteArray& stream, qint64& size);
    // The declared size, whole AES blocks covering it, and package sized for them; false when the
    // stream is too short for them.
    bool blocksFor(const QByteArray& stream, qint64& size, qint64& whole, QByteArray& package);
    QString wrongPassword() const;

    EKind m_kind = EKind::None;
    QByteArray m_key;
    // Agile: the hash, the package's salt, and the key encryptor's parameters.
    int m_hash = 0;
    int m_blockBytes = 16;
    QByteArray m_keySalt;
    QString m_error;
};

} // namespace WB
