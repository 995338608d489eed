#include "router/deckcommands.h"

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

namespace DeckCommands {

namespace {

QString onDeck(DJPlatform platform, DeckSide deck)
{
    return shortName(platform) + u" "_s + rawValue(deck) + u" deck."_s;
}

} // namespace

Outcome outcome(DJPlatform platform, RemoteCommand command, DeckSide deck, const DeckExpectation &current)
{
    Outcome result;
    result.next = current;
    switch (command) {
    case RemoteCommand::play:
        result.next.playing = true;
        if (current.playing) {
            result.message = displayName(deck) + u" deck was already marked as playing."_s;
        } else {
            result.send = Outcome::Send::pulse;
            result.next.state = u"playing"_s;
            result.message = u"Play sent to "_s + onDeck(platform, deck);
        }
        break;
    case RemoteCommand::pause:
        result.next.playing = false;
        if (current.playing) {
            result.send = Outcome::Send::pulse;
            result.next.state = u"paused"_s;
            result.message = u"Pause sent to "_s + onDeck(platform, deck);
        } else {
            result.message = displayName(deck) + u" deck was already marked as paused."_s;
        }
        break;
    case RemoteCommand::advance:
    case RemoteCommand::playNext:
        result.send = Outcome::Send::advance;
        result.next.playing = true;
        result.next.state = u"playing"_s;
        result.message = u"Advanced and started the next prepared song on "_s + onDeck(platform, deck);
        break;
    case RemoteCommand::stop:
        result.send = Outcome::Send::pulse;
        result.next.playing = false;
        result.next.state = u"stopped"_s;
        result.message = u"Stop/Cue sent to "_s + onDeck(platform, deck);
        break;
    case RemoteCommand::load:
        result.send = Outcome::Send::pulse;
        result.next.playing = false;
        result.next.state = u"stopped"_s;
        result.message = u"Loaded the highlighted track onto the "_s + shortName(platform) + u" "_s
                         + rawValue(deck) + u" deck without starting playback."_s;
        break;
    }
    return result;
}

std::vector<AdvanceStep> advanceSteps(DJPlatform platform, bool shouldPauseFirst, bool playAfter)
{
    if (platform == DJPlatform::virtualDJ)
        return {{0ms, RemoteCommand::advance}};
    if (!shouldPauseFirst)
        return {{0ms, RemoteCommand::advance}, {250ms, RemoteCommand::play}};
    std::vector<AdvanceStep> steps{{0ms, RemoteCommand::stop}, {120ms, RemoteCommand::advance}};
    if (playAfter)
        steps.push_back({250ms, RemoteCommand::play});
    return steps;
}

Outcome reported(DJPlatform platform, DeckSide deck, bool playing, const DeckExpectation &current)
{
    Outcome result;
    result.next = current;
    result.next.playing = playing;
    if (playing)
        result.next.state = u"playing"_s;
    else if (current.state == u"playing"_s)
        result.next.state = u"paused"_s;
    if (result.next.playing != current.playing || result.next.state != current.state)
        result.message = shortName(platform) + u" reports the "_s + rawValue(deck)
                         + (playing ? u" deck playing."_s : u" deck not playing."_s);
    return result;
}

QString volumeMessage(DJPlatform platform, int percent, DeckSide deck)
{
    if (platform == DJPlatform::serato)
        return u"Set Serato music level to "_s + QString::number(percent) + u" percent."_s;
    return u"Set VirtualDJ "_s + rawValue(deck) + u" deck volume to "_s + QString::number(percent)
           + u" percent."_s;
}

} // namespace DeckCommands
