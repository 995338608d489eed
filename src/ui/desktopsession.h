#pragma once

#include <QObject>
#include <QPointer>
#include <QQmlEngine>

#include <memory>

class ConnectorModel;
class QMenu;
class QQuickWindow;
class QSystemTrayIcon;
class QWindow;

// The window's life on the desktop. Closing the window hides it while the connector goes on serving
// paired phones: a DJ who closes it by mistake mid-event must not take their control away. Where the
// desktop has a system tray, its icon brings the window back or quits; where it has none, closing
// asks first. Quitting while devices would lose control asks for confirmation. Lives on the main
// thread; the window owns it.
class DesktopSession : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("The window's session is made with the window")
    Q_PROPERTY(bool keepRunningQuestionShown READ keepRunningQuestionShown NOTIFY keepRunningQuestionShownChanged)
    Q_PROPERTY(bool quitConfirmationShown READ quitConfirmationShown NOTIFY quitConfirmationShownChanged)
    Q_PROPERTY(bool devicesLoseControl READ devicesLoseControl NOTIFY devicesLoseControlChanged)

public:
    explicit DesktopSession(ConnectorModel &model, QObject *parent = nullptr);
    ~DesktopSession() override;

    // Takes over the window's close button and puts up the tray icon where the desktop has a tray.
    void attach(QQuickWindow &window);

    bool keepRunningQuestionShown() const { return m_keepRunningQuestionShown; }
    bool quitConfirmationShown() const { return m_quitConfirmationShown; }
    // Quitting now would take control away from devices.
    bool devicesLoseControl() const;

    // Shows, raises and activates the window, also from hidden or minimised.
    Q_INVOKABLE void showWindow();
    // Answers the close question: hide the window, keep the connector.
    Q_INVOKABLE void keepRunning();
    // Quits, after confirmation when devices would lose control.
    Q_INVOKABLE void requestQuit();
    Q_INVOKABLE void cancelQuit();
    // Quits without asking again.
    Q_INVOKABLE void quit();

Q_SIGNALS:
    void keepRunningQuestionShownChanged();
    void quitConfirmationShownChanged();
    void devicesLoseControlChanged();
    // The application should stop the connector and exit.
    void quitRequested();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void setKeepRunningQuestionShown(bool shown);
    void setQuitConfirmationShown(bool shown);
    void createTrayIcon();

    ConnectorModel &m_model;
    // A plain QWindow pointer: the window sends events to the filter while it is being destroyed.
    QPointer<QWindow> m_window;
    std::unique_ptr<QMenu> m_trayMenu;
    std::unique_ptr<QSystemTrayIcon> m_trayIcon;
    bool m_keepRunningQuestionShown = false;
    bool m_quitConfirmationShown = false;
};
