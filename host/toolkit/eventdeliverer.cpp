#include "hosttoolkit.h"

namespace WB {

CEventDeliverer::~CEventDeliverer() = default;

bool CEventDeliverer::handleEvent(int, int, int, QString, void*)
{
    return false;
}

bool deliverEvent(QWidget* from, int type, int id, int index, const QString& key, void* data)
{
    // Only the nearest receiver is asked; passing further up is that receiver's choice
    // (CBaseWidget passes on, a dialog ends the chain).
    for (QWidget* w = from; w; w = w->parentWidget()) {
        if (auto* receiver = dynamic_cast<CEventDeliverer*>(w))
            return receiver->handleEvent(type, id, index, key, data);
    }
    return false;
}

} // namespace WB
