#pragma once

#include <QObject>
#include <QString>
#include <QStringView>
#include <QtQml/qqmlregistration.h>

// The window's icons: system symbol names drawn with the bundled Material Icons font.
// Lives on the main thread.
class Icons : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    QML_SINGLETON
    Q_PROPERTY(QString fontFamily READ fontFamily CONSTANT)

public:
    using QObject::QObject;

    // The glyph drawing `symbol`; empty for a name without one.
    static QString glyphForSymbol(QStringView symbol);
    static QString fontFamily();

    Q_INVOKABLE QString glyph(const QString &symbol) const { return glyphForSymbol(symbol); }
};
