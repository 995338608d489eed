#include "core/remotecommand.h"

#include <QDebug>

using namespace Qt::StringLiterals;

QString rawValue(RemoteCommand command)
{
    switch (command) {
    case RemoteCommand::play:
        return u"play"_s;
    case RemoteCommand::pause:
        return u"pause"_s;
    case RemoteCommand::advance:
        return u"advance"_s;
    case RemoteCommand::playNext:
        return u"play-next"_s;
    case RemoteCommand::stop:
        return u"stop"_s;
    case RemoteCommand::load:
        return u"load"_s;
    }
    Q_UNREACHABLE();
    return {};
}

std::optional<RemoteCommand> remoteCommandFromRawValue(QStringView raw)
{
    for (RemoteCommand command : kAllRemoteCommands) {
        if (raw == rawValue(command))
            return command;
    }
    return std::nullopt;
}

QString displayName(RemoteCommand command)
{
    switch (command) {
    case RemoteCommand::play:
        return u"Play"_s;
    case RemoteCommand::pause:
        return u"Pause"_s;
    case RemoteCommand::advance:
        return u"Advance"_s;
    case RemoteCommand::playNext:
        return u"Play Next"_s;
    case RemoteCommand::stop:
        return u"Stop"_s;
    case RemoteCommand::load:
        return u"Load Track"_s;
    }
    Q_UNREACHABLE();
    return {};
}

QString systemImage(RemoteCommand command)
{
    switch (command) {
    case RemoteCommand::play:
        return u"play.fill"_s;
    case RemoteCommand::pause:
        return u"pause.fill"_s;
    case RemoteCommand::advance:
    case RemoteCommand::playNext:
        return u"forward.end.fill"_s;
    case RemoteCommand::stop:
        return u"stop.fill"_s;
    case RemoteCommand::load:
        return u"arrow.down.to.line.compact"_s;
    }
    Q_UNREACHABLE();
    return {};
}

QJsonValue toJson(RemoteCommand command)
{
    return rawValue(command);
}

std::optional<RemoteCommand> remoteCommandFromJson(const QJsonValue &value)
{
    if (!value.isString())
        return std::nullopt;
    return remoteCommandFromRawValue(value.toString());
}

QDebug operator<<(QDebug debug, RemoteCommand command)
{
    QDebugStateSaver saver(debug);
    debug.nospace() << "RemoteCommand(" << rawValue(command) << ')';
    return debug;
}
