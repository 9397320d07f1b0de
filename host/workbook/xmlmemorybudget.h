#pragma once
// Expat's allocations for one parse, counted against the cap on an XML parser's memory: expat
// keeps every distinct name it meets, so a part of a million names would otherwise take it all.

#include <expat.h>

#include <cstddef>

namespace WB {

struct XmlMemoryBudget
{
    size_t used = 0;
    bool exceeded = false;
};

// The allocation functions to create a parser with; they charge the budget of the scope open on
// the calling thread (none: nothing is counted).
const XML_Memory_Handling_Suite* xmlBudgetedMemory();

// Charges expat's allocations on this thread to budget while it lives.
class CXmlBudgetScope
{
public:
    explicit CXmlBudgetScope(XmlMemoryBudget& budget);
    ~CXmlBudgetScope();
    CXmlBudgetScope(const CXmlBudgetScope&) = delete;
    CXmlBudgetScope& operator=(const CXmlBudgetScope&) = delete;

private:
    XmlMemoryBudget* m_previous;
};

} // namespace WB
