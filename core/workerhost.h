// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

class QTime;

// What the database and search code needs from whoever runs it: the main window, velmora-tool
// or a test. Keeps the workers free of widgets so they run headless.
class WorkerHost {
public:
    virtual ~WorkerHost() = default;

    // Appends a status-log line. Callable from any thread; lines reach the log in the order
    // issued. With bEncode true, text holds 8-bit Windows-1251 bytes as Latin-1 characters.
    virtual void addState(const QString& text, bool bEncode) = 0;

    // Progress frame, used from the thread that owns the host (the update copy runs there).
    virtual void updateText(const QString& text) { Q_UNUSED(text); }
    virtual void updateProgress(int nValue, int nMax)
    {
        Q_UNUSED(nValue);
        Q_UNUSED(nMax);
    }
    virtual void setVisible(bool bVisible) { Q_UNUSED(bVisible); }

    // True once whoever runs the work wants it to end (the window closed during the start-up
    // update): a long copy stops and leaves the local database as it was.
    virtual bool stopRequested() const { return false; }

    // The import's outcome, set just before it reports completion.
    virtual void setDataBaseReady(bool bReady) { Q_UNUSED(bReady); }
};

// Text of a status-log message as the log shows it:
// bEncode true takes each character as one byte (Latin-1, '?' outside it) and decodes the
// bytes as Windows-1251; bEncode false keeps the text.
QString decodeStateText(const QString& text, bool bEncode);
QString decodeStateText(const char* text, bool bEncode);

// "hh:mm:ss.zzz: " + text
QString formatStateLine(const QTime& time, const QString& text);
