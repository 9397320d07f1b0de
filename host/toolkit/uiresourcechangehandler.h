#pragma once
// The registry of CUiResourceChangeHandler objects, shared by the handlers and CUiResource.

#include <vector>

namespace WB {

class CUiResourceChangeHandler;

namespace uiResourceHandlers {
void add(CUiResourceChangeHandler* handler);
void remove(CUiResourceChangeHandler* handler);
// Tells every registered handler; a handler destroyed by another's notification is skipped.
void notifyAll();
} // namespace uiResourceHandlers

} // namespace WB
