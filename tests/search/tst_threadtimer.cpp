// SPDX-License-Identifier: GPL-3.0-or-later
#include "threadtimer.h"

#include <QMutex>
#include <QSignalSpy>
#include <QTest>

namespace {

// Every signal of the timer, in the order emitted, whichever thread emitted it.
class TimerLog {
public:
    explicit TimerLog(ThreadTimer& timer)
    {
        QObject::connect(&timer, QOverload<int, int>::of(&ThreadTimer::signalUpdateProgress),
            [this](int nValue, int nMax) { append(QStringLiteral("value %1 %2").arg(nValue).arg(nMax)); });
        QObject::connect(&timer, &ThreadTimer::signalSetProgressBools, [this](bool bText, bool bInverted) {
            append(QStringLiteral("bools %1 %2").arg(bText).arg(bInverted));
        });
    }

    QStringList entries() const
    {
        QMutexLocker lock(&m_Mutex);
        return m_Entries;
    }
    void clear()
    {
        QMutexLocker lock(&m_Mutex);
        m_Entries.clear();
    }

private:
    void append(const QString& entry)
    {
        QMutexLocker lock(&m_Mutex);
        m_Entries << entry;
    }

    mutable QMutex m_Mutex;
    QStringList m_Entries;
};

QString value(int nValue)
{
    return QStringLiteral("value %1 -1").arg(nValue);
}

} // namespace

// Takes the timer's signals over to the test thread, queued: spies on its signals are appended
// and read on the test thread only, whichever thread the timer emitted from.
class TimerRelay : public QObject {
    Q_OBJECT
public:
    explicit TimerRelay(ThreadTimer& timer)
    {
        connect(&timer, &QThread::finished, this, &TimerRelay::finished, Qt::QueuedConnection);
        connect(&timer, QOverload<int, int>::of(&ThreadTimer::signalUpdateProgress), this,
            &TimerRelay::progress, Qt::QueuedConnection);
    }

signals:
    void finished();
    void progress(int nValue, int nMax);
};

class TestThreadTimer : public QObject {
    Q_OBJECT

private slots:
    void fullCycleSweepsUpAndDown();
    void startResetsAndStopRestoresAppearance();
    void stopEndsTheLoopAndAllowsRestart();
    void noTickFollowsTheStop();
    void destructionEndsARunningLoop();
};

void TestThreadTimer::fullCycleSweepsUpAndDown()
{
    ThreadTimer timer;
    TimerLog log(timer);
    for (int i = 0; i < 400; ++i)
        timer.slotTimerTick();

    QStringList cycle;
    cycle << QStringLiteral("bools 0 0");
    for (int v = 1; v <= 100; ++v)
        cycle << value(v);
    cycle << QStringLiteral("bools 0 1");
    for (int v = 99; v >= 0; --v)
        cycle << value(v);
    QCOMPARE(log.entries(), cycle + cycle);
}

void TestThreadTimer::startResetsAndStopRestoresAppearance()
{
    ThreadTimer timer;
    TimerLog log(timer);
    // Leave the counter in the inverted half, as a long search would.
    for (int i = 0; i < 150; ++i)
        timer.slotTimerTick();
    log.clear();

    TimerRelay relay(timer);
    QSignalSpy progress(&relay, &TimerRelay::progress);
    timer.startProgress();
    // The start value and the first tick.
    QTRY_VERIFY(progress.count() >= 2);
    timer.stopProgress();

    const QStringList entries = log.entries();
    QVERIFY(entries.size() >= 4);
    QCOMPARE(entries.mid(0, 4), (QStringList { "bools 0 0", "value 0 100", "bools 0 0", value(1) }));
    QCOMPARE(entries.last(), QStringLiteral("bools 1 0"));
}

void TestThreadTimer::stopEndsTheLoopAndAllowsRestart()
{
    ThreadTimer timer;
    TimerRelay relay(timer);
    QSignalSpy finished(&relay, &TimerRelay::finished);
    QSignalSpy progress(&relay, &TimerRelay::progress);

    for (int run = 0; run < 3; ++run) {
        progress.clear();
        timer.startProgress();
        QVERIFY(timer.isRunning());
        // The start value, the first tick, and one tick later a second one.
        QTRY_VERIFY(progress.count() >= 3);
        timer.stopProgress();
        QVERIFY(timer.isFinished());
        QCOMPARE(progress.at(1).at(0).toInt(), 1);
        QCOMPARE(progress.at(2).at(0).toInt(), 2);
        // Ticks still queued when the loop ended belong to this run.
        QCoreApplication::processEvents();
    }
    QTRY_COMPARE(finished.count(), 3);
}

void TestThreadTimer::noTickFollowsTheStop()
{
    ThreadTimer timer;
    TimerLog log(timer);
    // Stops that meet the loop at every point of its tick: the restored appearance stays last.
    for (int run = 0; run < 50; ++run) {
        log.clear();
        timer.startProgress();
        // Even runs stop before or during the first tick, odd ones while the loop sleeps.
        if (run % 2)
            QTRY_VERIFY(log.entries().contains(value(1)));
        timer.stopProgress();
        QVERIFY(!timer.isRunning());
        QCOMPARE(log.entries().last(), QStringLiteral("bools 1 0"));
        QCOMPARE(log.entries().count(QStringLiteral("bools 1 0")), 1);
    }
}

void TestThreadTimer::destructionEndsARunningLoop()
{
    auto* timer = new ThreadTimer;
    TimerLog log(*timer);
    timer->startProgress();
    QTRY_VERIFY(log.entries().contains(value(1)));
    // Returns only once the loop has ended; a loop left running would outlive its object.
    delete timer;
}

QTEST_GUILESS_MAIN(TestThreadTimer)
#include "tst_threadtimer.moc"
