// SPDX-License-Identifier: GPL-3.0-or-later
#include "sqltext.h"

#include <algorithm>

namespace SqlText {

QString literal(const QString& text)
{
    QString doubled = text;
    doubled.replace(QLatin1Char('\''), QLatin1String("''"));
    return QLatin1Char('\'') + doubled + QLatin1Char('\'');
}

bool isWildcard(QChar c)
{
    return c == QLatin1Char('%') || c == QLatin1Char('_');
}

bool isMask(const QString& text)
{
    return std::any_of(text.cbegin(), text.cend(), isWildcard);
}

QString jsonArray(const QStringList& texts)
{
    QString json = QStringLiteral("[");
    for (const QString& text : texts) {
        if (json.size() > 1)
            json += QLatin1Char(',');
        json += QLatin1Char('"');
        for (const QChar c : text) {
            if (c == QLatin1Char('"') || c == QLatin1Char('\\'))
                json += QLatin1Char('\\');
            if (c.unicode() < 0x20)
                json += QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QLatin1Char('0'));
            else
                json += c;
        }
        json += QLatin1Char('"');
    }
    return json + QLatin1Char(']');
}

} // namespace SqlText
