#include "app/commandline.h"

#include "core/connectorconstants.h"

#include <QCommandLineParser>

using namespace Qt::StringLiterals;

namespace {

constexpr auto kProgramName = "tarvik-dj-connector"_L1;

// QCommandLineParser names the running file (or a placeholder before the application exists); the
// help names the program as it is installed.
QString helpNamingProgram(const QString &helpText)
{
    const qsizetype nameEnd = helpText.indexOf(u" [options]"_s);
    if (nameEnd < 0)
        return helpText;
    return u"Usage: "_s + kProgramName + helpText.mid(nameEnd);
}

} // namespace

QString versionLine()
{
    return ConnectorConstants::productName() + u' ' + ConnectorConstants::version() + u" ("_s
           + ConnectorConstants::build() + u')';
}

CommandLine CommandLine::parse(const QStringList &arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(
        u"Lets Tarvik DJ Remote drive Serato DJ Pro or VirtualDJ over the private network."_s);
    const QCommandLineOption help({u"h"_s, u"help"_s}, u"Show this help and exit."_s);
    const QCommandLineOption version(u"version"_s, u"Show the version and exit."_s);
    const QCommandLineOption headless(u"headless"_s,
                                      u"Run without a window, printing what the window would show."_s);
    const QCommandLineOption platform(u"platform"_s, u"Choose the DJ software mode (persisted)."_s,
                                      u"serato|virtualDJ"_s);
    const QCommandLineOption installMapping(
        u"install-mapping"_s,
        u"Install the selected DJ software's preset or mapping, print the outcome and exit."_s);
    const QCommandLineOption checkForUpdates(u"check-for-updates"_s,
                                             u"Check for a newer version, print the outcome and exit."_s);
    const QCommandLineOption devices(
        u"devices"_s, u"Print one line per device paired with the selected DJ software mode and exit."_s);
    parser.addOptions({help, version, headless, platform, installMapping, checkForUpdates, devices});

    CommandLine commandLine;
    if (!parser.parse(arguments)) {
        commandLine.action = Action::fail;
        commandLine.text = parser.errorText();
        return commandLine;
    }
    if (!parser.positionalArguments().isEmpty()) {
        commandLine.action = Action::fail;
        commandLine.text = u"Unexpected argument: "_s + parser.positionalArguments().constFirst();
        return commandLine;
    }
    if (parser.isSet(help)) {
        commandLine.action = Action::showHelp;
        commandLine.text = helpNamingProgram(parser.helpText());
        return commandLine;
    }
    if (parser.isSet(version)) {
        commandLine.action = Action::showVersion;
        return commandLine;
    }
    if (parser.isSet(platform)) {
        commandLine.platform = djPlatformFromRawValue(parser.value(platform));
        if (!commandLine.platform) {
            commandLine.action = Action::fail;
            commandLine.text =
                u"Unknown platform \""_s + parser.value(platform) + u"\": use serato or virtualDJ."_s;
            return commandLine;
        }
    }
    if (parser.isSet(installMapping) && parser.isSet(checkForUpdates)) {
        commandLine.action = Action::fail;
        commandLine.text = u"Choose one of --install-mapping and --check-for-updates."_s;
        return commandLine;
    }
    if (parser.isSet(devices) && (parser.isSet(installMapping) || parser.isSet(checkForUpdates))) {
        commandLine.action = Action::fail;
        commandLine.text = u"--devices runs alone: leave out --install-mapping and --check-for-updates."_s;
        return commandLine;
    }
    commandLine.headless = parser.isSet(headless);
    if (parser.isSet(installMapping))
        commandLine.action = Action::installMapping;
    else if (parser.isSet(checkForUpdates))
        commandLine.action = Action::checkForUpdates;
    else if (parser.isSet(devices))
        commandLine.action = Action::listDevices;
    return commandLine;
}
