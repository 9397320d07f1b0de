#include "uiresourcechangehandler.h"

#include "hosttoolkit.h"

#include <algorithm>

namespace WB {

namespace {
// Never freed: widgets may outlive static destruction at process exit and still unregister.
std::vector<CUiResourceChangeHandler*>& registry()
{
    static auto* handlers = new std::vector<CUiResourceChangeHandler*>;
    return *handlers;
}
} // namespace

namespace uiResourceHandlers {

void add(CUiResourceChangeHandler* handler)
{
    registry().push_back(handler);
}

void remove(CUiResourceChangeHandler* handler)
{
    auto& handlers = registry();
    handlers.erase(std::remove(handlers.begin(), handlers.end(), handler), handlers.end());
}

void notifyAll()
{
    const std::vector<CUiResourceChangeHandler*> snapshot = registry();
    for (CUiResourceChangeHandler* handler : snapshot) {
        const auto& current = registry();
        if (std::find(current.begin(), current.end(), handler) != current.end())
            handler->onUiResourceChanged();
    }
}

} // namespace uiResourceHandlers

CUiResourceChangeHandler::CUiResourceChangeHandler()
{
    uiResourceHandlers::add(this);
}

CUiResourceChangeHandler::~CUiResourceChangeHandler()
{
    uiResourceHandlers::remove(this);
}

void CUiResourceChangeHandler::onUiResourceChanged() {}

} // namespace WB
