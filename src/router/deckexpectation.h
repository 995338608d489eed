#pragma once

#include <QString>

// What the router believes one deck is doing. The DJ software reports nothing back, so this is only
// ever changed by the commands the connector sent.
struct DeckExpectation
{
    bool playing = false;
    // "playing", "paused" or "stopped".
    QString state = QStringLiteral("stopped");
    int volume = 100;
};
