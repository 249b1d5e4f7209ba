// SPDX-License-Identifier: GPL-3.0-or-later
#include "threadtimer.h"

ThreadTimer::ThreadTimer(QObject* parent)
    : QThread(parent)
{
}

ThreadTimer::~ThreadTimer()
{
    endLoop();
}

void ThreadTimer::startProgress()
{
    // A start without a stop in between would otherwise reset the counter under a running loop.
    endLoop();
    m_nCounter = 0;
    emit signalSetProgressBools(false, false);
    emit signalUpdateProgress(0, 100);
    start(QThread::InheritPriority);
}

void ThreadTimer::stopProgress()
{
    // The loop ends first: a tick emitted after the restored appearance could leave the bar
    // inverted and without its text.
    endLoop();
    emit signalSetProgressBools(true, false);
}

void ThreadTimer::endLoop()
{
    if (isRunning()) {
        m_Stop.release();
        wait();
    }
    // A stop request the loop never consumed must not end the next run at once.
    m_Stop.tryAcquire(m_Stop.available());
}

void ThreadTimer::slotTimerTick()
{
    const int old = m_nCounter;
    m_nCounter = old + 1;
    int v = m_nCounter;
    if (old == 100) {
        emit signalSetProgressBools(false, true);
    } else if (old == 199) {
        m_nCounter = 0;
        v = 0;
    } else if (old == 0) {
        emit signalSetProgressBools(false, false);
    }
    emit signalUpdateProgress(v < 100 ? v : 200 - v, -1);
}

void ThreadTimer::run()
{
    do {
        slotTimerTick();
    } while (!m_Stop.tryAcquire(1, TickMs));
}
