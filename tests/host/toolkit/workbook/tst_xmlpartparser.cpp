// The scanner against expat: the same events for well-formed parts however they are cut into
// pieces, and a refusal wherever expat refuses.
#include "xmlscanner.h"

#include "celltext.h"

#include <QtTest>

#include <expat.h>

#include <charconv>
#include <cstdlib>
#include <random>

namespace {

// Events as one string: "<name a=v>", "</name>", text merged between tags.
class CRecorder : public WB::CXmlScanner::IHandler
{
public:
    QByteArray events;
    bool scannedStart(const char* name, const char** attributes) override
    {
        events += '<';
        events += name;
        for (int i = 0; attributes[i]; i += 2)
            events += QByteArray(" ") + attributes[i] + "=" + attributes[i + 1];
        events += '>';
        return true;
    }
    bool scannedEnd(const char* name) override
    {
        events += QByteArray("</") + name + ">";
        return true;
    }
    bool scannedText(const char* text, int length) override
    {
        events.append(text, length);
        return true;
    }
};

bool expatEvents(const QByteArray& xml, QByteArray& events)
{
    CRecorder recorder;
    XML_Parser parser = XML_ParserCreate(nullptr);
    XML_SetUserData(parser, &recorder);
    XML_SetElementHandler(
        parser,
        [](void* r, const char* name, const char** attributes) {
            static_cast<CRecorder*>(r)->scannedStart(name, attributes);
        },
        [](void* r, const char* name) { static_cast<CRecorder*>(r)->scannedEnd(name); });
    XML_SetCharacterDataHandler(
        parser, [](void* r, const char* text, int length) { static_cast<CRecorder*>(r)->scannedText(text, length); });
    const bool ok = XML_Parse(parser, xml.constData(), xml.size(), 1) != XML_STATUS_ERROR;
    XML_ParserFree(parser);
    events = recorder.events;
    return ok;
}

// Feeds xml cut after each of the given positions.
bool scannerEvents(const QByteArray& xml, const std::vector<int>& cuts, QByteArray& events)
{
    CRecorder recorder;
    WB::CXmlScanner scanner(recorder);
    int from = 0;
    bool ok = true;
    for (const int cut : cuts) {
        ok = ok && scanner.feed(xml.constData() + from, cut - from, false);
        from = cut;
    }
    ok = ok && scanner.feed(xml.constData() + from, xml.size() - from, true);
    events = recorder.events;
    return ok;
}

} // namespace

class TestXmlScanner : public QObject
{
    Q_OBJECT
private slots:
    void agreesWithExpat_data();
    void agreesWithExpat();
    void keepsNumbersGeneralAlreadyShows();
};

void TestXmlScanner::agreesWithExpat_data()
{
    QTest::addColumn<QByteArray>("xml");
    QTest::newRow("declaration, BOM, namespaces, self-closing cells")
        << QByteArray("\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
                      "<x:worksheet xmlns:x=\"urn:m\"><x:sheetData><x:row r=\"1\"><x:c r=\"A1\" s=\"0\"/>"
                      "<x:c r='B1' t=\"s\"><x:v>12</x:v></x:c></x:row></x:sheetData></x:worksheet>");
    QTest::newRow("entities and character references in text and values")
        << QByteArray("<a v=\"&lt;&amp;&gt;&quot;&apos;&#65;&#x4E2D;&#x1F600;\">a &amp; b &#13;&#x9;&lt;c&gt;</a>");
    QTest::newRow("line ends and white space in values")
        << QByteArray("<a v=\"x\ty\r\nz\rw\n\">one\r\ntwo\rthree\n</a>\r\n");
    QTest::newRow("CDATA, comments and processing instructions")
        << QByteArray("<!-- c --><?pi data?><a><![CDATA[<b>&amp;]]]]><![CDATA[>\r\n]]><!-- in --><?p?>x</a><!--e-->");
    QTest::newRow("attributes in any order, white space around =")
        << QByteArray("<c  t = 's'\n r=\"A1\"   s=\"3\" ><v>1</v ></c>");
    QTest::newRow("multi-byte text") << QByteArray("<t>平安银行 ü €</t>");
    QTest::newRow("mismatched tag") << QByteArray("<a><b></a></b>");
    QTest::newRow("unclosed root") << QByteArray("<a><b/>");
    QTest::newRow("two roots") << QByteArray("<a/><b/>");
    QTest::newRow("text after the root") << QByteArray("<a/>x");
    QTest::newRow("undefined entity") << QByteArray("<a>&nbsp;</a>");
    QTest::newRow("reference to NUL") << QByteArray("<a>&#0;</a>");
    QTest::newRow("bare ampersand") << QByteArray("<a>a & b</a>");
    QTest::newRow("duplicate attribute") << QByteArray("<a x=\"1\" x=\"2\"/>");
    QTest::newRow("attributes without space") << QByteArray("<a x=\"1\"y=\"2\"/>");
    QTest::newRow("unquoted value") << QByteArray("<a x=1/>");
    QTest::newRow("< in a value") << QByteArray("<a x=\"<\"/>");
    QTest::newRow("control character") << QByteArray("<a>\x01</a>");
    QTest::newRow("NUL byte") << QByteArray("<a>x</a>\0", 9);
    QTest::newRow("invalid UTF-8") << QByteArray("<a>\xC3\x28</a>");
    QTest::newRow("overlong UTF-8") << QByteArray("<a>\xC0\xAF</a>");
    QTest::newRow("surrogate in UTF-8") << QByteArray("<a>\xED\xA0\x80</a>");
    QTest::newRow("]]> in text") << QByteArray("<a>]]></a>");
    QTest::newRow("-- in a comment") << QByteArray("<a><!-- a -- b --></a>");
    QTest::newRow("CDATA outside the root") << QByteArray("<![CDATA[x]]><a/>");
    QTest::newRow("declaration not at the start") << QByteArray(" <?xml version=\"1.0\"?><a/>");
    QTest::newRow("empty document") << QByteArray("");
    QTest::newRow("cut in a tag") << QByteArray("<a><b x=\"1");
    QTest::newRow("space after <") << QByteArray("<a>< b/></a>");
}

void TestXmlScanner::agreesWithExpat()
{
    QFETCH(QByteArray, xml);
    QByteArray expected;
    const bool expatOk = expatEvents(xml, expected);
    QByteArray events;
    QCOMPARE(scannerEvents(xml, {}, events), expatOk);
    if (expatOk)
        QCOMPARE(events, expected);
    // Every cut into two pieces, and every byte a piece of its own.
    for (int cut = 0; cut <= xml.size(); ++cut) {
        QCOMPARE(scannerEvents(xml, {cut}, events), expatOk);
        if (expatOk)
            QCOMPARE(events, expected);
    }
    std::vector<int> bytes;
    for (int i = 1; i < xml.size(); ++i)
        bytes.push_back(i);
    QCOMPARE(scannerEvents(xml, bytes, events), expatOk);
    if (expatOk)
        QCOMPARE(events, expected);
}

// A number taken as written must read exactly as the General format would show it.
void TestXmlScanner::keepsNumbersGeneralAlreadyShows()
{
    std::mt19937_64 random(7);
    const char* fixed[] = {
        "0",    "-0", "0.5", "600000", "0.0000000001",     "0.00000000001",     "123456789012345", "1234567890123456",
        "0.10", "1.", "01",  "-12.75", "99999999999999.9", "0.1234567890123456"};
    std::vector<std::string> texts(std::begin(fixed), std::end(fixed));
    for (int i = 0; i < 20000; ++i) {
        char buffer[64];
        const double value = std::ldexp(double(random() % 2000000) - 1000000, int(random() % 80) - 60);
        const auto res =
            std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, int(random() % 12));
        texts.emplace_back(buffer, res.ptr);
    }
    int kept = 0;
    for (const std::string& text : texts) {
        if (!WB::CCellText::isGeneralNumber(text.data(), int(text.size())))
            continue;
        ++kept;
        QCOMPARE(WB::CCellText::fromNumber(std::strtod(text.c_str(), nullptr)), QString::fromStdString(text));
    }
    QVERIFY(kept > 1000);
}

QTEST_MAIN(TestXmlScanner)
#include "tst_xmlscanner.moc"
