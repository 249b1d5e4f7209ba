// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>

// Passes on the progress of a file's rows a thousandth at a time: a queued signal per row
// would flood the GUI thread with millions of events, and the bar cannot show finer steps.
class ProgressThrottle {
public:
    static constexpr int Steps = 1000;

    // emit(nValue, nMax) as signalUpdateProgress takes them: nMax -1 keeps the maximum.
    explicit ProgressThrottle(std::function<void(int nValue, int nMax)> emit);

    // A new file of nMax rows: emits (0, nMax).
    void start(int nMax);
    // Row nValue is done: emits it when the bar moves a step.
    void advance(int nValue);
    // The file is done (or stopped): emits the last row done unless it went out already.
    void finish();

private:
    std::function<void(int, int)> m_Emit;
    int m_nMax = 0;
    int m_nShown = -1; // step of the value emitted last
    int m_nLast = -1; // last row done
    int m_nEmitted = -1; // last row emitted
};
