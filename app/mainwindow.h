#pragma once

#include <QMainWindow>
#include <QPointer>

class QDockWidget;
namespace DVK {
class IvoprDockableWidget;
}

// The client's main window as far as the panel needs it: a dock for the panel, a menu to switch
// the trading system, and the panel's saved parameter string.
class CMainWindow : public QMainWindow
{
    Q_OBJECT
public:
    explicit CMainWindow(QWidget* parent = nullptr);
    ~CMainWindow() override;

    // Docks the panel (the window's dock becomes its parent) and hands it its saved parameters.
    void dockPanel(DVK::IvoprDockableWidget* panel);
    DVK::IvoprDockableWidget* panel() const;
    // Tells the panel the trading system changed (the panel refreshes).
    void switchSystem();
    // Saves the panel's parameter string for the next start.
    void savePanelParam();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    QDockWidget* m_dock = nullptr;
    QPointer<DVK::IvoprDockableWidget> m_panel;
    int m_systemId = 0;
};
