#pragma once

#include <QThread>

#include <atomic>

// Animates the busy progress bar while a search statement runs: a sweep of 200 ticks, 100 ms
// apart, up in normal appearance and back down inverted.
class ThreadTimer : public QThread {
    Q_OBJECT
public:
    explicit ThreadTimer(QObject* parent = nullptr);
    ~ThreadTimer() override;

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
    int m_nCounter = 0;
    std::atomic_bool m_bStop { false };
};
