#include "xmlmemorybudget.h"

#include "inputcaps.h"

#include <cstdlib>

namespace WB {

namespace {

// The budget expat's allocations on this thread are charged to while we call into it.
thread_local XmlMemoryBudget* t_budget = nullptr;

struct alignas(std::max_align_t) Header
{
    size_t size;
    XmlMemoryBudget* budget;
};

bool charge(XmlMemoryBudget* budget, size_t more)
{
    if (!budget)
        return true;
    if (more > size_t(inputcaps::kMaxXmlParserBytes) - budget->used) {
        budget->exceeded = true;
        return false;
    }
    budget->used += more;
    return true;
}

void* budgetMalloc(size_t size)
{
    XmlMemoryBudget* budget = t_budget;
    if (!charge(budget, size))
        return nullptr;
    auto* header = static_cast<Header*>(std::malloc(sizeof(Header) + size));
    if (!header) {
        if (budget)
            budget->used -= size;
        return nullptr;
    }
    header->size = size;
    header->budget = budget;
    return header + 1;
}

void budgetFree(void* pointer)
{
    if (!pointer)
        return;
    Header* header = static_cast<Header*>(pointer) - 1;
    if (header->budget)
        header->budget->used -= header->size;
    std::free(header);
}

void* budgetRealloc(void* pointer, size_t size)
{
    if (!pointer)
        return budgetMalloc(size);
    Header* header = static_cast<Header*>(pointer) - 1;
    XmlMemoryBudget* budget = header->budget;
    const size_t old = header->size;
    if (size > old && !charge(budget, size - old))
        return nullptr;
    auto* moved = static_cast<Header*>(std::realloc(header, sizeof(Header) + size));
    if (!moved) {
        if (budget && size > old)
            budget->used -= size - old;
        return nullptr;
    }
    if (budget && size < old)
        budget->used -= old - size;
    moved->size = size;
    return moved + 1;
}

const XML_Memory_Handling_Suite kBudgetSuite = {budgetMalloc, budgetRealloc, budgetFree};

} // namespace

const XML_Memory_Handling_Suite* xmlBudgetedMemory()
{
    return &kBudgetSuite;
}

CXmlBudgetScope::CXmlBudgetScope(XmlMemoryBudget& budget)
    : m_previous(t_budget)
{
    t_budget = &budget;
}

CXmlBudgetScope::~CXmlBudgetScope()
{
    t_budget = m_previous;
}

} // namespace WB
