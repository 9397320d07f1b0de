#include "zippackage.h"

#include <QFile>

#include <zip.h>

#include <vector>

namespace WB {

namespace {

constexpr int kChunk = 256 * 1024;

zip_int64_t locate(zip* archive, const QString& part)
{
    QString name = part;
    while (name.startsWith(QLatin1Char('/')))
        name.remove(0, 1);
    const QByteArray utf8 = name.toUtf8();
    zip_int64_t index = zip_name_locate(archive, utf8.constData(), 0);
    // Part names are case-insensitive in OOXML packages.
    if (index < 0)
        index = zip_name_locate(archive, utf8.constData(), ZIP_FL_NOCASE);
    return index;
}

} // namespace

CZipPackage::~CZipPackage()
{
    if (m_zip)
        zip_discard(m_zip);
}

bool CZipPackage::open(const QString& path)
{
    int code = 0;
    m_zip = zip_open(QFile::encodeName(path).constData(), ZIP_RDONLY | ZIP_CHECKCONS, &code);
    if (!m_zip) {
        zip_error_t error;
        zip_error_init_with_code(&error, code);
        m_error = QStringLiteral("zip: %1").arg(QString::fromUtf8(zip_error_strerror(&error)).toLower());
        zip_error_fini(&error);
        return false;
    }
    return true;
}

bool CZipPackage::contains(const QString& part) const
{
    return m_zip && locate(m_zip, part) >= 0;
}

bool CZipPackage::read(const QString& part, qint64 cap, const Sink& sink)
{
    const zip_int64_t index = m_zip ? locate(m_zip, part) : -1;
    if (index < 0) {
        m_error = QStringLiteral("xlsx: part %1 missing").arg(part);
        return false;
    }
    zip_file_t* file = zip_fopen_index(m_zip, zip_uint64_t(index), 0);
    if (!file) {
        m_error = QStringLiteral("zip: %1: %2").arg(part, QString::fromUtf8(zip_strerror(m_zip)).toLower());
        return false;
    }
    std::vector<char> buffer(kChunk);
    qint64 total = 0;
    bool ok = true;
    for (;;) {
        const zip_int64_t n = zip_fread(file, buffer.data(), buffer.size());
        if (n < 0) {
            m_error = QStringLiteral("zip: %1: %2").arg(part, QString::fromUtf8(zip_file_strerror(file)).toLower());
            ok = false;
            break;
        }
        total += n;
        if (total > cap) {
            m_error = QStringLiteral("xlsx: part %1 inflates past the %2 MiB cap").arg(part).arg(cap / (1024 * 1024));
            ok = false;
            break;
        }
        if (!sink(buffer.data(), int(n), n == 0)) {
            ok = false;
            break;
        }
        if (n == 0)
            break;
    }
    zip_fclose(file);
    return ok;
}

} // namespace WB
