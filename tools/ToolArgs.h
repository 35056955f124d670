// The admin tool's command lines.
#pragma once

#include <QString>
#include <QStringList>

#include <functional>

// The value after the option args[i], i moved onto it; `usage` is told when there is none or it is
// empty.
inline QString OptionValue(const QStringList &args, int &i,
                           const std::function<void(const QString &)> &usage) {
    if (i + 1 >= args.size() || args[i + 1].isEmpty())
        usage(QStringLiteral("после %1 нужно значение").arg(args[i]));
    return args[++i];
}
