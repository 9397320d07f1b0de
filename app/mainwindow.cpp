#include "mainwindow.h"

#include "hosttoolkit.h"

#include <QAction>
#include <QCloseEvent>
#include <QDockWidget>
#include <QLabel>
#include <QMenuBar>
#include <QSettings>
#include <QStatusBar>

namespace {
const QStringList kSystems{QStringLiteral("融资融券"), QStringLiteral("转融通")};

QString paramKey(const DVK::IvoprDockableWidget* panel)
{
    return QStringLiteral("panels/%1/param").arg(panel->panelName());
}
} // namespace

CMainWindow::CMainWindow(QWidget* parent)
    : QMainWindow(parent)
{
    setObjectName(QStringLiteral("mainWindow"));
    setWindowTitle(QStringLiteral("交易运营客户端 - 融资融券"));
    resize(1100, 680);

    QMenu* systemMenu = menuBar()->addMenu(QStringLiteral("系统(&S)"));
    QAction* switchAction = systemMenu->addAction(QStringLiteral("切换系统"));
    switchAction->setObjectName(QStringLiteral("switchSystemAction"));
    switchAction->setShortcut(QKeySequence(QStringLiteral("Ctrl+Shift+S")));
    connect(switchAction, &QAction::triggered, this, &CMainWindow::switchSystem);
    systemMenu->addSeparator();
    QAction* quitAction = systemMenu->addAction(QStringLiteral("退出"));
    quitAction->setShortcut(QKeySequence::Quit);
    connect(quitAction, &QAction::triggered, this, &QWidget::close);

    // The client's other panels would sit here; the credit data panel takes the whole window.
    setDockNestingEnabled(true);
    statusBar()->showMessage(QStringLiteral("系统: %1").arg(kSystems.at(m_systemId)));
}

CMainWindow::~CMainWindow() = default;

void CMainWindow::dockPanel(DVK::IvoprDockableWidget* panel)
{
    m_dock = new QDockWidget(QStringLiteral("融资融券折算率"), this);
    m_dock->setObjectName(QStringLiteral("dock_") + panel->panelName());
    QDockWidget::DockWidgetFeatures features = QDockWidget::DockWidgetMovable;
    if (panel->isFloatable())
        features |= QDockWidget::DockWidgetFloatable;
    if (panel->isClosable())
        features |= QDockWidget::DockWidgetClosable;
    m_dock->setFeatures(features);
    panel->setParent(m_dock);
    m_dock->setWidget(panel);
    setCentralWidget(nullptr);
    addDockWidget(Qt::TopDockWidgetArea, m_dock);
    m_panel = panel;

    QSettings settings;
    panel->setParam(settings.value(paramKey(panel)).toString());
}

DVK::IvoprDockableWidget* CMainWindow::panel() const
{
    return m_panel;
}

void CMainWindow::switchSystem()
{
    if (!m_panel)
        return;
    m_panel->switchSystem(m_systemId, kSystems.at(m_systemId));
    statusBar()->showMessage(QStringLiteral("系统: %1").arg(kSystems.at(m_systemId)));
    m_systemId = (m_systemId + 1) % kSystems.size();
}

void CMainWindow::savePanelParam()
{
    if (!m_panel)
        return;
    QSettings settings;
    settings.setValue(paramKey(m_panel), m_panel->param());
}

void CMainWindow::closeEvent(QCloseEvent* event)
{
    savePanelParam();
    event->accept();
}
