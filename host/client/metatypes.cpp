#include "metatypes.h"

#include "hostservice.h"

namespace rqservice {

int registerServiceMetaTypes()
{
    static const int id = [] {
        const int typeId = qRegisterMetaType<std::vector<IDataPtr>>("std::vector<rqservice::IDataPtr>");
        // Signals spelled with the full type still find it.
        qRegisterMetaType<std::vector<IDataPtr>>("std::vector<boost::shared_ptr<rqservice::IData>>");
        return typeId;
    }();
    return id;
}

namespace {
// Loading the host library registers the answer type before any plug-in can connect to it.
const int s_answerTypeId = registerServiceMetaTypes();
} // namespace

} // namespace rqservice
