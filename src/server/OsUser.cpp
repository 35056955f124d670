// The operating-system user running the program, by whose name bookmarks are kept.
#include "server/OsUser.h"

#include <QMutex>
#include <QMutexLocker>

namespace {

QMutex &osUserLock() {
    static QMutex m;
    return m;
}

QString &osUserOverride() {
    static QString name;
    return name;
}

} // namespace

QString OsUserName() {
    {
        QMutexLocker lock(&osUserLock());
        if (!osUserOverride().isEmpty())
            return osUserOverride();
    }
    for (const char *var : {"USER", "LOGNAME"}) {
        const QString name = qEnvironmentVariable(var).trimmed();
        if (!name.isEmpty())
            return name.left(100); // the width of Favorite.OsUser
    }
    return QStringLiteral("user");
}

void SetOsUserNameForTesting(const QString &name) {
    QMutexLocker lock(&osUserLock());
    osUserOverride() = name.trimmed().left(100);
}
