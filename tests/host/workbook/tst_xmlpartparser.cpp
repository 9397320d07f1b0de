// The readers' one XML path: expat in namespace mode under the readers' rules. Elements are
// matched by namespace, markup compatibility is applied, and what cannot be read as a spreadsheet
// program would read it is refused with its reason, however the part is cut into pieces.
#include "celltext.h"
#include "inputcaps.h"
#include "xmlpartparser.h"

#include <QTextCodec>
#include <QtTest>

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <random>

using WB::EXmlVocabulary;

namespace {

const QByteArray kMain = "http://schemas.openxmlformats.org/spreadsheetml/2006/main";
const QByteArray kStrict = "http://purl.oclc.org/ooxml/spreadsheetml/main";
const QByteArray kCompat = "http://schemas.openxmlformats.org/markup-compatibility/2006";
const QByteArray kPackage = "http://schemas.openxmlformats.org/package/2006/relationships";

// The elements a subclass is handed, as one string: "<name a=v>", "</name>", text; a namespaced
// attribute as "uri|local". <v> is text only, as the readers hold it; inside <strict> an element
// of another namespace is refused, inside <loose> skipped again.
class CRecorder : public WB::CXmlPartParser
{
public:
    using CXmlPartParser::CXmlPartParser;
    QByteArray events;

protected:
    void startElement(const char* name, const char** attributes) override
    {
        events += '<';
        events += name;
        for (int i = 0; attributes[i]; i += 2)
            events += ' ' + QByteArray(attributes[i]).replace('\x01', '|') + '=' + attributes[i + 1];
        events += '>';
        setTextOnly(isName(name, "v"));
        if (isName(name, "strict") || isName(name, "loose"))
            refuseForeignInside(isName(name, "strict"));
    }
    void endElement(const char* name) override
    {
        setTextOnly(false);
        events += "</" + QByteArray(name) + ">";
    }
    void characters(const char* text, int length) override { events.append(text, length); }
};

// The events, or "refused: " and the reason, feeding xml cut after each of the given positions.
QByteArray outcome(const QByteArray& xml, const std::vector<int>& cuts, EXmlVocabulary vocabulary)
{
    CRecorder recorder(QStringLiteral("part.xml"), vocabulary);
    int from = 0;
    bool ok = true;
    for (const int cut : cuts) {
        ok = ok && recorder.feed(xml.constData() + from, cut - from, false);
        from = cut;
    }
    ok = ok && recorder.feed(xml.constData() + from, xml.size() - from, true);
    return ok ? recorder.events : "refused: " + recorder.error().toUtf8();
}

QByteArray sheet(const QByteArray& declarations, const QByteArray& content)
{
    return "<worksheet xmlns=\"" + kMain + "\"" + declarations + ">" + content + "</worksheet>";
}

QByteArray inEncoding(const char* codec, const QByteArray& utf8, bool mark)
{
    QTextCodec* c = QTextCodec::codecForName(codec);
    const QByteArray bytes = c->fromUnicode(QString::fromUtf8(utf8));
    // Qt's UTF-16 codecs write a byte order mark of their own; keep it only when asked.
    const bool has = bytes.startsWith("\xFF\xFE") || bytes.startsWith("\xFE\xFF");
    return mark || !has ? bytes : bytes.mid(2);
}

} // namespace

class TestXmlPartParser : public QObject
{
    Q_OBJECT
private slots:
    void readsAsASpreadsheetProgramWould_data();
    void readsAsASpreadsheetProgramWould();
    void boundsWhatAPartMayCost_data();
    void boundsWhatAPartMayCost();
    void keepsNumbersGeneralAlreadyShows();
};

void TestXmlPartParser::readsAsASpreadsheetProgramWould_data()
{
    QTest::addColumn<QByteArray>("xml");
    QTest::addColumn<int>("vocabulary");
    QTest::addColumn<QByteArray>("expected"); // the events, or "refused: " and a part of the reason

    const auto add = [](const char* name, const QByteArray& xml, const QByteArray& expected,
                        EXmlVocabulary vocabulary = EXmlVocabulary::Spreadsheet) {
        QTest::newRow(name) << xml << int(vocabulary) << expected;
    };
    const QByteArray mc = " xmlns:mc=\"" + kCompat + "\"", other = " xmlns:o=\"urn:other\"";
    const QByteArray withMain = mc + " xmlns:s=\"" + kMain + "\"";
    const QByteArray cells = "<sheetData><row r=\"1\"><c r=\"A1\" t=\"s\"><v>12</v></c></row></sheetData>";
    const QByteArray cellEvents =
        "<worksheet><sheetData><row r=1><c r=A1 t=s><v>12</v></c></row></sheetData></worksheet>";
    add("declaration, byte order mark, default namespace",
        "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\r\n" + sheet("", cells), cellEvents);
    add("the main namespace by a prefix, and strict",
        "<x:worksheet xmlns:x=\"" + kStrict + "\"><x:sheetData/></x:worksheet>",
        "<worksheet><sheetData></sheetData></worksheet>");
    add("elements of another namespace skipped with what they hold",
        sheet(other, "<o:row><c r=\"A1\"/></o:row><row>a<o:v>9</o:v>b</row>"), "<worksheet><row>ab</row></worksheet>");
    add("an element of another namespace where the reader refuses it",
        sheet(other, "<strict><row><o:c/></row></strict>"),
        "refused: xml: an element <c> of another namespace at line 1 of part.xml");
    add("skipped again inside an element that allows it", sheet(other, "<strict><loose><o:c/></loose></strict>"),
        "<worksheet><strict><loose></loose></strict></worksheet>");
    add("an element in no namespace skipped", sheet("", "<row xmlns=\"\"><c/></row>"), "<worksheet></worksheet>");
    add("alternate content: of two understood choices, the first",
        sheet(withMain, "<mc:AlternateContent><mc:Choice Requires=\"s\"><row r=\"3\"/></mc:Choice><mc:Choice "
                        "Requires=\"s\"><row r=\"4\"/></mc:Choice></mc:AlternateContent>"),
        "<worksheet><row r=3></row></worksheet>");
    add("alternate content: nothing understood, no fallback",
        sheet(mc + " xmlns:x14=\"urn:x14\"",
              "<mc:AlternateContent><mc:Choice Requires=\"x14\"><row/></mc:Choice></mc:AlternateContent>"),
        "<worksheet></worksheet>");
    add("alternate content: a choice naming an undeclared prefix",
        sheet(mc, "<mc:AlternateContent><mc:Choice Requires=\"nope\"><row r=\"2\"/></mc:Choice>"
                  "<mc:Fallback><row r=\"1\"/></mc:Fallback></mc:AlternateContent>"),
        "refused: xml: mc:Requires names the undeclared prefix \"nope\"");
    add("alternate content: something else inside", sheet(mc, "<mc:AlternateContent><row/></mc:AlternateContent>"),
        "refused: xml: <row> inside mc:AlternateContent");
    add("alternate content: a choice after the fallback",
        sheet(withMain, "<mc:AlternateContent><mc:Fallback/><mc:Choice Requires=\"s\"/></mc:AlternateContent>"),
        "refused: xml: <Choice> inside mc:AlternateContent");
    add("a choice outside alternate content", sheet(mc, "<mc:Choice Requires=\"x\"/>"),
        "refused: xml: mc:Choice outside mc:AlternateContent");
    add("must understand what is read", sheet(withMain, "<row mc:MustUnderstand=\"s\"/>"),
        "<worksheet><row " + kCompat + "|MustUnderstand=s></row></worksheet>");
    add("content to process inside an ignored element",
        sheet(mc + other + " mc:Ignorable=\"o\" mc:ProcessContent=\"o:wrap\"", "<o:wrap><row/></o:wrap>"),
        "refused: xml: mc:ProcessContent at line 1 of part.xml is not read");
    add("an element inside a value", sheet(other, "<v>1<o:b>2</o:b>3</v>"),
        "refused: xml: an element <b> inside a text value");
    add("UTF-16, little-endian with its mark",
        inEncoding("UTF-16LE", "<?xml version=\"1.0\" encoding=\"UTF-16\"?>" + sheet("", cells), true), cellEvents);
    add("UTF-16, big-endian without a mark", inEncoding("UTF-16BE", sheet("", "<t>平安银行 €</t>"), false),
        "<worksheet><t>平安银行 €</t></worksheet>");
    for (const char* half : {"\x00\xD8", "\x00\xDC"})
        add(half[1] == '\xD8' ? "UTF-16 holding a high surrogate alone" : "UTF-16 holding a low surrogate alone",
            inEncoding("UTF-16LE", sheet("", "<t>X</t>"), true).replace(QByteArray("X\0", 2), QByteArray(half, 2)),
            "refused: xml: part.xml holds half a UTF-16 surrogate pair");
    add("a reference to half a surrogate pair", sheet("", "<t>&#xD800;</t>"),
        "refused: xml: reference to invalid character number");
    add("declared windows-1252", "<?xml version=\"1.0\" encoding=\"windows-1252\"?>" + sheet("", cells),
        "refused: xml: part.xml declares the encoding \"windows-1252\"; parts are read in UTF-8 or UTF-16 only");
    add("an 8-bit part declaring UTF-16", "<?xml version=\"1.0\" encoding=\"UTF-16\"?>" + sheet("", ""),
        "refused: xml: encoding specified in XML declaration is incorrect at line 1 of part.xml");
    add("Latin-1 bytes undeclared", sheet("", "<t>caf\xE9</t>"), "refused: xml: not well-formed (invalid token)");
    add("an undefined entity", sheet("", "<t>&nbsp;</t>"), "refused: xml: undefined entity");
    add("two roots", sheet("", "") + "<worksheet/>", "refused: xml: junk after document element");
    add("nothing", QByteArray(), "refused: xml: no element found");
    add("a root of no namespace", "<worksheet><sheetData/></worksheet>",
        "refused: xml: the root element <worksheet> of part.xml");
    add("a root of the other vocabulary", "<Relationships xmlns=\"" + kPackage + "\"/>",
        "refused: xml: the root element <Relationships> of part.xml");
    add("alternate content as the root", "<mc:AlternateContent" + mc + "/>",
        "refused: xml: the root element <AlternateContent> of part.xml");
    add("relationships",
        "<Relationships xmlns=\"" + kPackage + "\"><Relationship Id=\"rId1\" Target=\"a.xml\"/></Relationships>",
        "<Relationships><Relationship Id=rId1 Target=a.xml></Relationship></Relationships>",
        EXmlVocabulary::Relationships);
}

// The same events or the same refusal in one piece, cut anywhere in two, and a byte at a time.
void TestXmlPartParser::readsAsASpreadsheetProgramWould()
{
    QFETCH(QByteArray, xml);
    QFETCH(int, vocabulary);
    QFETCH(QByteArray, expected);
    const auto kind = EXmlVocabulary(vocabulary);

    const QByteArray whole = outcome(xml, {}, kind);
    QVERIFY2(expected.startsWith("refused: ") ? whole.startsWith(expected) : whole == expected, whole.constData());
    for (int cut = 0; cut <= xml.size(); ++cut)
        QCOMPARE(outcome(xml, {cut}, kind), whole);
    std::vector<int> bytes;
    for (int i = 1; i < xml.size(); ++i)
        bytes.push_back(i);
    QCOMPARE(outcome(xml, bytes, kind), whole);
}

void TestXmlPartParser::boundsWhatAPartMayCost_data()
{
    QTest::addColumn<QByteArray>("xml");
    QTest::addColumn<QByteArray>("expected"); // "read", or a part of the reason after "part.xml "

    const int cap = int(inputcaps::kMaxTokenBytes);
    const QByteArray open = "<worksheet xmlns=\"" + kMain + "\">";
    const auto add = [&open](const char* name, const QByteArray& inside, const char* expected) {
        QTest::newRow(name) << open + inside + "</worksheet>" << QByteArray(expected);
    };
    add("a tag just under the token cap", "<c a=\"" + QByteArray(cap - 16, 'x') + "\"/>", "read");
    add("a tag past the token cap", "<c a=\"" + QByteArray(cap, 'x') + "\"/>",
        "holds a tag, comment or instruction longer than 4 MiB");
    add("a value holding > past the token cap", "<c a=\"" + QByteArray(cap, '>') + "\"/>", "holds a tag");
    add("a comment holding > past the token cap", "<!--" + QByteArray(cap, '>') + "-->", "holds a tag");
    QTest::newRow("a UTF-16 tag past the token cap")
        << inEncoding("UTF-16LE", open + "<c a=\"" + QByteArray(cap / 2, 'x') + "\"/></worksheet>", true)
        << QByteArray("holds a tag");
    add("a long text is no token", "<t>" + QByteArray(2 * cap, 'x') + "</t>", "read");
    const QByteArray deep = QByteArray("<d>").repeated(inputcaps::kMaxDepth - 1);
    const QByteArray up = QByteArray("</d>").repeated(inputcaps::kMaxDepth - 1);
    add("nesting at the cap", deep + up, "read");
    add("nesting past the cap", deep + "<d/>" + up, "nests deeper than 256 elements");
    // expat keeps every distinct name to the end of a part.
    QByteArray names;
    for (int i = 0; i < 600000; ++i)
        names += "<n" + QByteArray::number(i) + "/>";
    add("distinct names past the parser's memory cap", names, "needs more than 32 MiB to parse");
}

// Whatever a part claims, what it may make the parser hold is bounded and said when passed.
void TestXmlPartParser::boundsWhatAPartMayCost()
{
    QFETCH(QByteArray, xml);
    QFETCH(QByteArray, expected);
    // In pieces of the size the zip reader hands over, and in odd ones.
    for (const int piece : {256 * 1024, 65537}) {
        std::vector<int> cuts;
        for (int at = piece; at < xml.size(); at += piece)
            cuts.push_back(at);
        const QByteArray got = outcome(xml, cuts, EXmlVocabulary::Spreadsheet);
        QVERIFY2(expected == "read" ? !got.startsWith("refused: ")
                                    : got.startsWith("refused: xml: part.xml " + expected),
                 got.left(200).constData());
    }
}

// A number taken as written must read exactly as the General format would show it, and any
// number shows its 15 significant digits.
void TestXmlPartParser::keepsNumbersGeneralAlreadyShows()
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
    // Any double shows its value rounded to 15 significant digits.
    for (int i = 0; i < 20000; ++i) {
        double value;
        const quint64 bits = random();
        std::memcpy(&value, &bits, sizeof value);
        if (!std::isfinite(value) || value == 0)
            continue;
        const double shown = WB::CCellText::fromNumber(value).toDouble();
        QCOMPARE(QString::number(shown, 'g', 15), QString::number(value, 'g', 15));
    }
}

QTEST_MAIN(TestXmlPartParser)
#include "tst_xmlpartparser.moc"
