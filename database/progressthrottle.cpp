// SPDX-License-Identifier: GPL-3.0-or-later
#include "progressthrottle.h"

#include <QtGlobal>

ProgressThrottle::ProgressThrottle(std::function<void(int, int)> emit)
    : m_Emit(std::move(emit))
{
}

void ProgressThrottle::start(int nMax)
{
    m_nMax = nMax;
    m_nShown = -1;
    m_nLast = -1;
    m_nEmitted = -1;
    m_Emit(0, nMax);
}

void ProgressThrottle::advance(int nValue)
{
    m_nLast = nValue;
    const int shown = m_nMax > 0 ? int(qint64(nValue) * Steps / m_nMax) : 0;
    if (shown == m_nShown)
        return;
    m_nShown = shown;
    m_nEmitted = nValue;
    m_Emit(nValue, -1);
}

void ProgressThrottle::finish()
{
    if (m_nLast >= 0 && m_nLast != m_nEmitted) {
        m_nEmitted = m_nLast;
        m_Emit(m_nLast, -1);
    }
}
