#include "core/mainthread.h"

#include <QCoreApplication>
#include <QStringList>
#include <QTest>

using namespace Qt::StringLiterals;

// The server holds posts back while it answers: none may be lost, reordered or let out early.
class MainThreadTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void heldBackPostsGoOutInOrderWhenTheOutermostHoldEnds()
    {
        QStringList delivered;
        {
            const MainThreadPostsHeldBack outer;
            postToMainThread([&] { delivered << u"first"_s; });
            {
                const MainThreadPostsHeldBack inner;
                postToMainThread([&] { delivered << u"second"_s; });
            }
            QCoreApplication::processEvents();
            QVERIFY(delivered.isEmpty());
        }
        postToMainThread([&] { delivered << u"third"_s; });
        QCoreApplication::processEvents();
        QCOMPARE(delivered, QStringList({u"first"_s, u"second"_s, u"third"_s}));
    }
};

QTEST_GUILESS_MAIN(MainThreadTest)
#include "tst_mainthread.moc"
