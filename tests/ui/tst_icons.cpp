#include "core/remotecommand.h"
#include "ui/icons.h"

#include <QDirIterator>
#include <QFile>
#include <QRawFont>
#include <QRegularExpression>
#include <QSet>
#include <QTest>

using namespace Qt::StringLiterals;

// The window names icons by system symbol; each must reach a glyph the bundled font really has,
// or the button shows an empty box.
class IconsTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void glyph_existsInBundledFont()
    {
        const QRawFont font(u":/qt/qml/Tarvik/Connector/fonts/MaterialIcons-Regular.ttf"_s, 24);
        QCOMPARE(font.familyName(), Icons::fontFamily());
        // Quoted names on `symbol:` lines, less literals compared against (`deck === "left"`).
        static const QRegularExpression symbolLine(u"symbol:([^\n]*)"_s);
        static const QRegularExpression literal(u"(===\\s*)?\"([^\"]+)\""_s);
        QSet<QString> symbols;
        QDirIterator it(u":/qt/qml/Tarvik/Connector"_s, {u"*.qml"_s}, QDir::Files);
        while (it.hasNext()) {
            QFile document(it.next());
            QVERIFY(document.open(QIODevice::ReadOnly));
            for (const auto &line : symbolLine.globalMatch(QString::fromUtf8(document.readAll()))) {
                for (const auto &match : literal.globalMatch(line.captured(1))) {
                    if (match.captured(1).isEmpty())
                        symbols.insert(match.captured(2));
                }
            }
        }
        // A handful of documents draw icons; finding none means the scan itself broke.
        QCOMPARE_GE(symbols.size(), 15);
        for (RemoteCommand command : kAllRemoteCommands)
            symbols.insert(systemImage(command));
        for (const QString &symbol : std::as_const(symbols)) {
            const QString glyph = Icons::glyphForSymbol(symbol);
            QVERIFY2(glyph.size() == 1 && font.supportsCharacter(glyph.at(0)), qPrintable(symbol));
        }
    }
};

QTEST_MAIN(IconsTest)
#include "tst_icons.moc"
