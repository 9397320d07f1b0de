#include "hosttoolkit.h"

namespace DVK {

IvoprDockableWidget::IvoprDockableWidget(bool floatable, QString name, QWidget* parent, bool closable)
    : WB::IDockableWidget(parent)
    , m_floatable(floatable)
    , m_name(std::move(name))
    , m_closable(closable)
{
    setObjectName(m_name);
}

IvoprDockableWidget::~IvoprDockableWidget() = default;

QString IvoprDockableWidget::panelName() const
{
    return m_name;
}

bool IvoprDockableWidget::isFloatable() const
{
    return m_floatable;
}

bool IvoprDockableWidget::isClosable() const
{
    return m_closable;
}

void IvoprDockableWidget::setParam(const QString& param)
{
    m_param = param;
}

QString IvoprDockableWidget::param()
{
    return m_param;
}

void IvoprDockableWidget::switchSystem(int systemId, QString systemName)
{
    m_systemId = systemId;
    m_systemName = std::move(systemName);
}

int IvoprDockableWidget::systemId() const
{
    return m_systemId;
}

QString IvoprDockableWidget::systemName() const
{
    return m_systemName;
}

} // namespace DVK
