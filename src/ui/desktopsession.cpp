#include "ui/desktopsession.h"

#include "app/connectormodel.h"

#include <QIcon>
#include <QMenu>
#include <QQuickWindow>
#include <QSystemTrayIcon>

using namespace Qt::StringLiterals;

DesktopSession::DesktopSession(ConnectorModel &model, QObject *parent)
    : QObject(parent)
    , m_model(model)
{
    connect(&model, &ConnectorModel::pairedDevicesChanged, this, &DesktopSession::devicesLoseControlChanged);
}

DesktopSession::~DesktopSession() = default;

void DesktopSession::attach(QQuickWindow &window)
{
    m_window = &window;
    window.installEventFilter(this);
    if (QSystemTrayIcon::isSystemTrayAvailable())
        createTrayIcon();
}

bool DesktopSession::devicesLoseControl() const
{
    return m_model.pairedDevices() > 0;
}

void DesktopSession::showWindow()
{
    if (!m_window)
        return;
    if (m_window->visibility() == QWindow::Minimized)
        m_window->showNormal();
    else
        m_window->show();
    m_window->raise();
    m_window->requestActivate();
}

void DesktopSession::keepRunning()
{
    setKeepRunningQuestionShown(false);
    if (m_window)
        m_window->hide();
}

void DesktopSession::requestQuit()
{
    if (!devicesLoseControl()) {
        quit();
        return;
    }
    showWindow();
    setQuitConfirmationShown(true);
}

void DesktopSession::cancelQuit()
{
    setQuitConfirmationShown(false);
}

void DesktopSession::quit()
{
    setKeepRunningQuestionShown(false);
    setQuitConfirmationShown(false);
    Q_EMIT quitRequested();
}

bool DesktopSession::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() != QEvent::Close || watched != m_window)
        return QObject::eventFilter(watched, event);
    // The window stays; only the question or the tray decides what closing means.
    event->ignore();
    if (m_trayIcon && m_trayIcon->isVisible())
        m_window->hide();
    else
        setKeepRunningQuestionShown(true);
    return true;
}

void DesktopSession::setKeepRunningQuestionShown(bool shown)
{
    if (m_keepRunningQuestionShown == shown)
        return;
    m_keepRunningQuestionShown = shown;
    Q_EMIT keepRunningQuestionShownChanged();
}

void DesktopSession::setQuitConfirmationShown(bool shown)
{
    if (m_quitConfirmationShown == shown)
        return;
    m_quitConfirmationShown = shown;
    Q_EMIT quitConfirmationShownChanged();
}

void DesktopSession::createTrayIcon()
{
    m_trayMenu = std::make_unique<QMenu>();
    connect(m_trayMenu->addAction(u"Show DJ Connector"_s), &QAction::triggered, this, &DesktopSession::showWindow);
    connect(m_trayMenu->addAction(u"Quit DJ Connector"_s), &QAction::triggered, this, &DesktopSession::requestQuit);

    m_trayIcon = std::make_unique<QSystemTrayIcon>(QIcon(u":/qt/qml/Tarvik/Connector/TarvikLogo.png"_s));
    m_trayIcon->setToolTip(m_model.productName());
    m_trayIcon->setContextMenu(m_trayMenu.get());
    connect(m_trayIcon.get(), &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::DoubleClick)
            showWindow();
    });
    m_trayIcon->show();
}
