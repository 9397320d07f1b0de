#pragma once

#include <QByteArray>
#include <QString>

namespace WB {

// A legacy workbook stream encrypted as its FILEPASS record says, opened with the password Excel
// uses when none was set to open the file ("VelvetSweatshop": a workbook whose structure is
// protected is saved so). XOR obfuscation, RC4 with MD5, and RC4 with a CryptoAPI key (SHA-1).
class CBiffDecryption
{
public:
    enum class EKind
    {
        None,
        Xor,
        Rc4,
        CryptoApi
    };

    // Whether the stream holds a FILEPASS record among its globals, and of what kind (kind()).
    // False with error() when its header cannot be read or names a method not read.
    bool inspect(const QByteArray& stream);
    EKind kind() const { return m_kind; }
    // Decrypts every record after the FILEPASS in place, the way the format leaves parts in the
    // clear (record headers, BOF, FILEPASS, INTERFACEHDR and a few more, a BOUNDSHEET's stream
    // position). False with error() when the default password does not open it ("password-protected"),
    // found before any byte changes, or when libcrypto fails.
    bool decrypt(QByteArray& stream);
    QString error() const { return m_error; }
    static QString kindName(EKind kind);

private:
    bool fail(const QString& message);
    bool readXor(const uchar* d, int n);
    bool readRc4(const uchar* d, int n);
    bool readCryptoApi(const uchar* d, int n);
    // The key of one 1024-byte block of the stream.
    QByteArray blockKey(quint32 block) const;
    bool checkVerifier();

    EKind m_kind = EKind::None;
    qint64 m_filePass = -1;
    // XOR: the stored key and verifier, and the array the default password makes.
    quint16 m_xorKey = 0;
    quint16 m_xorVerifier = 0;
    unsigned char m_xorArray[16] = {};
    // RC4: the salt, the encrypted verifier and its hash; the key's base and length.
    QByteArray m_salt;
    QByteArray m_verifier;
    QByteArray m_verifierHash;
    QByteArray m_base;
    int m_keyBytes = 16;
    QString m_error;
};

} // namespace WB
