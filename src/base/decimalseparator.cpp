#include "base/decimalseparator.h"

#include <QLocale>
#include <QRegularExpression>

namespace sorrel {

QString systemDecimalSeparator()
{
    return QLocale::system().decimalPoint();
}

QString systemTimeSeparator()
{
    // QLocale has no time-separator query; take the first non-letter between
    // the hour and minute fields of the locale's short time format.
    const QString fmt = QLocale::system().timeFormat(QLocale::ShortFormat);
    static const QRegularExpression re(QStringLiteral("[hH]+([^hHmM]+)[mM]"));
    const auto m = re.match(fmt);
    if (m.hasMatch()) {
        const QString sep = m.captured(1).trimmed();
        if (!sep.isEmpty() && !sep.contains(u'\''))
            return sep;
    }
    return QStringLiteral(":");
}

} // namespace sorrel
