#include "threadtimer.h"

ThreadTimer::ThreadTimer(QObject* parent)
    : QThread(parent)
{
}

ThreadTimer::~ThreadTimer() = default;

void ThreadTimer::startProgress() { }

void ThreadTimer::stopProgress() { }

void ThreadTimer::slotTimerTick() { }

void ThreadTimer::run() { }
