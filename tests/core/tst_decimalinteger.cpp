#include "core/decimalinteger.h"

#include <QTest>

using namespace Qt::StringLiterals;

class DecimalIntegerTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void parse_data();
    void parse();
};

void DecimalIntegerTest::parse_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("parses");
    QTest::addColumn<qint64>("value");

    QTest::newRow("plain") << u"75"_s << true << qint64(75);
    QTest::newRow("plus sign") << u"+75"_s << true << qint64(75);
    QTest::newRow("minus sign") << u"-5"_s << true << qint64(-5);
    QTest::newRow("leading zeros") << u"0075"_s << true << qint64(75);
    QTest::newRow("largest") << u"9223372036854775807"_s << true << std::numeric_limits<qint64>::max();
    QTest::newRow("smallest") << u"-9223372036854775808"_s << true << std::numeric_limits<qint64>::min();
    QTest::newRow("one past largest") << u"9223372036854775808"_s << false << qint64(0);
    QTest::newRow("one past smallest") << u"-9223372036854775809"_s << false << qint64(0);
    QTest::newRow("huge") << QString(400, u'9') << false << qint64(0);
    QTest::newRow("empty") << QString() << false << qint64(0);
    QTest::newRow("sign alone") << u"-"_s << false << qint64(0);
    QTest::newRow("two signs") << u"+-1"_s << false << qint64(0);
    QTest::newRow("space") << u" 75"_s << false << qint64(0);
    QTest::newRow("fraction") << u"75.0"_s << false << qint64(0);
    QTest::newRow("NaN") << u"NaN"_s << false << qint64(0);
    QTest::newRow("Arabic-Indic digits") << u"\u0667\u0665"_s << false << qint64(0);
}

void DecimalIntegerTest::parse()
{
    QFETCH(QString, text);
    QFETCH(bool, parses);
    QFETCH(qint64, value);
    const std::optional<qint64> parsed = parseDecimalInteger(text);
    QCOMPARE(parsed.has_value(), parses);
    if (parses)
        QCOMPARE(*parsed, value);
}

QTEST_GUILESS_MAIN(DecimalIntegerTest)
#include "tst_decimalinteger.moc"
