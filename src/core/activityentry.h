#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>

// One event for the activity log.
struct ActivityEntry
{
    QDateTime time;  // local time of the event
    QString kind;    // a fixed lower-case word: command, volume, pairing, forget, reset, wrongcode, blocked,
                     // script, platform, midi, ...
    QString message; // the user-facing message
    QString device;  // "Tarvik DJ Remote 192.168.1.23 A1B2C3D4", or "window" for the window's test buttons
};

// One log line: ISO 8601 local time with its offset (e.g. 2026-12-06T19:02:03+01:00), kind, message, device,
// separated by '\t', ending in '\n'. Tabs, CR and LF inside fields become spaces, so one event is one line.
QByteArray activityLine(const ActivityEntry &entry);
