#pragma once

#include <QJsonValue>
#include <QString>
#include <QStringView>

#include <array>
#include <optional>

class QDebug;

// A deck command a paired device may send. The case order is the note map's index order.
enum class RemoteCommand { play, pause, advance, playNext, stop, load };

inline constexpr std::array kAllRemoteCommands{RemoteCommand::play,    RemoteCommand::pause,
                                               RemoteCommand::advance, RemoteCommand::playNext,
                                               RemoteCommand::stop,    RemoteCommand::load};

QString rawValue(RemoteCommand command);
std::optional<RemoteCommand> remoteCommandFromRawValue(QStringView raw);

QString displayName(RemoteCommand command);
// The symbol shown on the command's button; the window maps it to an icon.
QString systemImage(RemoteCommand command);

QJsonValue toJson(RemoteCommand command);
std::optional<RemoteCommand> remoteCommandFromJson(const QJsonValue &value);

QDebug operator<<(QDebug debug, RemoteCommand command);
