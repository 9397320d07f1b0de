"""Encrypts workbooks the way Excel does when a workbook's structure is protected without a
password to open it: with the default password "VelvetSweatshop". Hashes from Python's hashlib,
ciphers from the openssl command line; the compound documents by a small writer of our own.

    encrypted_books.py PLAIN.xls PLAIN.xlsx OUTDIR [HOSTILE.xlsx...]

    encrypted_books.py --encrypt standard|agile PLAIN.xlsx OUT.xlsx [SPINCOUNT]

The second form encrypts one package with the default password (the hostile-file runner's
encrypted classes); agile with SPINCOUNT iterations declared, its verifier made without any, so
that a reader spends every iteration before it finds the password wrong.

The first writes into OUTDIR, from the plain .xls: xor.xls (XOR obfuscation), cryptoapi.xls
(RC4 with a CryptoAPI key, SHA-1), rc4_own.xls (RC4 with MD5, as this script writes it); from the
plain .xlsx: standard.xlsx (AES-128 ECB, SHA-1) and agile.xlsx (AES-256 CBC, SHA-512, 100,000
iterations).
Then the same kinds under another password (*_password.*), damaged or hostile headers
(bad_*.xls, bad_*.xlsx), and each HOSTILE.xlsx encrypted as it is (inner_NAME.xlsx), which must be
refused as the plain one is."""
import base64
import hashlib
import hmac
import os
import struct
import subprocess
import sys

from xlrd import compdoc

DEFAULT = "VelvetSweatshop"
END, FREE, NONE, FATSECT = 0xFFFFFFFE, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFD
MINI = 64


def openssl(cipher, key, data, iv=None, decrypt=False):
    args = ["openssl", "enc", "-" + cipher, "-K", key.hex(), "-nosalt", "-nopad"]
    if iv is not None:
        args += ["-iv", iv.hex()]
    if decrypt:
        args.append("-d")
    if cipher == "rc4":
        args += ["-provider", "legacy", "-provider", "default"]
    return subprocess.run(args, input=data, stdout=subprocess.PIPE, check=True).stdout


def rc4(key, size):
    return openssl("rc4", key, b"\0" * size)


# --- compound documents ------------------------------------------------------------------------
def cfb(streams):
    """A compound document of the streams given (name, bytes), small ones in the mini stream as the
    format requires, the directory entries chained as right siblings in order. Version 3 (512-byte
    sectors) while 109 FAT sectors cover it, else version 4 (4096-byte sectors)."""
    total = sum(len(data) for _, data in streams)
    sector = 512 if total < 6 << 20 else 4096
    ids = sector // 4
    sectors, fat = [], []

    def put(blob):
        if not blob:
            return END
        start, n = len(sectors), (len(blob) + sector - 1) // sector
        for i in range(n):
            sectors.append(blob[i * sector:(i + 1) * sector].ljust(sector, b"\0"))
            fat.append(start + i + 1 if i < n - 1 else END)
        return start

    mini, minifat, placed = b"", [], []
    for name, data in streams:
        if len(data) < 4096:
            start, n = len(mini) // MINI, (len(data) + MINI - 1) // MINI
            mini += data.ljust(n * MINI, b"\0")
            minifat += [start + i + 1 if i < n - 1 else END for i in range(n)]
            placed.append((name, data, start, True))
        else:
            placed.append((name, data, None, False))
    big = {name: put(data) for name, data, _, small in placed if not small}
    root_start = put(mini)
    minifat_bytes = struct.pack("<%dI" % len(minifat), *minifat)
    minifat_start = put(minifat_bytes) if minifat else END
    order = sorted(placed, key=lambda p: (len(p[0]), p[0].upper()))

    def entry(ename, kind, start, size, child=NONE, right=NONE):
        raw = ename.encode("utf-16-le")
        return (raw.ljust(64, b"\0") + struct.pack("<HBB", len(raw) + 2, kind, 1)
                + struct.pack("<III", NONE, right, child) + b"\0" * 36 + struct.pack("<III", start, size, 0))

    directory = entry("Root Entry", 5, root_start, len(mini), child=1 if order else NONE)
    for i, (name, data, start, small) in enumerate(order):
        right = i + 2 if i + 1 < len(order) else NONE
        directory += entry(name, 2, start if small else big[name], len(data), right=right)
    directory = directory.ljust((len(directory) + sector - 1) // sector * sector, b"\0")
    dir_sectors = len(directory) // sector
    dir_start = put(directory)
    # FAT sectors: enough to cover themselves as well.
    count = 1
    while (len(sectors) + count) > count * ids:
        count += 1
    assert count <= 109
    fat_start = len(sectors)
    fat += [FATSECT] * count
    fat += [FREE] * (count * ids - len(fat))
    for i in range(count):
        sectors.append(struct.pack("<%dI" % ids, *fat[i * ids:(i + 1) * ids]))
    header = (b"\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1" + b"\0" * 16
              + struct.pack("<HHHHH", 0x3E, 3 if sector == 512 else 4, 0xFFFE, 9 if sector == 512 else 12, 6)
              + b"\0" * 6
              + struct.pack("<IIIIIIIII", 0 if sector == 512 else dir_sectors, count, dir_start, 0, 4096,
                            minifat_start, (len(minifat_bytes) + sector - 1) // sector, END, 0)
              + struct.pack("<109I", *([fat_start + i for i in range(count)] + [FREE] * (109 - count))))
    return header.ljust(sector, b"\0") + b"".join(sectors)


def streams_of(path):
    data = open(path, "rb").read()
    doc = compdoc.CompDoc(data, logfile=open(os.devnull, "w"))
    return doc.get_named_stream("Workbook")


# --- BIFF8: records, FILEPASS ------------------------------------------------------------------
CLEAR = {0x0809, 0x002F, 0x0194, 0x0195, 0x00E1, 0x0196, 0x0138}


def records(stream):
    at = 0
    while at + 4 <= len(stream):
        kind, length = struct.unpack_from("<HH", stream, at)
        yield at, kind, length
        at += 4 + length


def with_filepass(stream, body):
    """The stream with a FILEPASS record after its first BOF, every stream position moved on."""
    first = struct.unpack_from("<H", stream, 2)[0] + 4
    record = struct.pack("<HH", 0x002F, len(body)) + body
    shift = len(record)
    out = bytearray(stream[:first] + record + stream[first:])
    for at, kind, length in records(bytes(out)):
        p = at + 4
        if kind == 0x0085:  # BOUNDSHEET: where the sheet starts
            struct.pack_into("<I", out, p, struct.unpack_from("<I", out, p)[0] + shift)
        elif kind == 0x020B and length >= 16:  # INDEX: its DEFCOLWIDTH and DBCELL positions
            for q in range(p + 12, p + length, 4):
                value = struct.unpack_from("<I", out, q)[0]
                if value:
                    struct.pack_into("<I", out, q, value + shift)
        elif kind == 0x00FF and length >= 2:  # EXTSST: where the buckets start
            for q in range(p + 2, p + length - 7, 8):
                struct.pack_into("<I", out, q, struct.unpack_from("<I", out, q)[0] + shift)
    return out


def encrypt_records(out, transform):
    """Applies transform(position, record start, record length) to each encrypted byte."""
    started = False
    for at, kind, length in records(bytes(out)):
        if kind == 0x002F:
            started = True
            continue
        if not started or kind in CLEAR:
            continue
        start = at + 4
        first = start + 4 if kind == 0x0085 else start
        for p in range(first, start + length):
            out[p] = transform(p, start, length, out[p])
    return bytes(out)


# XOR obfuscation, method 1.
INITIAL = [0xE1F0, 0x1D0F, 0xCC9C, 0x84C0, 0x110C, 0x0E10, 0xF1CE, 0x313E, 0x1872, 0xE139, 0xD40F,
           0x84F9, 0x280C, 0xA96A, 0x4EC3]
MATRIX = [0xAEFC, 0x4DD9, 0x9BB2, 0x2745, 0x4E8A, 0x9D14, 0x2A09, 0x7B61, 0xF6C2, 0xFDA5, 0xEB6B,
          0xC6F7, 0x9DCF, 0x2BBF, 0x4563, 0x8AC6, 0x05AD, 0x0B5A, 0x16B4, 0x2D68, 0x5AD0, 0x0375,
          0x06EA, 0x0DD4, 0x1BA8, 0x3750, 0x6EA0, 0xDD40, 0xD849, 0xA0B3, 0x5147, 0xA28E, 0x553D,
          0xAA7A, 0x44D5, 0x6F45, 0xDE8A, 0xAD35, 0x4A4B, 0x9496, 0x390D, 0x721A, 0xEB23, 0xC667,
          0x9CEF, 0x29FF, 0x53FE, 0xA7FC, 0x5FD9, 0x47D3, 0x8FA6, 0x0F6D, 0x1EDA, 0x3DB4, 0x7B68,
          0xF6D0, 0xB861, 0x60E3, 0xC1C6, 0x93AD, 0x377B, 0x6EF6, 0xDDEC, 0x45A0, 0x8B40, 0x06A1,
          0x0D42, 0x1A84, 0x3508, 0x6A10, 0xAA51, 0x4483, 0x8906, 0x022D, 0x045A, 0x08B4, 0x1168,
          0x76B4, 0xED68, 0xCAF1, 0x85C3, 0x1BA7, 0x374E, 0x6E9C, 0x3730, 0x6E60, 0xDCC0, 0xA9A1,
          0x4363, 0x86C6, 0x1DAD, 0x3331, 0x6662, 0xCCC4, 0x89A9, 0x0373, 0x06E6, 0x0DCC, 0x1021,
          0x2042, 0x4084, 0x8108, 0x1231, 0x2462, 0x48C4]
PAD = [0xBB, 0xFF, 0xFF, 0xBA, 0xFF, 0xFF, 0xB9, 0x80, 0x00, 0xBE, 0x0F, 0x00, 0xBF, 0x0F, 0x00]


def xor_key(pw):
    key, element = INITIAL[len(pw) - 1], 0x68
    for c in reversed(pw):
        for _ in range(7):
            if c & 0x40:
                key ^= MATRIX[element]
            c = (c << 1) & 0xFF
            element -= 1
    return key


def xor_verifier(pw):
    v = 0
    for b in reversed(bytes([len(pw)]) + pw):
        v = ((((v << 1) & 0x7FFF) | (1 if v & 0x4000 else 0)) ^ b)
    return v ^ 0xCE4B


def xor_array(pw, key):
    def ror(b, k):
        v = b ^ k
        return ((v >> 1) | (v << 7)) & 0xFF
    high, low, out, i = key >> 8, key & 0xFF, [0] * 16, len(pw)
    if i % 2 == 1:
        out[i] = ror(PAD[0], high)
        i -= 1
        out[i] = ror(pw[-1], low)
    while i > 0:
        i -= 1
        out[i] = ror(pw[i], high)
        i -= 1
        out[i] = ror(pw[i], low)
    i, pad = 15, 15 - len(pw)
    while pad > 0:
        out[i] = ror(PAD[pad], high)
        i -= 1
        pad -= 1
        out[i] = ror(PAD[pad], low)
        i -= 1
        pad -= 1
    return out


def xor_book(stream, password, verifier=None):
    pw = password.encode("ascii")
    key = xor_key(pw)
    array = xor_array(pw, key)
    out = with_filepass(stream, struct.pack("<HHH", 0, key, xor_verifier(pw) if verifier is None else verifier))

    def transform(p, start, length, b):
        v = ((b << 5) | (b >> 3)) & 0xFF
        return v ^ array[(p + length) % 16]
    return encrypt_records(out, transform)


def rc4_book(stream, header, block_key):
    """RC4 over the record bodies by stream position, a key for each 1024-byte block."""
    out = with_filepass(stream, header)
    cache = {}

    def transform(p, start, length, b):
        block = p // 1024
        if block not in cache:
            cache.clear()
            cache[block] = rc4(block_key(block), 1024)
        return b ^ cache[block][p % 1024]
    return encrypt_records(out, transform)


def utf16(password):
    return password.encode("utf-16-le")


def rc4_md5_book(stream, password, salt=bytes(range(16))):
    h0 = hashlib.md5(utf16(password)).digest()[:5]
    base = hashlib.md5((h0 + salt) * 16).digest()[:5]

    def block_key(block):
        return hashlib.md5(base + struct.pack("<I", block)).digest()
    verifier = b"RatesVerifier!!!"
    stream0 = rc4(block_key(0), 32)
    encrypted = bytes(a ^ b for a, b in zip(verifier + hashlib.md5(verifier).digest(), stream0))
    header = struct.pack("<HHH", 1, 1, 1) + salt + encrypted
    return rc4_book(stream, header, block_key)


def cryptoapi_book(stream, password, salt=bytes(range(16, 32)), key_bits=128, pad40=True):
    base = hashlib.sha1(salt + utf16(password)).digest()

    def block_key(block):
        key = hashlib.sha1(base + struct.pack("<I", block)).digest()[:key_bits // 8]
        return key + b"\0" * (16 - len(key)) if key_bits == 40 and pad40 else key
    verifier = b"CryptoAPIVerify!"
    stream0 = rc4(block_key(0), 36)
    encrypted = bytes(a ^ b for a, b in zip(verifier + hashlib.sha1(verifier).digest(), stream0))
    csp = "Microsoft Enhanced Cryptographic Provider v1.0\0".encode("utf-16-le")
    header = struct.pack("<IIIIIIII", 0x04, 0, 0x6801, 0x8004, key_bits, 1, 0, 0) + csp
    info = struct.pack("<HHI", 4, 2, 0x04) + struct.pack("<I", len(header)) + header
    info += struct.pack("<I", 16) + salt + encrypted[:16] + struct.pack("<I", 20) + encrypted[16:]
    return rc4_book(stream, struct.pack("<H", 1) + info, block_key)


# --- ECMA-376 encrypted packages ---------------------------------------------------------------
def standard_key(password, salt, key_bits=128):
    h = hashlib.sha1(salt + utf16(password)).digest()
    for i in range(50000):
        h = hashlib.sha1(struct.pack("<I", i) + h).digest()
    h = hashlib.sha1(h + struct.pack("<I", 0)).digest()
    x1 = hashlib.sha1(bytes(b ^ 0x36 for b in h) + b"\x36" * 44).digest()
    x2 = hashlib.sha1(bytes(b ^ 0x5C for b in h) + b"\x5C" * 44).digest()
    return (x1 + x2)[:key_bits // 8]


def ecb(key, data):
    return openssl("aes-%d-ecb" % (len(key) * 8), key, data)


def cbc(key, iv, data):
    return openssl("aes-%d-cbc" % (len(key) * 8), key, data, iv)


def pad16(data):
    return data + b"\0" * (-len(data) % 16)


def standard_package(package, password, salt=bytes(range(32, 48)), header_size=None, declared=None):
    key = standard_key(password, salt)
    verifier = b"StandardVerify!!"
    encrypted_verifier = ecb(key, verifier)
    encrypted_hash = ecb(key, pad16(hashlib.sha1(verifier).digest()))
    csp = "Microsoft Enhanced RSA and AES Cryptographic Provider\0".encode("utf-16-le")
    header = struct.pack("<IIIIIIII", 0x24, 0, 0x660E, 0x8004, 128, 0x18, 0, 0) + csp
    info = struct.pack("<HHI", 4, 2, 0x24) + struct.pack("<I", header_size or len(header)) + header
    info += struct.pack("<I", 16) + salt + encrypted_verifier + struct.pack("<I", 20) + encrypted_hash
    body = ecb(key, pad16(package).ljust((len(package) + 4095) // 4096 * 4096, b"\0"))
    stream = struct.pack("<Q", len(package) if declared is None else declared) + body
    return cfb([("EncryptionInfo", info), ("EncryptedPackage", stream)])


def agile_hash(password, salt, spin):
    h = hashlib.sha512(salt + utf16(password)).digest()
    for i in range(spin):
        h = hashlib.sha512(struct.pack("<I", i) + h).digest()
    return h


def agile_package(package, password, spin=100000, key_bits=256, xml_edit=None, declared=None, cut=None,
                  iterations=None):
    key_salt, pw_salt = bytes(range(48, 64)), bytes(range(64, 80))
    secret = bytes(range(100, 100 + key_bits // 8))
    h = agile_hash(password, pw_salt, spin if iterations is None else iterations)

    def block(value):
        return hashlib.sha512(h + bytes.fromhex(value)).digest()[:key_bits // 8]
    verifier = b"AgileVerifierIn!"
    enc_input = cbc(block("fea7d2763b4b9e79"), pw_salt, verifier)
    enc_value = cbc(block("d7aa0f6d3061344e"), pw_salt, hashlib.sha512(verifier).digest())
    enc_key = cbc(block("146e0be7abacd0d6"), pw_salt, secret)
    body = b""
    for i in range(0, len(package), 4096):
        segment = pad16(package[i:i + 4096])
        iv = hashlib.sha512(key_salt + struct.pack("<I", i // 4096)).digest()[:16]
        body += cbc(secret, iv, segment)
    # The package's integrity: an HMAC of the encrypted stream, its key and value encrypted.
    hmac_salt = bytes(range(128, 192))
    stream = struct.pack("<Q", len(package) if declared is None else declared) + body
    hmac_value = hmac.new(hmac_salt, stream, hashlib.sha512).digest()
    enc_hmac_key = cbc(secret, hashlib.sha512(key_salt + bytes.fromhex("5fb2ad010cb9e1f6")).digest()[:16], hmac_salt)
    enc_hmac_value = cbc(secret, hashlib.sha512(key_salt + bytes.fromhex("a0677f02b22c8433")).digest()[:16], hmac_value)
    b64 = lambda b: base64.b64encode(b).decode()
    params = 'blockSize="16" keyBits="%d" hashSize="64" cipherAlgorithm="AES" cipherChaining="ChainingModeCBC" ' \
             'hashAlgorithm="SHA512"' % key_bits
    xml = ('<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\r\n'
           '<encryption xmlns="http://schemas.microsoft.com/office/2006/encryption" '
           'xmlns:p="http://schemas.microsoft.com/office/2006/keyEncryptor/password">'
           '<keyData saltSize="16" %s saltValue="%s"/>'
           '<dataIntegrity encryptedHmacKey="%s" encryptedHmacValue="%s"/>'
           '<keyEncryptors><keyEncryptor uri="http://schemas.microsoft.com/office/2006/keyEncryptor/password">'
           '<p:encryptedKey spinCount="%d" saltSize="16" %s saltValue="%s" encryptedVerifierHashInput="%s" '
           'encryptedVerifierHashValue="%s" encryptedKeyValue="%s"/></keyEncryptor></keyEncryptors></encryption>'
           % (params, b64(key_salt), b64(enc_hmac_key), b64(enc_hmac_value), spin, params, b64(pw_salt), b64(enc_input), b64(enc_value), b64(enc_key)))
    if xml_edit:
        xml = xml_edit(xml)
    info = struct.pack("<HHI", 4, 4, 0x40) + xml.encode()
    if cut is not None:
        stream = stream[:cut]
    return cfb([("EncryptionInfo", info), ("EncryptedPackage", stream)])


def main():
    if sys.argv[1] == "--encrypt":
        kind, plain, target = sys.argv[2:5]
        package = open(plain, "rb").read()
        if kind == "standard":
            data = standard_package(package, DEFAULT)
        else:
            spin = int(sys.argv[5]) if len(sys.argv) > 5 else 100000
            data = agile_package(package, DEFAULT, spin=spin, iterations=0 if len(sys.argv) > 5 else None)
        with open(target, "wb") as f:
            f.write(data)
        return
    plain_xls, plain_xlsx, out = sys.argv[1:4]
    hostile = sys.argv[4:]
    os.makedirs(out, exist_ok=True)
    stream = streams_of(plain_xls)
    package = open(plain_xlsx, "rb").read()

    def write(name, data):
        with open(os.path.join(out, name), "wb") as f:
            f.write(data)

    write("xor.xls", cfb([("Workbook", xor_book(stream, DEFAULT))]))
    write("cryptoapi.xls", cfb([("Workbook", cryptoapi_book(stream, DEFAULT))]))
    write("rc4_own.xls", cfb([("Workbook", rc4_md5_book(stream, DEFAULT))]))
    write("standard.xlsx", standard_package(package, DEFAULT))
    write("agile.xlsx", agile_package(package, DEFAULT))

    write("xor_password.xls", cfb([("Workbook", xor_book(stream, "secret"))]))
    write("rc4_password.xls", cfb([("Workbook", rc4_md5_book(stream, "secret"))]))
    write("cryptoapi_password.xls", cfb([("Workbook", cryptoapi_book(stream, "secret"))]))
    write("standard_password.xlsx", standard_package(package, "secret"))
    write("agile_password.xlsx", agile_package(package, "secret"))

    # Damaged or hostile headers, each with the reason the readers give.
    cut = with_filepass(stream, struct.pack("<HHH", 1, 1, 1) + b"\0" * 10)
    write("bad_filepass_cut.xls", cfb([("Workbook", bytes(cut))]))
    write("bad_rc4_version.xls", cfb([("Workbook", bytes(with_filepass(stream, struct.pack("<HHH", 1, 9, 9) + b"\0" * 48)))]))
    write("bad_xor_verifier.xls", cfb([("Workbook", xor_book(stream, DEFAULT, verifier=0x1234))]))
    write("bad_method.xls", cfb([("Workbook", bytes(with_filepass(stream, struct.pack("<HHH", 7, 0, 0))))]))
    write("bad_standard_header.xlsx", standard_package(package, DEFAULT, header_size=0x7FFFFFF0))
    write("bad_package_size.xlsx", agile_package(package, DEFAULT, declared=1 << 62))
    write("bad_package_cut.xlsx", agile_package(package, DEFAULT, cut=len(package) // 2))
    write("bad_spin_count.xlsx", agile_package(package, DEFAULT, spin=10000001, iterations=0))
    write("bad_xml.xlsx", agile_package(package, DEFAULT, xml_edit=lambda x: x.replace("</keyEncryptors>", "")))
    write("bad_cipher.xlsx", agile_package(package, DEFAULT, xml_edit=lambda x: x.replace('"AES"', '"DES"')))
    for path in hostile:
        name = os.path.basename(path).replace("hostile_", "inner_")
        write(name, standard_package(open(path, "rb").read(), DEFAULT))
    write("bad_salt.xlsx", agile_package(package, DEFAULT, xml_edit=lambda x: x.replace('saltSize="16"', 'saltSize="99"', 1)))


if __name__ == "__main__":
    main()
