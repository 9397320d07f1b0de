// GBK detection and conversion, and UTF-8 decoding against Qt's.
#include "hostservice.h"

#include <QtTest>

#include <cerrno>
#include <iconv.h>

namespace {

// "中文折算率，浦发银行" in both encodings, written out so the test needs no codec to build them.
const QByteArray kUtf8Chinese = QByteArray("\xE4\xB8\xAD\xE6\x96\x87\xE6\x8A\x98\xE7\xAE\x97\xE7\x8E\x87\xEF\xBC\x8C"
                                           "\xE6\xB5\xA6\xE5\x8F\x91\xE9\x93\xB6\xE8\xA1\x8C");
const QByteArray kGbkChinese =
    QByteArray("\xD6\xD0\xCE\xC4\xD5\xDB\xCB\xE3\xC2\xCA\xA3\xAC\xC6\xD6\xB7\xA2\xD2\xF8\xD0\xD0");

// GB18030 to UTF-8 by iconv itself, a broken sequence one U+FFFD and reading on at the next byte.
QByteArray iconvGb18030(iconv_t cd, const QByteArray& input)
{
    QByteArray out;
    QByteArray in = input;
    char* src = in.data();
    size_t srcLeft = size_t(in.size());
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    while (srcLeft > 0) {
        char buffer[256];
        char* dst = buffer;
        size_t dstLeft = sizeof buffer;
        const size_t r = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
        const int err = errno;
        out.append(buffer, int(dst - buffer));
        if (r == size_t(-1) && err != E2BIG) {
            out += "\xEF\xBF\xBD";
            ++src;
            --srcLeft;
            iconv(cd, nullptr, nullptr, nullptr, nullptr);
        }
    }
    return out;
}

} // namespace

class TestTextCodec : public QObject
{
    Q_OBJECT

private slots:
    void isGBKCode_data();
    void isGBKCode();
    void convert_data();
    void convert();
    void twoByteCodesAsIconv_data();
    void twoByteCodesAsIconv();
    void sToQs_data();
    void sToQs();
};

void TestTextCodec::isGBKCode_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<bool>("gbk");

    QTest::newRow("empty") << QByteArray() << false;
    QTest::newRow("utf8 chinese") << kUtf8Chinese << false;
    QTest::newRow("gbk csv line") << QByteArray("SH,600000,") + kGbkChinese + ",0.65\r\n" << true;
    QTest::newRow("utf8 bom then gbk bytes") << QByteArray("\xEF\xBB\xBF") + kGbkChinese << false;
    // C4 80 is U+0100 in UTF-8 and a GBK pair as well: valid UTF-8 wins.
    QTest::newRow("ambiguous valid in both") << QByteArray("\xC4\x80") << false;
    // One stray byte in UTF-8 text: UTF-8 breaks once, GBK pairs swallow the rest wrongly.
    QTest::newRow("utf8 with one broken byte") << kUtf8Chinese + QByteArray("\xFF") << false;
    QTest::newRow("gbk cut in the middle of a pair") << kGbkChinese + QByteArray("\xD6") << true;
    // FF is broken in both, once each: a tie goes to UTF-8.
    QTest::newRow("broken in both, tie") << QByteArray("abc\xFF") << false;
    // The corners of GBK's areas, GB2312's and the extensions' (lead 81-A0, trails 40-A0): a name
    // of such characters is GBK, though some of them are broken UTF-8 only once.
    for (const int lead : {0x81, 0xA0, 0xA1, 0xA8, 0xA9, 0xAA, 0xB0, 0xF7, 0xF8, 0xFE}) {
        for (const int trail : {0x40, 0x7E, 0x80, 0xA0, 0xA1, 0xFE})
            QTest::addRow("GBK %X%X", lead, trail) << QByteArray(1, char(lead)) + char(trail) << true;
    }
}

// Realistic UTF-8 Chinese is never taken for GBK; ties and ambiguous bytes go to UTF-8.
void TestTextCodec::isGBKCode()
{
    QFETCH(QByteArray, text);
    QTEST(utils::isGBKCode(text.toStdString()), "gbk");
}

void TestTextCodec::convert_data()
{
    QTest::addColumn<bool>("toGbk");
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<QByteArray>("expected");
    const auto add = [](const char* name, bool toGbk, const QByteArray& input, const QByteArray& expected) {
        QTest::newRow(name) << toGbk << input << expected;
    };
    const QByteArray fffd("\xEF\xBF\xBD"), emoji("\xF0\x9F\x98\x80");
    add("gbk line", false, "SZ,000858," + kGbkChinese + ",0.7\r\n", "SZ,000858," + kUtf8Chinese + ",0.7\r\n");
    add("FF between pairs", false, "\xD6\xD0\xFF\xCE\xC4", "\xE4\xB8\xAD" + fffd + "\xE6\x96\x87");
    add("cut pair at end", false, "\xD6\xD0\xD6", "\xE4\xB8\xAD" + fffd);
    // A lead byte followed by a byte that cannot follow it: only the lead is lost.
    add("bad trail keeps next byte", false, "\xD6\x20\x61", fffd + " a");
    add("outside GB2312", false, "\x81\x40\xFE\x4F", "\xE4\xB8\x82\xEF\xA8\xA9");
    add("four-byte GB18030", false, "\x81\x30\x81\x30", "\xC2\x80");
    add("to gbk", true, kUtf8Chinese, kGbkChinese);
    // An emoji has no GBK form: the whole text stays as it was.
    add("to gbk, no gbk form", true, kUtf8Chinese + emoji, kUtf8Chinese + emoji);
    add("to gbk, not utf8", true, kGbkChinese, kGbkChinese);
}

// Never fails: a broken GBK byte becomes U+FFFD and reading goes on with the next byte; text
// without a GBK form stays as it was.
void TestTextCodec::convert()
{
    QFETCH(bool, toGbk);
    QFETCH(QByteArray, input);
    std::string text = input.toStdString();
    toGbk ? utils::safeUtf82GbkOrigin(text) : utils::safeGbk2Utf8(text);
    QTEST(QByteArray::fromStdString(text), "expected");
}

void TestTextCodec::twoByteCodesAsIconv_data()
{
    QTest::addColumn<int>("lead");
    for (int lead = 0x81; lead <= 0xFE; ++lead)
        QTest::addRow("lead %X", lead) << lead;
}

// Every two-byte code of a lead (and every byte after it that is none) converts as iconv converts
// it, after 0 to 9 ASCII bytes (the boundaries of eight-byte steps) and before more text.
void TestTextCodec::twoByteCodesAsIconv()
{
    QFETCH(int, lead);
    iconv_t cd = iconv_open("UTF-8", "GB18030");
    if (cd == reinterpret_cast<iconv_t>(-1))
        QSKIP("no GB18030 module for iconv on this system");
    for (int trail = 0x20; trail <= 0xFF; ++trail) {
        for (int before = 0; before <= 9; ++before) {
            const QByteArray input = QByteArray(before, 'a') + char(lead) + char(trail) + "," + kGbkChinese;
            std::string text = input.toStdString();
            utils::safeGbk2Utf8(text);
            const QByteArray expected = iconvGb18030(cd, input);
            if (QByteArray::fromStdString(text) != expected) {
                iconv_close(cd);
                QFAIL(qPrintable(QStringLiteral("%1: %2, iconv %3")
                                     .arg(QString::fromLatin1(input.toHex(' ')),
                                          QString::fromLatin1(QByteArray::fromStdString(text).toHex(' ')),
                                          QString::fromLatin1(expected.toHex(' ')))));
            }
        }
    }
    iconv_close(cd);
}

void TestTextCodec::sToQs_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::newRow("empty") << QByteArray("");
    QTest::newRow("code") << QByteArray("600000");
    QTest::newRow("nul inside") << QByteArray("a\0b", 3);
    QTest::newRow("chinese") << kUtf8Chinese;
    QTest::newRow("two-byte") << QByteArray("\xC2\x80\x63\x61\x66\xC3\xA9\xDF\xBF");
    QTest::newRow("bom first") << "\xEF\xBB\xBF" + kUtf8Chinese;
    QTest::newRow("bom inside") << QByteArray("\x61\xEF\xBB\xBF\x62");
    QTest::newRow("outside the bmp") << QByteArray("x\xF0\x9F\x98\x80y");
    QTest::newRow("beyond unicode") << QByteArray("\xF4\x90\x80\x80");
    QTest::newRow("overlong two-byte") << QByteArray("\xC0\x80\x61");
    QTest::newRow("overlong three-byte") << QByteArray("\xE0\x9F\xBF");
    QTest::newRow("smallest three-byte") << QByteArray("\xE0\xA0\x80");
    QTest::newRow("surrogate") << QByteArray("\xED\xA0\x80");
    QTest::newRow("last before surrogates") << QByteArray("\xED\x9F\xBF");
    QTest::newRow("non-character FFFF") << QByteArray("\xEF\xBF\xBF");
    QTest::newRow("U+FFFD itself") << QByteArray("\xEF\xBF\xBD");
    QTest::newRow("cut at end") << kUtf8Chinese.left(4);
    QTest::newRow("stray continuation") << QByteArray("\x61\x80\x62");
    QTest::newRow("lead then ascii") << QByteArray("\xE4\x61\x62");
    QTest::newRow("gbk bytes") << kGbkChinese;
    QTest::newRow("256 bytes") << QByteArray(256, 'z');
    QTest::newRow("long chinese") << kUtf8Chinese.repeated(20);
}

// Every text converts exactly as the library's UTF-8 decoder does, replacements included.
void TestTextCodec::sToQs()
{
    QFETCH(QByteArray, text);
    const QString expected = QString::fromUtf8(text.constData(), text.size());
    const QString converted = WB::sToQs(text.toStdString());
    QCOMPARE(converted, expected);
    QCOMPARE(converted.isNull(), expected.isNull());
}

QTEST_GUILESS_MAIN(TestTextCodec)
#include "tst_textcodec.moc"
