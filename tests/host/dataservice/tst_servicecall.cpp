// One call against its deadline: the service thread and the watch race to answer it, and exactly
// one of them does, whichever step of the call the deadline falls on.
#include "servicecall.h"

#include <QtTest>

namespace {

// Counts how often the watch broke the connection.
struct Breaks
{
    int count = 0;
    CServiceCall::Interrupt interrupt()
    {
        return [this] { ++count; };
    }
};

} // namespace

class TestServiceCall : public QObject
{
    Q_OBJECT

private slots:
    // The watch answered while the call waited in the queue: the service thread must not run it.
    void callExpiredInTheQueueNeverRuns()
    {
        CServiceCall call(60000, 0);
        QVERIFY(call.expire());
        QVERIFY(!call.start());
        QVERIFY(!call.finish());
    }

    // The watch breaks the connection and answers; the service thread may neither commit nor
    // answer after it, nor hand it another connection to break.
    void expiryWhileRunningAnswersOnce()
    {
        Breaks breaks;
        CServiceCall call(60000, 0);
        QVERIFY(call.start());
        QVERIFY(call.setInterrupt(breaks.interrupt()));
        QVERIFY(call.expire());
        QCOMPARE(breaks.count, 1);
        QVERIFY(call.expired());
        QVERIFY(!call.beginCommit());
        QVERIFY(!call.setInterrupt(breaks.interrupt()));
        QVERIFY(!call.finish());
        QVERIFY(!call.expire());
        QCOMPARE(breaks.count, 1);
    }

    void expiryDuringCommitLeavesTheAnswerToTheCommit_data()
    {
        QTest::addColumn<bool>("connectionInUse");
        QTest::newRow("connection in use: broken, the outcome unknown") << true;
        QTest::newRow("between statements: nothing broken") << false;
    }

    // A commit under way answers for itself: the watch breaks its connection (so the commit's
    // outcome is unknown) but leaves the answer to the service thread.
    void expiryDuringCommitLeavesTheAnswerToTheCommit()
    {
        QFETCH(bool, connectionInUse);
        Breaks breaks;
        CServiceCall call(60000, 0);
        QVERIFY(call.start());
        if (connectionInUse)
            QVERIFY(call.setInterrupt(breaks.interrupt()));
        QVERIFY(call.beginCommit());
        QVERIFY(!call.expire());
        QCOMPARE(breaks.count, connectionInUse ? 1 : 0);
        QCOMPARE(call.commitInterrupted(), connectionInUse);
        QVERIFY(!call.expired());
        QVERIFY(call.finish());
    }

    // By the clock, even before the watch has run: a late commit never begins.
    void commitPastTheDeadlineRefused()
    {
        CServiceCall call(0, 0);
        QVERIFY(call.start());
        QVERIFY(!call.beginCommit());
    }

    // A call that has answered is no longer the watch's: its connection may already be closed.
    void finishedCallLeftAlone()
    {
        Breaks breaks;
        CServiceCall call(60000, 0);
        QVERIFY(call.start());
        QVERIFY(call.setInterrupt(breaks.interrupt()));
        QVERIFY(call.finish());
        QVERIFY(!call.expire());
        QCOMPARE(breaks.count, 0);
    }

    // Lock waits stop short of the deadline by the reserve, never below nothing.
    void waitsKeepTheReserve()
    {
        const CServiceCall call(10000, 4000);
        QVERIFY(call.waitMs() <= 6000 && call.waitMs() > 5000);
        QCOMPARE(CServiceCall(3000, 4000).waitMs(), 0);
    }
};

QTEST_GUILESS_MAIN(TestServiceCall)
#include "tst_servicecall.moc"
