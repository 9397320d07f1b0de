#include "biffdecryption.h"

#include "biffrecords.h"
#include "cryptoprimitives.h"
#include "littleendian.h"

#include <QtEndian>

#include <algorithm>

namespace WB {

using namespace xls;

namespace {

using le::u16;
using le::u32;

constexpr int kBlockBytes = 1024;

// The XOR obfuscation's published tables: the key's start by password length, the matrix the
// password's bits select from, and the pad after a short password.
const quint16 kInitialCode[15] = {0xE1F0, 0x1D0F, 0xCC9C, 0x84C0, 0x110C, 0x0E10, 0xF1CE, 0x313E,
                                  0x1872, 0xE139, 0xD40F, 0x84F9, 0x280C, 0xA96A, 0x4EC3};
const quint16 kXorMatrix[105] = {
    0xAEFC, 0x4DD9, 0x9BB2, 0x2745, 0x4E8A, 0x9D14, 0x2A09, 0x7B61, 0xF6C2, 0xFDA5, 0xEB6B, 0xC6F7, 0x9DCF, 0x2BBF,
    0x4563, 0x8AC6, 0x05AD, 0x0B5A, 0x16B4, 0x2D68, 0x5AD0, 0x0375, 0x06EA, 0x0DD4, 0x1BA8, 0x3750, 0x6EA0, 0xDD40,
    0xD849, 0xA0B3, 0x5147, 0xA28E, 0x553D, 0xAA7A, 0x44D5, 0x6F45, 0xDE8A, 0xAD35, 0x4A4B, 0x9496, 0x390D, 0x721A,
    0xEB23, 0xC667, 0x9CEF, 0x29FF, 0x53FE, 0xA7FC, 0x5FD9, 0x47D3, 0x8FA6, 0x0F6D, 0x1EDA, 0x3DB4, 0x7B68, 0xF6D0,
    0xB861, 0x60E3, 0xC1C6, 0x93AD, 0x377B, 0x6EF6, 0xDDEC, 0x45A0, 0x8B40, 0x06A1, 0x0D42, 0x1A84, 0x3508, 0x6A10,
    0xAA51, 0x4483, 0x8906, 0x022D, 0x045A, 0x08B4, 0x1168, 0x76B4, 0xED68, 0xCAF1, 0x85C3, 0x1BA7, 0x374E, 0x6E9C,
    0x3730, 0x6E60, 0xDCC0, 0xA9A1, 0x4363, 0x86C6, 0x1DAD, 0x3331, 0x6662, 0xCCC4, 0x89A9, 0x0373, 0x06E6, 0x0DCC,
    0x1021, 0x2042, 0x4084, 0x8108, 0x1231, 0x2462, 0x48C4};
const unsigned char kPadArray[15] = {0xBB, 0xFF, 0xFF, 0xBA, 0xFF, 0xFF, 0xB9, 0x80,
                                     0x00, 0xBE, 0x0F, 0x00, 0xBF, 0x0F, 0x00};

quint16 xorKeyOf(const QByteArray& password)
{
    quint16 key = kInitialCode[password.size() - 1];
    int element = 0x68;
    for (int i = password.size() - 1; i >= 0; --i) {
        unsigned char c = uchar(password.at(i));
        for (int bit = 0; bit < 7; ++bit, --element) {
            if (c & 0x40)
                key ^= kXorMatrix[element];
            c = uchar(c << 1);
        }
    }
    return key;
}

quint16 xorVerifierOf(const QByteArray& password)
{
    quint16 verifier = 0;
    const QByteArray bytes = char(password.size()) + password;
    for (int i = bytes.size() - 1; i >= 0; --i) {
        const quint16 carry = (verifier & 0x4000) ? 1 : 0;
        verifier = quint16(((verifier << 1) & 0x7FFF) | carry) ^ uchar(bytes.at(i));
    }
    return verifier ^ 0xCE4B;
}

unsigned char xorRor(unsigned char byte, unsigned char key)
{
    const unsigned char value = byte ^ key;
    return uchar((value >> 1) | (value << 7));
}

void xorArrayOf(const QByteArray& password, quint16 key, unsigned char out[16])
{
    const unsigned char high = uchar(key >> 8), low = uchar(key & 0xFF);
    int index = password.size();
    if (index % 2 == 1) {
        out[index] = xorRor(kPadArray[0], high);
        --index;
        out[index] = xorRor(uchar(password.at(password.size() - 1)), low);
    }
    while (index > 0) {
        --index;
        out[index] = xorRor(uchar(password.at(index)), high);
        --index;
        out[index] = xorRor(uchar(password.at(index)), low);
    }
    index = 15;
    for (int pad = 15 - password.size(); pad > 0;) {
        out[index--] = xorRor(kPadArray[pad--], high);
        out[index--] = xorRor(kPadArray[pad--], low);
    }
}

// Records the format keeps in the clear, so that a reader finds its way before the key.
bool inTheClear(quint16 type)
{
    switch (type) {
    case kBof:
    case kFilePass:
    case kUsrExcl:
    case kFileLock:
    case kInterfaceHdr:
    case kRrdInfo:
    case kRrdHead: return true;
    default: return false;
    }
}

} // namespace

QString CBiffDecryption::kindName(EKind kind)
{
    switch (kind) {
    case EKind::None: return QStringLiteral("not encrypted");
    case EKind::Xor: return QStringLiteral("XOR obfuscation");
    case EKind::Rc4: return QStringLiteral("RC4 encryption");
    case EKind::CryptoApi: return QStringLiteral("RC4 CryptoAPI encryption");
    }
    return QString();
}

bool CBiffDecryption::fail(const QString& message)
{
    m_error = message;
    return false;
}

bool CBiffDecryption::inspect(const QByteArray& stream)
{
    m_kind = EKind::None;
    m_filePass = -1;
    m_error.clear();
    const uchar* data = reinterpret_cast<const uchar*>(stream.constData());
    const qint64 size = stream.size();
    if (size < 8 || u16(data) != kBof || u16(data + 2) < 4)
        return true; // no workbook stream: the reader says so
    const bool biff8 = u16(data + 4) == kBiff8;
    // Headers are never encrypted: the globals are walked as they are to their EOF.
    for (qint64 at = 0; at + 4 <= size;) {
        const quint16 type = u16(data + at);
        const int length = u16(data + at + 2);
        if (at + 4 + length > size)
            return true;
        if (type == kEof)
            return true;
        if (type == kFilePass) {
            m_filePass = at;
            const uchar* d = data + at + 4;
            if (!biff8)
                return fail(
                    QStringLiteral("the workbook is password-protected (a BIFF5 workbook's obfuscation is not read)"));
            if (length < 2)
                return fail(QStringLiteral("the encryption header (FILEPASS) is cut short"));
            const quint16 method = u16(d);
            if (method == 0)
                return readXor(d + 2, length - 2);
            if (method != 1)
                return fail(QStringLiteral("the encryption header (FILEPASS) names the unknown method %1").arg(method));
            if (length < 6)
                return fail(QStringLiteral("the encryption header (FILEPASS) is cut short"));
            const quint16 major = u16(d + 2), minor = u16(d + 4);
            if (major == 1 && minor == 1)
                return readRc4(d + 6, length - 6);
            if (major >= 2 && major <= 4 && minor == 2)
                return readCryptoApi(d + 6, length - 6);
            return fail(QStringLiteral("the encryption header (FILEPASS) has the unknown RC4 version %1.%2")
                            .arg(major)
                            .arg(minor));
        }
        at += 4 + length;
    }
    return true;
}

bool CBiffDecryption::readXor(const uchar* d, int n)
{
    if (n < 4)
        return fail(QStringLiteral("the XOR obfuscation header (FILEPASS) is cut short"));
    m_kind = EKind::Xor;
    m_xorKey = u16(d);
    m_xorVerifier = u16(d + 2);
    return true;
}

bool CBiffDecryption::readRc4(const uchar* d, int n)
{
    if (n < 48)
        return fail(QStringLiteral("the RC4 encryption header (FILEPASS) is cut short"));
    m_kind = EKind::Rc4;
    m_salt = QByteArray(reinterpret_cast<const char*>(d), 16);
    m_verifier = QByteArray(reinterpret_cast<const char*>(d + 16), 16);
    m_verifierHash = QByteArray(reinterpret_cast<const char*>(d + 32), 16);
    m_keyBytes = 16;
    return true;
}

bool CBiffDecryption::readCryptoApi(const uchar* d, int n)
{
    const auto cut = [this]() {
        return fail(QStringLiteral("the RC4 CryptoAPI encryption header (FILEPASS) is cut short"));
    };
    if (n < 8)
        return cut();
    const quint32 headerSize = u32(d + 4);
    // The header's fields (32 bytes) and a provider name; the verifier after it takes 60 bytes.
    if (headerSize < 32 || headerSize > quint32(n) - 8)
        return fail(QStringLiteral("the RC4 CryptoAPI encryption header (FILEPASS) declares %1 bytes of %2")
                        .arg(headerSize)
                        .arg(n - 8));
    const uchar* header = d + 8;
    const quint32 algorithm = u32(header + 8), hash = u32(header + 12);
    quint32 keyBits = u32(header + 16);
    if (keyBits == 0)
        keyBits = 40;
    if (algorithm != 0x6801 || (hash != 0x8004 && hash != 0))
        return fail(
            QStringLiteral(
                "the RC4 CryptoAPI encryption header names the cipher 0x%1 and hash 0x%2 (RC4 and SHA-1 are read)")
                .arg(algorithm, 0, 16)
                .arg(hash, 0, 16));
    if (keyBits < 40 || keyBits > 128 || keyBits % 8 != 0)
        return fail(QStringLiteral("the RC4 CryptoAPI encryption header declares a key of %1 bits").arg(keyBits));
    const uchar* verifier = header + headerSize;
    const qint64 left = qint64(n) - 8 - headerSize;
    if (left < 60)
        return cut();
    if (u32(verifier) != 16 || u32(verifier + 36) != 20)
        return fail(QStringLiteral(
                        "the RC4 CryptoAPI verifier declares a salt of %1 and a hash of %2 bytes (16 and 20 expected)")
                        .arg(u32(verifier))
                        .arg(u32(verifier + 36)));
    m_kind = EKind::CryptoApi;
    m_keyBytes = int(keyBits / 8);
    m_salt = QByteArray(reinterpret_cast<const char*>(verifier + 4), 16);
    m_verifier = QByteArray(reinterpret_cast<const char*>(verifier + 20), 16);
    m_verifierHash = QByteArray(reinterpret_cast<const char*>(verifier + 40), 20);
    return true;
}

QByteArray CBiffDecryption::blockKey(quint32 block) const
{
    if (m_kind == EKind::Rc4)
        return crypto::digest(crypto::EHash::Md5, m_base, crypto::littleEndian32(block));
    QByteArray key = crypto::digest(crypto::EHash::Sha1, m_base, crypto::littleEndian32(block)).left(m_keyBytes);
    // A 40-bit key is used as 128 bits, the rest zero.
    if (m_keyBytes == 5)
        key.append(11, '\0');
    return key;
}

bool CBiffDecryption::checkVerifier()
{
    const QByteArray password = crypto::defaultPasswordUtf16();
    if (m_kind == EKind::Rc4) {
        const QByteArray h0 = crypto::digest(crypto::EHash::Md5, password).left(5);
        QByteArray buffer;
        for (int i = 0; i < 16; ++i)
            buffer += h0 + m_salt;
        m_base = crypto::digest(crypto::EHash::Md5, buffer).left(5);
    } else {
        m_base = crypto::digest(crypto::EHash::Sha1, m_salt, password);
    }
    const QByteArray key = blockKey(0);
    const int total = m_verifier.size() + m_verifierHash.size();
    unsigned char stream[64];
    if (m_base.isEmpty() || key.isEmpty() || !crypto::rc4Stream(key, total, stream, m_error))
        return fail(m_error.isEmpty() ? QStringLiteral("the workbook's key cannot be derived") : m_error);
    QByteArray verifier = m_verifier, hash = m_verifierHash;
    for (int i = 0; i < verifier.size(); ++i)
        verifier[i] = char(verifier.at(i) ^ stream[i]);
    for (int i = 0; i < hash.size(); ++i)
        hash[i] = char(hash.at(i) ^ stream[verifier.size() + i]);
    const QByteArray expected =
        crypto::digest(m_kind == EKind::Rc4 ? crypto::EHash::Md5 : crypto::EHash::Sha1, verifier);
    if (expected.isEmpty() || expected != hash)
        return fail(QStringLiteral("the workbook is password-protected (%1 with a password other than the default)")
                        .arg(kindName(m_kind)));
    return true;
}

bool CBiffDecryption::decrypt(QByteArray& stream)
{
    if (m_kind == EKind::None)
        return true;
    if (m_kind == EKind::Xor) {
        const QByteArray password(crypto::kDefaultPassword);
        if (xorKeyOf(password) != m_xorKey || xorVerifierOf(password) != m_xorVerifier)
            return fail(QStringLiteral("the workbook is password-protected (%1 with a password other than the default)")
                            .arg(kindName(m_kind)));
        xorArrayOf(password, m_xorKey, m_xorArray);
    } else if (!checkVerifier()) {
        return false;
    }

    uchar* data = reinterpret_cast<uchar*>(stream.data());
    const qint64 size = stream.size();
    quint32 block = 0;
    bool haveBlock = false;
    unsigned char keyStream[kBlockBytes];
    QString error;
    const auto filePassEnd = m_filePass + 4 + u16(data + m_filePass + 2);
    for (qint64 at = filePassEnd; at + 4 <= size;) {
        const quint16 type = u16(data + at);
        const qint64 length = u16(data + at + 2);
        const qint64 start = at + 4;
        // A record running past the stream stays as it is: the reader says it is cut short.
        if (start + length > size)
            break;
        at = start + length;
        if (inTheClear(type))
            continue;
        const qint64 from = type == kBoundSheet ? std::min(start + 4, at) : start;
        if (m_kind == EKind::Xor) {
            for (qint64 p = from; p < at; ++p) {
                const unsigned char value = data[p] ^ m_xorArray[(p + length) % 16];
                data[p] = uchar((value >> 5) | (value << 3));
            }
            continue;
        }
        // RC4 starts again with a key of its own at every 1024 bytes of the stream, headers
        // included.
        for (qint64 p = from; p < at;) {
            const quint32 wanted = quint32(p / kBlockBytes);
            if (!haveBlock || wanted != block) {
                block = wanted;
                haveBlock = true;
                const QByteArray key = blockKey(block);
                if (key.isEmpty() || !crypto::rc4Stream(key, kBlockBytes, keyStream, error))
                    return fail(error.isEmpty() ? QStringLiteral("the workbook's key cannot be derived") : error);
            }
            const qint64 end = std::min<qint64>(at, (qint64(block) + 1) * kBlockBytes);
            for (; p < end; ++p)
                data[p] ^= keyStream[p % kBlockBytes];
        }
    }
    return true;
}

} // namespace WB
