#include "core/remotecommand.h"
#include "ui/icons.h"

#include <QDirIterator>
#include <QFile>
#include <QRawFont>
#include <QRegularExpression>
#include <QSet>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

constexpr auto kModuleFolder = ":/qt/qml/Tarvik/Connector"_L1;

// Every symbol name written on a `symbol:` line of the module's QML documents. Literals compared
// against (`deck === "left"`) are operands, not symbols.
QSet<QString> symbolsNamedInQml()
{
    static const QRegularExpression literal(u"(===\\s*)?\"([^\"]+)\""_s);
    QSet<QString> symbols;
    QDirIterator it(kModuleFolder, {u"*.qml"_s}, QDir::Files);
    while (it.hasNext()) {
        QFile document(it.next());
        if (!document.open(QIODevice::ReadOnly))
            qFatal("cannot read %s", qPrintable(document.fileName()));
        for (const QString &line : QString::fromUtf8(document.readAll()).split(u'\n')) {
            const qsizetype at = line.indexOf(u"symbol:"_s);
            if (at < 0)
                continue;
            auto matches = literal.globalMatch(line.mid(at));
            while (matches.hasNext()) {
                const auto match = matches.next();
                if (match.captured(1).isEmpty())
                    symbols.insert(match.captured(2));
            }
        }
    }
    return symbols;
}

} // namespace

// The window names icons by system symbol; each must reach a glyph the bundled font really has,
// or the button shows an empty box.
class IconsTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        m_font = QRawFont(QString(kModuleFolder + "/fonts/MaterialIcons-Regular.ttf"_L1), 24);
        QVERIFY(m_font.isValid());
        QCOMPARE(m_font.familyName(), Icons::fontFamily());
    }

    void glyph_existsInBundledFont_data()
    {
        QTest::addColumn<QString>("symbol");
        const QSet<QString> fromQml = symbolsNamedInQml();
        // A handful of documents draw icons; finding none means the scan itself broke.
        QVERIFY(fromQml.size() >= 15);
        for (const QString &symbol : fromQml)
            QTest::newRow(qPrintable(u"qml "_s + symbol)) << symbol;
        for (RemoteCommand command : kAllRemoteCommands)
            QTest::newRow(qPrintable(u"command "_s + rawValue(command))) << systemImage(command);
    }

    void glyph_existsInBundledFont()
    {
        QFETCH(QString, symbol);
        const QString glyph = Icons::glyphForSymbol(symbol);
        QCOMPARE(glyph.size(), 1);
        QVERIFY2(m_font.supportsCharacter(glyph.at(0)), qPrintable(symbol));
    }

    void glyph_isEmptyForUnknownSymbol()
    {
        QVERIFY(Icons::glyphForSymbol(u"no.such.symbol"_s).isEmpty());
        QVERIFY(Icons::glyphForSymbol(u"play.fill "_s).isEmpty());
        QVERIFY(Icons::glyphForSymbol(QString()).isEmpty());
    }

private:
    QRawFont m_font;
};

QTEST_MAIN(IconsTest)
#include "tst_icons.moc"
