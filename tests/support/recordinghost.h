// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "workerhost.h"

#include <QList>
#include <QMutex>
#include <QPair>
#include <QStringList>

class QThread;

// Stands in for the window in tests: keeps every call a worker makes, from any thread, in the
// order made, together with the thread that made it.
class RecordingHost : public WorkerHost {
public:
    using Progress = QPair<int, int>;

    void addState(const QString& text, bool bEncode) override;
    void updateText(const QString& text) override;
    void updateProgress(int nValue, int nMax) override;
    void setVisible(bool bVisible) override;
    void setDataBaseReady(bool bReady) override;

    // Status-log lines as the log shows them (decoded).
    QStringList lines() const;
    QStringList texts() const;
    QList<Progress> progress() const;
    QList<bool> visible() const;
    bool ready() const;
    int readyCalls() const;

    // Every call in order, such as "state text", "text t", "progress 1 -1", "visible 1",
    // "ready 0", and the thread each was made on.
    QStringList calls() const;
    QList<QThread*> callThreads() const;

private:
    void record(const QString& call);

    mutable QMutex m_Mutex;
    QStringList m_Lines;
    QStringList m_Texts;
    QList<Progress> m_Progress;
    QList<bool> m_Visible;
    bool m_bReady = false;
    int m_nReadyCalls = 0;
    QStringList m_Calls;
    QList<QThread*> m_CallThreads;
};
