#pragma once

#include "xmlscanner.h"

#include <QByteArray>
#include <QString>

#include <memory>

class QTextDecoder;

namespace WB {

// A streaming parse of one XML part through our scanner, the one XML path of the readers. UTF-8
// parts (what every writer makes) go straight in; a part in UTF-16 or declaring another encoding
// Qt knows is transcoded to UTF-8 piece by piece first, under the same limits; any other is
// refused. Subclasses see elements by their local name (prefixes dropped: spreadsheet parts use
// fixed namespaces) and stop the parse with fail(). Documents with a DTD, nesting past the depth
// cap or holding more elements than the element cap are refused: no spreadsheet part within the
// cell caps needs them, and parsing is what a bomb costs.
class CXmlPartParser : private CXmlScanner::IHandler
{
public:
    explicit CXmlPartParser(const QString& partName);
    ~CXmlPartParser() override;
    CXmlPartParser(const CXmlPartParser&) = delete;
    CXmlPartParser& operator=(const CXmlPartParser&) = delete;

    // Feeds the next piece of the part; last marks its end. False once the parse failed.
    bool feed(const char* data, int size, bool last);
    QString error() const { return m_error; }

    // The attribute's value by local name, or nullptr.
    static const char* attribute(const char** attributes, const char* localName);

protected:
    virtual void startElement(const char* localName, const char** attributes) = 0;
    virtual void endElement(const char* localName) = 0;
    virtual void characters(const char*, int) {}
    void fail(const QString& reason);
    const QString& partName() const { return m_partName; }

private:
    // Picks the part's encoding once its start shows it; false while it cannot yet.
    bool chooseEncoding(bool last);
    bool feedScanner(const char* data, qint64 size, bool last);
    bool start(const char* name, const char** attributes);
    bool end(const char* name);
    bool scannedStart(const char* name, const char** attributes) override { return start(name, attributes); }
    bool scannedEnd(const char* name) override { return end(name); }
    bool scannedText(const char* text, int length) override;

    bool m_decided = false;
    QByteArray m_head; // the part's first bytes while its encoding is undecided
    // Set for a part not in UTF-8: its pieces go through it to UTF-8.
    std::unique_ptr<QTextDecoder> m_decoder;
    QByteArray m_encoding;
    CXmlScanner m_scanner{*this};
    QString m_partName;
    QString m_error;
    int m_depth = 0;
    qint64 m_elements = 0;
};

// The part of an element or attribute name after its prefix.
const char* xmlLocalName(const char* name);

} // namespace WB
