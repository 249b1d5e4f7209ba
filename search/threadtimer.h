// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QSemaphore>
#include <QThread>

// Animates the busy progress bar while a search statement runs: a sweep of 200 ticks, 100 ms
// apart, up in normal appearance and back down inverted.
class ThreadTimer : public QThread {
    Q_OBJECT
public:
    static constexpr int TickMs = 100;

    explicit ThreadTimer(QObject* parent = nullptr);
    // Ends a running loop before the thread object goes away.
    ~ThreadTimer() override;

    // Called from the search thread. startProgress restarts the sweep from 0; stopProgress
    // returns once the loop has ended, so no tick follows the restored appearance.
    void startProgress();
    void stopProgress();

signals:
    void signalUpdateProgress(int nValue, int nMax = -1);
    void signalSetProgressBools(bool bTextVisible, bool bInvertedApperance);

public slots:
    void slotTimerTick();

protected:
    void run() override;

private:
    void endLoop();

    int m_nCounter = 0;
    // Released once per stop request; the loop sleeps on it, so a stop ends the sleep at once.
    QSemaphore m_Stop;
};
