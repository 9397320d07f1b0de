#include "cryptoprimitives.h"

#include <openssl/evp.h>
#include <openssl/provider.h>

#include <QtEndian>

#include <algorithm>
#include <cstring>
#include <memory>

namespace WB::crypto {

const char kDefaultPassword[] = "VelvetSweatshop";

QByteArray defaultPasswordUtf16()
{
    QByteArray out;
    for (const char c : QByteArray(kDefaultPassword)) {
        out += c;
        out += '\0';
    }
    return out;
}

QByteArray littleEndian32(quint32 value)
{
    QByteArray out(4, Qt::Uninitialized);
    qToLittleEndian<quint32>(value, out.data());
    return out;
}

namespace {

// The algorithms fetched once: an implicit fetch on every call costs more than a hash of the
// few bytes each iteration takes.
struct CAlgorithms
{
    CAlgorithms()
    {
        const char* names[] = {"MD5", "SHA1", "SHA256", "SHA384", "SHA512"};
        for (int i = 0; i < 5; ++i)
            digests[i] = EVP_MD_fetch(nullptr, names[i], nullptr);
        aes[0] = EVP_CIPHER_fetch(nullptr, "AES-128-ECB", nullptr);
        aes[1] = EVP_CIPHER_fetch(nullptr, "AES-192-ECB", nullptr);
        aes[2] = EVP_CIPHER_fetch(nullptr, "AES-256-ECB", nullptr);
        aes[3] = EVP_CIPHER_fetch(nullptr, "AES-128-CBC", nullptr);
        aes[4] = EVP_CIPHER_fetch(nullptr, "AES-192-CBC", nullptr);
        aes[5] = EVP_CIPHER_fetch(nullptr, "AES-256-CBC", nullptr);
    }
    ~CAlgorithms()
    {
        for (EVP_MD* md : digests)
            EVP_MD_free(md);
        for (EVP_CIPHER* cipher : aes)
            EVP_CIPHER_free(cipher);
    }
    CAlgorithms(const CAlgorithms&) = delete;
    CAlgorithms& operator=(const CAlgorithms&) = delete;

    EVP_MD* digests[5] = {};
    EVP_CIPHER* aes[6] = {};
};

// RC4 is a legacy algorithm: its provider goes into a library context of ours, so that nothing
// else in the process gets legacy algorithms by default. Loaded on first use only: a context
// costs memory that packages, which need no RC4, should not pay.
struct CLegacyAlgorithms
{
    CLegacyAlgorithms()
    {
        context = OSSL_LIB_CTX_new();
        if (context) {
            legacy = OSSL_PROVIDER_load(context, "legacy");
            base = OSSL_PROVIDER_load(context, "default");
            if (legacy && base)
                rc4 = EVP_CIPHER_fetch(context, "RC4", nullptr);
        }
    }
    ~CLegacyAlgorithms()
    {
        EVP_CIPHER_free(rc4);
        if (legacy)
            OSSL_PROVIDER_unload(legacy);
        if (base)
            OSSL_PROVIDER_unload(base);
        OSSL_LIB_CTX_free(context);
    }
    CLegacyAlgorithms(const CLegacyAlgorithms&) = delete;
    CLegacyAlgorithms& operator=(const CLegacyAlgorithms&) = delete;

    OSSL_LIB_CTX* context = nullptr;
    OSSL_PROVIDER* legacy = nullptr;
    OSSL_PROVIDER* base = nullptr;
    EVP_CIPHER* rc4 = nullptr;
};

const CAlgorithms& algorithms()
{
    static const CAlgorithms instance;
    return instance;
}

const CLegacyAlgorithms& legacyAlgorithms()
{
    static const CLegacyAlgorithms instance;
    return instance;
}

const EVP_MD* mdOf(EHash hash)
{
    return algorithms().digests[int(hash)];
}

struct MdContextFree
{
    void operator()(EVP_MD_CTX* ctx) const { EVP_MD_CTX_free(ctx); }
};
struct CipherContextFree
{
    void operator()(EVP_CIPHER_CTX* ctx) const { EVP_CIPHER_CTX_free(ctx); }
};
using MdContext = std::unique_ptr<EVP_MD_CTX, MdContextFree>;
using CipherContext = std::unique_ptr<EVP_CIPHER_CTX, CipherContextFree>;

const unsigned char* bytesOf(const QByteArray& data)
{
    return reinterpret_cast<const unsigned char*>(data.constData());
}

} // namespace

int hashBytes(EHash hash)
{
    switch (hash) {
    case EHash::Md5: return 16;
    case EHash::Sha1: return 20;
    case EHash::Sha256: return 32;
    case EHash::Sha384: return 48;
    case EHash::Sha512: return 64;
    }
    return 0;
}

QByteArray digest(EHash hash, const QByteArray& first, const QByteArray& second)
{
    const EVP_MD* md = mdOf(hash);
    MdContext ctx(EVP_MD_CTX_new());
    QByteArray out(hashBytes(hash), Qt::Uninitialized);
    unsigned int length = 0;
    if (!md || !ctx || !EVP_DigestInit_ex(ctx.get(), md, nullptr) ||
        !EVP_DigestUpdate(ctx.get(), first.constData(), size_t(first.size())) ||
        !EVP_DigestUpdate(ctx.get(), second.constData(), size_t(second.size())) ||
        !EVP_DigestFinal_ex(ctx.get(), reinterpret_cast<unsigned char*>(out.data()), &length) ||
        int(length) != out.size())
        return QByteArray();
    return out;
}

bool iterate(EHash hash, QByteArray& h, quint32 count)
{
    const EVP_MD* md = mdOf(hash);
    MdContext ctx(EVP_MD_CTX_new());
    if (!md || !ctx || h.size() != hashBytes(hash))
        return false;
    // The iterator and the hash in one buffer, hashed in one update: the count may be ten million.
    unsigned char buffer[4 + 64];
    const size_t size = 4 + size_t(h.size());
    std::memcpy(buffer + 4, h.constData(), size_t(h.size()));
    for (quint32 i = 0; i < count; ++i) {
        qToLittleEndian<quint32>(i, buffer);
        unsigned int length = 0;
        if (!EVP_DigestInit_ex(ctx.get(), md, nullptr) || !EVP_DigestUpdate(ctx.get(), buffer, size) ||
            !EVP_DigestFinal_ex(ctx.get(), buffer + 4, &length))
            return false;
    }
    std::memcpy(h.data(), buffer + 4, size_t(h.size()));
    return true;
}

bool aesDecrypt(EChaining chaining, const QByteArray& key, const QByteArray& iv, const char* in, qint64 size, char* out,
                QString& error)
{
    const int sizeIndex = key.size() == 16 ? 0 : key.size() == 24 ? 1 : key.size() == 32 ? 2 : -1;
    if (sizeIndex < 0) {
        error = QStringLiteral("an AES key of %1 bits").arg(key.size() * 8);
        return false;
    }
    if (size < 0 || size % 16 != 0 || (chaining == EChaining::Cbc && iv.size() != 16)) {
        error = QStringLiteral("AES data not in whole blocks");
        return false;
    }
    const EVP_CIPHER* cipher = algorithms().aes[(chaining == EChaining::Cbc ? 3 : 0) + sizeIndex];
    CipherContext ctx(EVP_CIPHER_CTX_new());
    if (!cipher || !ctx ||
        !EVP_DecryptInit_ex2(ctx.get(), cipher, bytesOf(key), chaining == EChaining::Cbc ? bytesOf(iv) : nullptr,
                             nullptr) ||
        !EVP_CIPHER_CTX_set_padding(ctx.get(), 0)) {
        error = QStringLiteral("AES is not available");
        return false;
    }
    // In steps an int can count, as EVP takes them.
    for (qint64 done = 0; done < size;) {
        const int step = int(std::min<qint64>(size - done, qint64(1) << 30));
        int written = 0;
        if (!EVP_DecryptUpdate(ctx.get(), reinterpret_cast<unsigned char*>(out + done), &written,
                               reinterpret_cast<const unsigned char*>(in + done), step) ||
            written != step) {
            error = QStringLiteral("AES decryption failed");
            return false;
        }
        done += step;
    }
    return true;
}

bool rc4Stream(const QByteArray& key, int size, unsigned char* out, QString& error)
{
    const EVP_CIPHER* cipher = legacyAlgorithms().rc4;
    if (!cipher) {
        error = QStringLiteral("RC4 is not available (OpenSSL's legacy provider is missing)");
        return false;
    }
    CipherContext ctx(EVP_CIPHER_CTX_new());
    std::fill(out, out + size, 0);
    int written = 0;
    if (!ctx || key.isEmpty() || !EVP_CipherInit_ex2(ctx.get(), cipher, nullptr, nullptr, 1, nullptr) ||
        !EVP_CIPHER_CTX_set_key_length(ctx.get(), key.size()) ||
        !EVP_CipherInit_ex2(ctx.get(), nullptr, bytesOf(key), nullptr, 1, nullptr) ||
        !EVP_CipherUpdate(ctx.get(), out, &written, out, size) || written != size) {
        error = QStringLiteral("RC4 failed");
        return false;
    }
    return true;
}

} // namespace WB::crypto
