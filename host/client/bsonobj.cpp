#include "hostservice.h"

#include <boost/make_shared.hpp>

namespace bson {

BSONObj::BSONObj() = default;

BSONObj::BSONObj(std::string raw)
    : m_raw(boost::make_shared<const std::string>(std::move(raw)))
{
}

const std::string& BSONObj::raw() const
{
    static const std::string empty;
    return m_raw ? *m_raw : empty;
}

bool BSONObj::isEmpty() const
{
    return !m_raw || m_raw->empty();
}

} // namespace bson
