#include "app/commandline.h"
#include "app/connectorenvironment.h"
#include "app/connectormodel.h"
#include "app/devicelisting.h"
#include "app/headlessconsole.h"
#include "app/shutdownsignals.h"
#include "app/singleinstance.h"
#include "core/activitylog.h"
#include "ui/connectorwindow.h"

#include <QApplication>
#include <QClipboard>
#include <QCoreApplication>
#include <QTextStream>

using namespace Qt::StringLiterals;

namespace {

QStringList argumentsOf(int argc, char *argv[])
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    return arguments;
}

// One action beside any connector that may already run: no listener, no MIDI port.
int runOnce(const CommandLine &commandLine, ConnectorEnvironment environment)
{
    QTextStream out(stdout);
    ConnectorModel model(environment, ConnectorModel::Activation::actionsOnly);
    if (commandLine.action == CommandLine::Action::listDevices) {
        // Reads the file only: the selection stays as it is, and a running connector keeps its own.
        const DJPlatform platform = commandLine.platform.value_or(model.selectedPlatform());
        for (const QString &line : deviceListing(storedPairedDevices(*environment.settings, platform)))
            out << line << Qt::endl;
        return 0;
    }
    if (commandLine.platform)
        model.choosePlatform(*commandLine.platform);

    if (commandLine.action == CommandLine::Action::installMapping) {
        const bool succeeded = model.installSelectedPlatformMapping();
        out << model.lastCommand() << Qt::endl;
        return succeeded ? 0 : 1;
    }

    QObject::connect(&model, &ConnectorModel::updateMessageChanged, &model,
                     [&] { out << model.updateMessage() << Qt::endl; });
    QObject::connect(&model, &ConnectorModel::downloadUpdateURLChanged, &model, [&] {
        if (!model.downloadUpdateURL().isEmpty())
            out << "Download: " << model.downloadUpdateURL().toString() << Qt::endl;
    });
    bool succeeded = false;
    QObject::connect(&model, &ConnectorModel::updateCheckFinished, &model, [&](bool ok) {
        succeeded = ok;
        QCoreApplication::quit();
    });
    model.checkForUpdates();
    QCoreApplication::exec();
    return succeeded ? 0 : 1;
}

int runHeadless(const CommandLine &commandLine, ConnectorEnvironment environment, SingleInstance &instance)
{
    environment.activityLog = std::make_shared<ActivityLog>(ActivityLog::defaultFilePath());
    if (commandLine.platform)
        ConnectorModel::persistSelectedPlatform(*environment.settings, *commandLine.platform);
    QTextStream out(stdout);
    out << versionLine() << " running without a window. Stop it with Ctrl+C." << Qt::endl;

    ShutdownSignals shutdownSignals;
    QObject::connect(&shutdownSignals, &ShutdownSignals::received, &shutdownSignals, &QCoreApplication::quit);
    ConnectorModel model(std::move(environment));
    HeadlessConsole console(model, stdout);
    QObject::connect(&instance, &SingleInstance::showRequested, &console, [&out] {
        out << "Another launch asked for the window; this connector runs without one." << Qt::endl;
    });
    return QCoreApplication::exec();
}

// The connector behind its window. Closing the window hides it; the session's Quit, like a signal,
// ends the event loop, and the model's release stops the connector.
int runWindow(QApplication &app, const CommandLine &commandLine, ConnectorEnvironment environment,
              SingleInstance &instance)
{
    if (commandLine.platform)
        ConnectorModel::persistSelectedPlatform(*environment.settings, *commandLine.platform);
    environment.copyToClipboard = [](const QString &text) { QGuiApplication::clipboard()->setText(text); };
    environment.activityLog = std::make_shared<ActivityLog>(ActivityLog::defaultFilePath());

    ShutdownSignals shutdownSignals;
    QObject::connect(&shutdownSignals, &ShutdownSignals::received, &shutdownSignals, &QCoreApplication::quit);
    ConnectorModel model(std::move(environment));
    return runConnectorWindow(app, model, instance);
}

// A connector of this user and settings file already runs: it was asked to show its window.
bool handedOverToRunningConnector(SingleInstance &instance)
{
    if (instance.claim() == SingleInstance::Claim::first)
        return false;
    QTextStream(stdout) << "Tarvik DJ Connector is already running." << Qt::endl;
    return true;
}

bool displayAvailable()
{
#ifdef Q_OS_MACOS
    return true;
#else
    return !qEnvironmentVariableIsEmpty("DISPLAY") || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
#endif
}

} // namespace

int main(int argc, char *argv[])
{
    const CommandLine commandLine = CommandLine::parse(argumentsOf(argc, argv));
    switch (commandLine.action) {
    case CommandLine::Action::fail:
        QTextStream(stderr) << commandLine.text << Qt::endl;
        return 2;
    case CommandLine::Action::showHelp:
        QTextStream(stdout) << commandLine.text;
        return 0;
    case CommandLine::Action::showVersion:
        QTextStream(stdout) << versionLine() << Qt::endl;
        return 0;
    default:
        break;
    }

    if (commandLine.action == CommandLine::Action::run && !commandLine.headless && displayAvailable()) {
        QApplication app(argc, argv);
        ConnectorEnvironment environment = ConnectorEnvironment::forSystem();
        SingleInstance instance(instanceSocketPath(environment.settings->fileName()));
        if (handedOverToRunningConnector(instance))
            return 0;
        return runWindow(app, commandLine, std::move(environment), instance);
    }

    QCoreApplication app(argc, argv);
    ConnectorEnvironment environment = ConnectorEnvironment::forSystem();
    // One-shot actions run beside a running connector; they open no listener.
    if (commandLine.action != CommandLine::Action::run)
        return runOnce(commandLine, std::move(environment));
    SingleInstance instance(instanceSocketPath(environment.settings->fileName()));
    if (handedOverToRunningConnector(instance))
        return 0;
    return runHeadless(commandLine, std::move(environment), instance);
}
