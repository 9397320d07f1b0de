#pragma once

#include <QLibrary>
#include <QString>

class QWidget;
namespace DVK {
class IvoprDockableWidget;
}

// A panel plug-in loaded at run time, as the client loads its panels.
class CPanelPlugin
{
public:
    // The plug-in that is built beside the executable.
    static QString defaultPath();

    // Loads the library and resolves its entry point; false with errorString() set otherwise.
    bool load(const QString& path);
    QString errorString() const;
    // Builds a panel with the given parent; null when not loaded.
    DVK::IvoprDockableWidget* createPanel(QWidget* parent) const;

private:
    QLibrary m_library;
    QString m_error;
    void* m_entry = nullptr;
};
