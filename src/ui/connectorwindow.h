#pragma once

#include <memory>

class ConnectorModel;
class DesktopSession;
class QGuiApplication;
class QQmlEngine;
class QQuickWindow;
class SingleInstance;

// The connector's window: the Main type of the Tarvik.Connector module, shown over one model.
// Everything here runs on the main thread.

// Registers the bundled fonts, the dark control style and the QR image provider with `engine`.
// Call once per engine, before the window is created; the model must outlive the engine.
void prepareConnectorEngine(QQmlEngine &engine, ConnectorModel &model);

// Creates the window over `model` (not yet shown), with its desktop session as a child; null, with
// the QML errors printed, if it cannot.
std::unique_ptr<QQuickWindow> createConnectorWindow(QQmlEngine &engine, ConnectorModel &model);

// The session of a window made by createConnectorWindow.
DesktopSession &desktopSession(QQuickWindow &window);

// Opens the window (1080 × 780, centred) and runs the event loop until the session's Quit. Closing
// the window hides it; a later launch handed over by `instance` shows it again.
int runConnectorWindow(QGuiApplication &app, ConnectorModel &model, SingleInstance &instance);
