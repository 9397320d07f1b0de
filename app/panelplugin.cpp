#include "panelplugin.h"

#include "hosttoolkit.h"

#include <QCoreApplication>
#include <QFileInfo>

QString CPanelPlugin::defaultPath()
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("/libcreditdata.so");
}

bool CPanelPlugin::load(const QString& path)
{
    m_entry = nullptr;
    if (!QFileInfo::exists(path)) {
        m_error = QStringLiteral("The panel plug-in %1 does not exist.").arg(path);
        return false;
    }
    m_library.setFileName(path);
    if (!m_library.load()) {
        m_error = QStringLiteral("The panel plug-in %1 cannot be loaded: %2").arg(path, m_library.errorString());
        return false;
    }
    m_entry = reinterpret_cast<void*>(m_library.resolve(VOPR_PLUGIN_ENTRY_NAME));
    if (!m_entry) {
        m_error = QStringLiteral("The library %1 is not a panel plug-in: it has no entry point %2.")
                      .arg(path, QLatin1String(VOPR_PLUGIN_ENTRY_NAME));
        m_library.unload();
        return false;
    }
    return true;
}

QString CPanelPlugin::errorString() const
{
    return m_error;
}

DVK::IvoprDockableWidget* CPanelPlugin::createPanel(QWidget* parent) const
{
    if (!m_entry)
        return nullptr;
    return reinterpret_cast<DVK::CreateDockableWidgetFn>(m_entry)(parent);
}
