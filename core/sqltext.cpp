// SPDX-License-Identifier: GPL-3.0-or-later
#include "sqltext.h"

namespace SqlText {

QString literal(const QString& text)
{
    QString doubled = text;
    doubled.replace(QLatin1Char('\''), QLatin1String("''"));
    return QLatin1Char('\'') + doubled + QLatin1Char('\'');
}

bool isMask(const QString& text)
{
    return text.contains(QLatin1Char('%')) || text.contains(QLatin1Char('_'));
}

} // namespace SqlText
