#pragma once

#include <QObject>
#include <QString>
#include <QtQml/qqmlregistration.h>

// Names and symbols of commands and decks, taken from their one definition in core, for labels that
// the window builds from raw values ("play", "left"). Lives on the main thread.
class Vocabulary : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    QML_SINGLETON

public:
    using QObject::QObject;

    // Each returns an empty string for a raw value that names no command or deck.
    Q_INVOKABLE QString commandDisplayName(const QString &command) const;
    Q_INVOKABLE QString commandSymbol(const QString &command) const;
    Q_INVOKABLE QString deckDisplayName(const QString &deck) const;
};
