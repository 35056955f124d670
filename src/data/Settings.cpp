#include "data/Settings.h"

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QStandardPaths>

namespace {

QSettings settings() {
    return QSettings(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("Korvant"),
                     QStringLiteral("Velmora"));
}

// QSettings treats "/" as a group separator and needs no escaping of "<" or ".".
QString key(const QString &section, const QString &path) {
    return section + u'/' + path;
}

} // namespace

QVariant PropertyStore::read(const QString &path, const QVariant &fallback) const {
    return settings().value(key(m_section, path), fallback);
}

void PropertyStore::write(const QString &path, const QVariant &value) const {
    QSettings s = settings();
    s.setValue(key(m_section, path), value);
    s.sync();
}

bool PropertyStore::contains(const QString &path) const {
    return settings().contains(key(m_section, path));
}

QString DatabaseLocation() {
    const QString env = qEnvironmentVariable("VELMORA_DATABASE");
    if (!env.trimmed().isEmpty())
        return env.trimmed();
    const QString configured = settings().value(QStringLiteral("Database/Url")).toString();
    if (!configured.trimmed().isEmpty())
        return configured.trimmed();
    return QStringLiteral("sqlite:") + UserDataFolder() + QStringLiteral("/Velmora.db");
}

QString UserDataFolder() {
    QString dir = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    if (dir.isEmpty())
        dir = QDir::homePath() + QStringLiteral("/.local/share");
    dir += QStringLiteral("/Korvant/Velmora");
    QDir().mkpath(dir);
    // The program's own folder holds the embedded database with the users' passwords: its owner's
    // alone (the database file itself is made owner-only when it is opened).
    QFile::setPermissions(dir, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    return dir;
}
