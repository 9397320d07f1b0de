#pragma once

#include <QByteArray>
#include <QString>

// The hashes and ciphers of Office's document encryption, from OpenSSL's libcrypto. Nothing here
// knows a file format: the readers of encrypted workbooks build their keys on these.
namespace WB::crypto {

enum class EHash
{
    Md5,
    Sha1,
    Sha256,
    Sha384,
    Sha512
};

// The password Office encrypts with when none is given: what spreadsheet programs open without asking.
extern const char kDefaultPassword[];
// kDefaultPassword as the key derivations hash it: UTF-16LE, no terminator.
QByteArray defaultPasswordUtf16();
// value as 4 little-endian bytes, as the derivations append block numbers and counters.
QByteArray littleEndian32(quint32 value);

// The digest's length in bytes.
int hashBytes(EHash hash);
// The digest of the bytes given, one after another; empty when libcrypto fails.
QByteArray digest(EHash hash, const QByteArray& first, const QByteArray& second = QByteArray());
// The password hash's iterations: h becomes hash(i as 32-bit little-endian, h) for each i below
// count. False when libcrypto fails.
bool iterate(EHash hash, QByteArray& h, quint32 count);

enum class EChaining
{
    Ecb,
    Cbc
};

// Decrypts size bytes (a whole number of 16-byte blocks) with AES of the key's length, no
// padding; in and out may be the same buffer. False with error when the key or the sizes do not fit.
bool aesDecrypt(EChaining chaining, const QByteArray& key, const QByteArray& iv, const char* in, qint64 size, char* out,
                QString& error);

// Fills out with size bytes of the RC4 key stream of key (RC4 is in OpenSSL's legacy provider,
// loaded into a library context of our own). False with error when RC4 is not available.
bool rc4Stream(const QByteArray& key, int size, unsigned char* out, QString& error);

} // namespace WB::crypto
