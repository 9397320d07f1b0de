#pragma once

#include "xmlscanner.h"

#include <QByteArray>
#include <QString>

struct XML_ParserStruct;

namespace WB {

// A streaming parse of one XML part: UTF-8 parts (what every writer makes) through our own
// scanner, parts declaring another encoding through expat. Subclasses see elements by their local name
// (prefixes dropped: spreadsheet parts use fixed namespaces) and stop the parse with fail().
// Documents with a DTD, nesting past kMaxDepth or more than kMaxElements elements are refused:
// no spreadsheet part within the cell caps needs them, and parsing is what a bomb costs.
class CXmlPartParser : private CXmlScanner::IHandler
{
public:
    static constexpr int kMaxDepth = 256;
    static constexpr qint64 kMaxElements = 5000000;

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
    enum class EBackend
    {
        Undecided,
        Scanner,
        Expat
    };

    // Picks the backend once the part's start shows its encoding; false while it cannot yet.
    bool chooseBackend(bool last);
    bool feedExpat(const char* data, int size, bool last);
    bool feedScanner(const char* data, int size, bool last);
    bool start(const char* name, const char** attributes);
    bool end(const char* name);
    bool scannedStart(const char* name, const char** attributes) override { return start(name, attributes); }
    bool scannedEnd(const char* name) override { return end(name); }
    bool scannedText(const char* text, int length) override;
    static void onStart(void* self, const char* name, const char** attributes);
    static void onEnd(void* self, const char* name);
    static void onCharacters(void* self, const char* text, int length);
    static void onDoctype(void* self, const char*, const char*, const char*, int);

    EBackend m_backend = EBackend::Undecided;
    QByteArray m_head; // the part's first bytes while the backend is undecided
    CXmlScanner m_scanner{*this};
    XML_ParserStruct* m_parser = nullptr;
    QString m_partName;
    QString m_error;
    int m_depth = 0;
    qint64 m_elements = 0;
};

// The part of an element or attribute name after its prefix.
const char* xmlLocalName(const char* name);

} // namespace WB
