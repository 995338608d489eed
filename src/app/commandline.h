#pragma once

#include "core/djplatform.h"

#include <QString>
#include <QStringList>

#include <optional>

// What the connector was asked to do on its command line.
struct CommandLine
{
    enum class Action { run, showHelp, showVersion, installMapping, checkForUpdates, listDevices, fail };

    Action action = Action::run;
    bool headless = false;
    std::optional<DJPlatform> platform;
    // The usage text for showHelp, the reason for fail.
    QString text;

    static CommandLine parse(const QStringList &arguments);
};

// "Tarvik DJ Connector 1.0.6 (8)"
QString versionLine();
