#include "officecrypto.h"

#include "compounddocument.h"
#include "cryptoprimitives.h"
#include "inputcaps.h"
#include "littleendian.h"

#include <QXmlStreamReader>
#include <QtEndian>

#include <algorithm>

namespace WB {

namespace {

using crypto::EHash;
using le::u32;
using le::u64;

const QString kInfoStream = QStringLiteral("EncryptionInfo");
const QString kPackageStream = QStringLiteral("EncryptedPackage");
const QString kPasswordEncryptor = QStringLiteral("http://schemas.microsoft.com/office/2006/keyEncryptor/password");
constexpr int kSegmentBytes = 4096;
// The standard encryption's fixed number of iterations.
constexpr quint32 kStandardSpinCount = 50000;

// The block keys of agile encryption, one per value the password's key opens.
const QByteArray kVerifierInputBlock = QByteArray::fromHex("fea7d2763b4b9e79");
const QByteArray kVerifierValueBlock = QByteArray::fromHex("d7aa0f6d3061344e");
const QByteArray kKeyValueBlock = QByteArray::fromHex("146e0be7abacd0d6");

// Truncated, or padded with 0x36, to size bytes: how agile encryption fits a hash to a key or IV.
QByteArray fitted(QByteArray value, int size)
{
    if (value.size() > size)
        value.truncate(size);
    else if (value.size() < size)
        value.append(size - value.size(), '\x36');
    return value;
}

bool hashNamed(const QString& name, EHash& hash)
{
    static const std::pair<const char*, EHash> names[] = {{"SHA1", EHash::Sha1},     {"SHA-1", EHash::Sha1},
                                                          {"SHA256", EHash::Sha256}, {"SHA384", EHash::Sha384},
                                                          {"SHA512", EHash::Sha512}, {"MD5", EHash::Md5}};
    for (const auto& [text, value] : names) {
        if (name == QLatin1String(text)) {
            hash = value;
            return true;
        }
    }
    return false;
}

// The parameters of one <keyData> or <p:encryptedKey> element.
struct CipherParameters
{
    bool seen = false;
    int saltSize = 0;
    int blockSize = 0;
    int keyBits = 0;
    int hashSize = 0;
    qint64 spinCount = 0;
    QString cipher, chaining, hash;
    QByteArray salt, verifierInput, verifierValue, keyValue;
};

bool readParameters(const QXmlStreamAttributes& attributes, CipherParameters& out, QString& error)
{
    out.seen = true;
    const auto number = [&](const char* name, qint64 low, qint64 high, qint64& value) {
        bool ok = false;
        value = attributes.value(QLatin1String(name)).toLongLong(&ok);
        if (!ok || value < low || value > high) {
            error = QStringLiteral("the encryption header's %1 is \"%2\" (%3 to %4 read)")
                        .arg(QLatin1String(name), attributes.value(QLatin1String(name)).left(32))
                        .arg(low)
                        .arg(high);
            return false;
        }
        return true;
    };
    const auto base64 = [&](const char* name, QByteArray& value) {
        const QStringRef text = attributes.value(QLatin1String(name));
        value = QByteArray::fromBase64(text.toLatin1(), QByteArray::AbortOnBase64DecodingErrors);
        if (value.isEmpty() && !text.isEmpty()) {
            error = QStringLiteral("the encryption header's %1 is not base64").arg(QLatin1String(name));
            return false;
        }
        return true;
    };
    qint64 saltSize = 0, blockSize = 0, keyBits = 0, hashSize = 0;
    if (!number("saltSize", 1, 65536, saltSize) || !number("blockSize", 2, 4096, blockSize) ||
        !number("keyBits", 8, 4096, keyBits) || !number("hashSize", 1, 64, hashSize) || !base64("saltValue", out.salt))
        return false;
    out.saltSize = int(saltSize);
    out.blockSize = int(blockSize);
    out.keyBits = int(keyBits);
    out.hashSize = int(hashSize);
    out.cipher = attributes.value(QLatin1String("cipherAlgorithm")).toString().left(64);
    out.chaining = attributes.value(QLatin1String("cipherChaining")).toString().left(64);
    out.hash = attributes.value(QLatin1String("hashAlgorithm")).toString().left(64);
    if (out.salt.size() != out.saltSize) {
        error = QStringLiteral("the encryption header's salt has %1 bytes, not the %2 declared")
                    .arg(out.salt.size())
                    .arg(out.saltSize);
        return false;
    }
    if (attributes.hasAttribute(QLatin1String("spinCount"))) {
        // The bound is checked before a single hash is taken: a crafted count costs nothing.
        if (!number("spinCount", 0, inputcaps::kMaxSpinCount, out.spinCount))
            return false;
        return base64("encryptedVerifierHashInput", out.verifierInput) &&
               base64("encryptedVerifierHashValue", out.verifierValue) && base64("encryptedKeyValue", out.keyValue);
    }
    return true;
}

// Checks the cipher is one we read and gives the hash.
bool checkCipher(const CipherParameters& p, EHash& hash, QString& error)
{
    if (p.cipher != QLatin1String("AES") || p.chaining != QLatin1String("ChainingModeCBC")) {
        error = QStringLiteral("the workbook is encrypted with %1 in %2 (AES in CBC mode is read)")
                    .arg(p.cipher, p.chaining);
        return false;
    }
    if (p.keyBits != 128 && p.keyBits != 192 && p.keyBits != 256) {
        error = QStringLiteral("the encryption header declares an AES key of %1 bits").arg(p.keyBits);
        return false;
    }
    if (p.blockSize != 16) {
        error = QStringLiteral("the encryption header declares AES blocks of %1 bytes").arg(p.blockSize);
        return false;
    }
    if (!hashNamed(p.hash, hash) || crypto::hashBytes(hash) != p.hashSize) {
        error = QStringLiteral("the encryption header's hash %1 of %2 bytes is not read").arg(p.hash).arg(p.hashSize);
        return false;
    }
    return true;
}

} // namespace

bool COfficeCrypto::isEncryptedPackage(const CCompoundDocument& document)
{
    // Either stream alone marks a package someone encrypted, damaged or not.
    return document.hasStream(kInfoStream) || document.hasStream(kPackageStream);
}

bool COfficeCrypto::fail(const QString& message)
{
    m_error = QStringLiteral("encrypted package: ") + message;
    return false;
}

QString COfficeCrypto::wrongPassword() const
{
    return QStringLiteral("the workbook is password-protected (%1 encryption with a password other than the default)")
        .arg(m_kind == EKind::Agile ? QStringLiteral("agile") : QStringLiteral("standard"));
}

bool COfficeCrypto::decrypt(CCompoundDocument& document, QByteArray& package)
{
    m_kind = EKind::None;
    m_key.clear();
    m_error.clear();
    package.clear();
    if (!document.hasStream(kInfoStream) || !document.hasStream(kPackageStream))
        return fail(QStringLiteral("the compound document lacks the %1 stream")
                        .arg(document.hasStream(kInfoStream) ? kPackageStream : kInfoStream));
    QByteArray info;
    // A large stream is gathered in place, without a copy; it is refused just after.
    if (!document.readStream(kInfoStream, info)) {
        m_error = document.error();
        return false;
    }
    if (info.size() > inputcaps::kMaxEncryptionInfoBytes)
        return fail(QStringLiteral("the encryption header (EncryptionInfo) of %1 bytes is larger than the %2 read "
                                   "(certificates listed?)")
                        .arg(info.size())
                        .arg(inputcaps::kMaxEncryptionInfoBytes));
    if (info.size() < 8)
        return fail(QStringLiteral("the encryption header (EncryptionInfo) is cut short"));
    const quint16 major = le::u16(info.constData()), minor = le::u16(info.constData() + 2);
    bool ok = false;
    if (major == 4 && minor == 4) {
        m_kind = EKind::Agile;
        ok = readAgile(info);
    } else if (major >= 2 && major <= 4 && minor == 2) {
        m_kind = EKind::Standard;
        ok = readStandard(info);
    } else if ((major == 3 || major == 4) && minor == 3) {
        return fail(QStringLiteral("the workbook is encrypted by an extension of its own (version %1.%2), not read")
                        .arg(major)
                        .arg(minor));
    } else {
        return fail(QStringLiteral("the encryption header has the unknown version %1.%2").arg(major).arg(minor));
    }
    if (!ok)
        return false;
    QByteArray stream;
    if (!document.readStream(kPackageStream, stream)) {
        m_error = document.error();
        return false;
    }
    return m_kind == EKind::Agile ? decryptAgile(stream, package) : decryptStandard(stream, package);
}

bool COfficeCrypto::readStandard(const QByteArray& info)
{
    const char* d = info.constData();
    const qint64 n = info.size();
    if (n < 12)
        return fail(QStringLiteral("the encryption header (EncryptionInfo) is cut short"));
    const quint32 headerSize = u32(d + 8);
    if (headerSize < 32 || headerSize > n - 12)
        return fail(QStringLiteral("the encryption header declares %1 bytes of %2").arg(headerSize).arg(n - 12));
    const char* header = d + 12;
    const quint32 flags = u32(header);
    const quint32 algorithm = u32(header + 8), hash = u32(header + 12);
    quint32 keyBits = u32(header + 16);
    // Flags: fCryptoAPI and fAES; an external provider is no key of a password.
    if (!(flags & 0x04) || !(flags & 0x20) || (flags & 0x10))
        return fail(QStringLiteral("the encryption header's flags 0x%1 say no AES with a password").arg(flags, 0, 16));
    if (hash != 0x8004 && hash != 0)
        return fail(QStringLiteral("the encryption header names the hash 0x%1 (SHA-1 is read)").arg(hash, 0, 16));
    const quint32 expectedBits = algorithm == 0x660E ? 128 : algorithm == 0x660F ? 192 : algorithm == 0x6610 ? 256 : 0;
    if (algorithm == 0 && keyBits == 0)
        keyBits = 128;
    if ((algorithm != 0 && expectedBits == 0) || (expectedBits != 0 && keyBits != expectedBits) ||
        (keyBits != 128 && keyBits != 192 && keyBits != 256))
        return fail(QStringLiteral("the encryption header names the cipher 0x%1 with a key of %2 bits (AES is read)")
                        .arg(algorithm, 0, 16)
                        .arg(keyBits));
    const char* verifier = header + headerSize;
    if (n - 12 - headerSize < 4 + 16 + 16 + 4 + 32)
        return fail(QStringLiteral("the encryption verifier is cut short"));
    if (u32(verifier) != 16 || u32(verifier + 36) != 20)
        return fail(
            QStringLiteral("the encryption verifier declares a salt of %1 and a hash of %2 bytes (16 and 20 expected)")
                .arg(u32(verifier))
                .arg(u32(verifier + 36)));
    const QByteArray salt(verifier + 4, 16);
    const QByteArray encryptedVerifier(verifier + 20, 16);
    const QByteArray encryptedHash(verifier + 40, 32);

    QByteArray h = crypto::digest(EHash::Sha1, salt, crypto::defaultPasswordUtf16());
    if (h.isEmpty() || !crypto::iterate(EHash::Sha1, h, kStandardSpinCount))
        return fail(QStringLiteral("the key cannot be derived"));
    const QByteArray final = crypto::digest(EHash::Sha1, h, crypto::littleEndian32(0));
    QByteArray inner(64, '\x36'), outer(64, '\x5C');
    for (int i = 0; i < final.size(); ++i) {
        inner[i] = char(inner.at(i) ^ final.at(i));
        outer[i] = char(outer.at(i) ^ final.at(i));
    }
    m_key = (crypto::digest(EHash::Sha1, inner) + crypto::digest(EHash::Sha1, outer)).left(int(keyBits / 8));

    QByteArray plainVerifier(16, Qt::Uninitialized), plainHash(32, Qt::Uninitialized);
    QString error;
    if (!crypto::aesDecrypt(crypto::EChaining::Ecb, m_key, QByteArray(), encryptedVerifier.constData(), 16,
                            plainVerifier.data(), error) ||
        !crypto::aesDecrypt(crypto::EChaining::Ecb, m_key, QByteArray(), encryptedHash.constData(), 32,
                            plainHash.data(), error))
        return fail(error);
    if (crypto::digest(EHash::Sha1, plainVerifier) != plainHash.left(20))
        return fail(wrongPassword());
    return true;
}

bool COfficeCrypto::readAgile(const QByteArray& info)
{
    QXmlStreamReader xml(info.mid(8));
    CipherParameters keyData, password;
    bool inPasswordEncryptor = false;
    bool anyEncryptor = false;
    QString error;
    while (!xml.atEnd() && error.isEmpty()) {
        const QXmlStreamReader::TokenType token = xml.readNext();
        if (token == QXmlStreamReader::DTD) {
            error = QStringLiteral("the encryption header holds a DTD");
            break;
        }
        if (token == QXmlStreamReader::EndElement && xml.name() == QLatin1String("keyEncryptor"))
            inPasswordEncryptor = false;
        if (token != QXmlStreamReader::StartElement)
            continue;
        const QStringRef name = xml.name();
        if (name == QLatin1String("keyData") && !keyData.seen) {
            readParameters(xml.attributes(), keyData, error);
        } else if (name == QLatin1String("keyEncryptor")) {
            anyEncryptor = true;
            inPasswordEncryptor = xml.attributes().value(QLatin1String("uri")) == kPasswordEncryptor;
        } else if (name == QLatin1String("encryptedKey") && inPasswordEncryptor && !password.seen) {
            readParameters(xml.attributes(), password, error);
        }
    }
    if (error.isEmpty() && xml.hasError())
        error = QStringLiteral("the encryption header is no well-formed XML (%1)").arg(xml.errorString());
    if (!error.isEmpty())
        return fail(error);
    if (!keyData.seen)
        return fail(QStringLiteral("the encryption header has no keyData"));
    if (!password.seen)
        return fail(anyEncryptor
                        ? QStringLiteral("the workbook is password-protected (its key opens with a certificate only)")
                        : QStringLiteral("the encryption header has no key encryptor"));
    EHash dataHash = EHash::Sha1, keyHash = EHash::Sha1;
    if (!checkCipher(keyData, dataHash, error) || !checkCipher(password, keyHash, error))
        return fail(error);
    if (password.verifierInput.size() % 16 != 0 || password.verifierValue.size() % 16 != 0 ||
        password.keyValue.size() % 16 != 0 || password.verifierInput.isEmpty() || password.verifierValue.isEmpty() ||
        password.keyValue.size() < keyData.keyBits / 8)
        return fail(QStringLiteral("the encryption header's encrypted verifier or key is not in whole AES blocks"));

    QByteArray h = crypto::digest(keyHash, password.salt, crypto::defaultPasswordUtf16());
    if (h.isEmpty() || !crypto::iterate(keyHash, h, quint32(password.spinCount)))
        return fail(QStringLiteral("the key cannot be derived"));
    const QByteArray iv = fitted(password.salt, password.blockSize);
    const auto open = [&](const QByteArray& block, const QByteArray& encrypted, QByteArray& plain) {
        const QByteArray key = fitted(crypto::digest(keyHash, h, block), password.keyBits / 8);
        plain = QByteArray(encrypted.size(), Qt::Uninitialized);
        return crypto::aesDecrypt(crypto::EChaining::Cbc, key, iv, encrypted.constData(), encrypted.size(),
                                  plain.data(), error);
    };
    QByteArray input, value, key;
    if (!open(kVerifierInputBlock, password.verifierInput, input) ||
        !open(kVerifierValueBlock, password.verifierValue, value) || !open(kKeyValueBlock, password.keyValue, key))
        return fail(error);
    const QByteArray expected = crypto::digest(keyHash, input.left(password.saltSize));
    if (expected.isEmpty() || value.size() < password.hashSize || expected != value.left(password.hashSize))
        return fail(wrongPassword());
    m_key = key.left(keyData.keyBits / 8);
    m_hash = int(dataHash);
    m_blockBytes = keyData.blockSize;
    m_keySalt = keyData.salt;
    return true;
}

bool COfficeCrypto::declaredSize(const QByteArray& stream, qint64& size)
{
    if (stream.size() < 8)
        return fail(QStringLiteral("the encrypted package is cut short (no size)"));
    const quint64 declared = u64(stream.constData());
    const qint64 data = stream.size() - 8;
    // Checked before it sizes anything: the size must fit the encrypted bytes that follow.
    if (declared > quint64(data))
        return fail(QStringLiteral("the encrypted package declares %1 bytes but holds %2 (truncated?)")
                        .arg(declared)
                        .arg(data));
    size = qint64(declared);
    return true;
}

bool COfficeCrypto::blocksFor(const QByteArray& stream, qint64& size, qint64& whole, QByteArray& package)
{
    if (!declaredSize(stream, size))
        return false;
    whole = (size + 15) / 16 * 16;
    if (whole > stream.size() - 8)
        return fail(QStringLiteral("the encrypted package ends inside its last block (truncated?)"));
    package = QByteArray(int(whole), Qt::Uninitialized);
    return true;
}

bool COfficeCrypto::decryptStandard(const QByteArray& stream, QByteArray& package)
{
    qint64 size = 0, whole = 0;
    if (!blocksFor(stream, size, whole, package))
        return false;
    QString error;
    if (!crypto::aesDecrypt(crypto::EChaining::Ecb, m_key, QByteArray(), stream.constData() + 8, whole, package.data(),
                            error)) {
        package.clear();
        return fail(error);
    }
    package.truncate(int(size));
    return true;
}

bool COfficeCrypto::decryptAgile(const QByteArray& stream, QByteArray& package)
{
    qint64 size = 0, whole = 0;
    if (!blocksFor(stream, size, whole, package))
        return false;
    QString error;
    // Each 4096-byte segment is chained on its own, from an IV of the package's salt and its index.
    for (qint64 at = 0; at < whole; at += kSegmentBytes) {
        const qint64 length = std::min<qint64>(kSegmentBytes, whole - at);
        const QByteArray iv =
            fitted(crypto::digest(EHash(m_hash), m_keySalt, crypto::littleEndian32(quint32(at / kSegmentBytes))),
                   m_blockBytes);
        if (!crypto::aesDecrypt(crypto::EChaining::Cbc, m_key, iv, stream.constData() + 8 + at, length,
                                package.data() + at, error)) {
            package.clear();
            return fail(error);
        }
    }
    package.truncate(int(size));
    return true;
}

} // namespace WB
