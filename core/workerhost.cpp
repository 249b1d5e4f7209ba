// SPDX-License-Identifier: GPL-3.0-or-later
#include "workerhost.h"

#include <QTextCodec>
#include <QTime>

namespace {
QTextCodec* windows1251()
{
    static QTextCodec* codec = QTextCodec::codecForName("Windows-1251");
    return codec;
}
}

QString decodeStateText(const QString& text, bool bEncode)
{
    if (!bEncode)
        return text;
    // toLatin1 turns every character outside Latin-1 into '?', which is what the log shows.
    return windows1251()->toUnicode(text.toLatin1());
}

QString decodeStateText(const char* text, bool bEncode)
{
    if (!text)
        return QString();
    return bEncode ? windows1251()->toUnicode(text) : QString::fromLatin1(text);
}

QString formatStateLine(const QTime& time, const QString& text)
{
    return time.toString(QStringLiteral("hh:mm:ss.zzz")) + QStringLiteral(": ") + text;
}
