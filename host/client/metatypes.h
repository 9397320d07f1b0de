#pragma once
// Registers the types that service answers carry through queued signals.

namespace rqservice {

// Idempotent and thread-safe; returns the meta-type id of std::vector<rqservice::IDataPtr>.
int registerServiceMetaTypes();

} // namespace rqservice
