#include "ui/vocabulary.h"

#include "core/deckside.h"
#include "core/remotecommand.h"

QString Vocabulary::commandDisplayName(const QString &command) const
{
    const auto parsed = remoteCommandFromRawValue(command);
    return parsed ? displayName(*parsed) : QString();
}

QString Vocabulary::commandSymbol(const QString &command) const
{
    const auto parsed = remoteCommandFromRawValue(command);
    return parsed ? systemImage(*parsed) : QString();
}

QString Vocabulary::deckDisplayName(const QString &deck) const
{
    const auto parsed = deckSideFromRawValue(deck);
    return parsed ? displayName(*parsed) : QString();
}
