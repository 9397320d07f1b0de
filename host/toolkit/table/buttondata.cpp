#include "hosttoolkit.h"

namespace WB {

ButtonData::ButtonData(int id, QString text, ENormalButtonType type, bool disabled, QMap<int, QString> texts)
    : id(id)
    , text(std::move(text))
    , type(type)
    , disabled(disabled)
    , texts(std::move(texts))
{
}

} // namespace WB
