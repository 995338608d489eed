#pragma once

#include <QString>

// What the router believes one deck is doing: set at once by the commands the connector sends, and
// corrected by the play state the DJ software reports, when its mapping reports any.
struct DeckExpectation
{
    bool playing = false;
    // "playing", "paused" or "stopped".
    QString state = QStringLiteral("stopped");
    int volume = 100;
};
