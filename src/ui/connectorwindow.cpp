#include "ui/connectorwindow.h"

#include "app/connectormodel.h"
#include "app/singleinstance.h"
#include "ui/desktopsession.h"
#include "ui/pairingqrimageprovider.h"

#include <QFontDatabase>
#include <QGuiApplication>
#include <QIcon>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QQuickStyle>
#include <QQuickWindow>
#include <QScreen>

#include <array>

using namespace Qt::StringLiterals;

namespace {

constexpr auto kModuleImportPath = "qrc:/qt/qml"_L1;
constexpr auto kMainDocument = "qrc:/qt/qml/Tarvik/Connector/Main.qml"_L1;
constexpr auto kLogo = ":/qt/qml/Tarvik/Connector/TarvikLogo.png"_L1;
constexpr auto kFontFolder = ":/qt/qml/Tarvik/Connector/fonts/"_L1;
constexpr std::array kFontFiles{"MaterialIcons-Regular.ttf"_L1, "DejaVuSans.ttf"_L1, "DejaVuSans-Bold.ttf"_L1,
                                "DejaVuSansMono.ttf"_L1, "DejaVuSansMono-Bold.ttf"_L1};

void registerBundledFonts()
{
    static const bool registered = [] {
        for (QLatin1StringView file : kFontFiles) {
            if (QFontDatabase::addApplicationFont(kFontFolder + file) < 0)
                qWarning("Bundled font %s could not be loaded", file.data());
        }
        return true;
    }();
    Q_UNUSED(registered);
}

} // namespace

void prepareConnectorEngine(QQmlEngine &engine, ConnectorModel &model)
{
    registerBundledFonts();
    // The window draws its own dark controls; the Basic style follows no system theme.
    QQuickStyle::setStyle(u"Basic"_s);
    engine.addImportPath(kModuleImportPath);
    engine.addImageProvider(PairingQRImageProvider::kProviderId, new PairingQRImageProvider(model));
}

std::unique_ptr<QQuickWindow> createConnectorWindow(QQmlEngine &engine, ConnectorModel &model)
{
    QQmlComponent component(&engine, QUrl(kMainDocument));
    if (!component.isReady()) {
        qWarning().noquote() << component.errorString();
        return {};
    }
    auto session = std::make_unique<DesktopSession>(model);
    std::unique_ptr<QObject> object(component.createWithInitialProperties(
        {{u"model"_s, QVariant::fromValue(&model)}, {u"session"_s, QVariant::fromValue(session.get())}}));
    if (!object) {
        qWarning().noquote() << component.errorString();
        return {};
    }
    auto *window = qobject_cast<QQuickWindow *>(object.get());
    if (!window) {
        qWarning("The connector window's root is not a window");
        return {};
    }
    object.release();
    session->setParent(window);
    session.release()->attach(*window);
    return std::unique_ptr<QQuickWindow>(window);
}

DesktopSession &desktopSession(QQuickWindow &window)
{
    return *window.findChild<DesktopSession *>(QString(), Qt::FindDirectChildrenOnly);
}

int runConnectorWindow(QGuiApplication &app, ConnectorModel &model, SingleInstance &instance)
{
    QQmlEngine engine;
    prepareConnectorEngine(engine, model);
    std::unique_ptr<QQuickWindow> window = createConnectorWindow(engine, model);
    if (!window)
        return 1;
    // Only the session's Quit ends the process; a hidden window or a closed tray menu does not.
    QGuiApplication::setQuitOnLastWindowClosed(false);
    // Ties the window to the installed menu entry and its icon (the Wayland app id).
    QGuiApplication::setDesktopFileName(u"com.tarvik.djconnector"_s);
    QGuiApplication::setWindowIcon(QIcon(kLogo));
    DesktopSession &session = desktopSession(*window);
    QObject::connect(&session, &DesktopSession::quitRequested, &app, &QCoreApplication::quit);
    QObject::connect(&instance, &SingleInstance::showRequested, &session, &DesktopSession::showWindow);
    if (const QScreen *screen = window->screen()) {
        QRect frame(QPoint(), window->size());
        frame.moveCenter(screen->availableGeometry().center());
        window->setPosition(frame.topLeft());
    }
    window->show();
    return app.exec();
}
