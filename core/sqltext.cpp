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

} // namespace SqlText
