#include "data/TessalRegistry.h"

#include "data/TessalVersionInfo.h"

#include <QDate>
#include <QDir>

namespace {

const QString EntryGroup = QStringLiteral("Velmora");

QString uninstallFileName() {
    QString dirs = qEnvironmentVariable("XDG_CONFIG_DIRS");
    QString first = dirs.section(u':', 0, 0).trimmed();
    if (first.isEmpty())
        first = QStringLiteral("/etc/xdg");
    return QDir(first).filePath(QStringLiteral("Korvant/Uninstall.conf"));
}

} // namespace

std::unique_ptr<QSettings> OpenUninstallEntry() {
    // isWritable() creates the folders of a missing file and tries a file of its own beside it:
    // that is "opening the key for writing, creating it when missing".
    auto settings = std::make_unique<QSettings>(uninstallFileName(), QSettings::IniFormat);
    if (!settings->isWritable() || settings->status() != QSettings::NoError)
        return nullptr;
    settings->beginGroup(EntryGroup);
    return settings;
}

void ReadUninstallValue(UninstallValue which, QVariant &value) {
    const auto entry = OpenUninstallEntry();
    if (!entry)
        return;
    const QString name = which == UninstallValue::InstallDate ? QStringLiteral("InstallDate")
                                                              : QStringLiteral("DisplayVersion");
    value = entry->value(name, QString()).toString();
}

void UpdateUninstallEntry() {
    const auto entry = OpenUninstallEntry();
    if (!entry)
        return;
    const QString stored = entry->value(QStringLiteral("DisplayVersion"), QString()).toString();
    const QString key = GetFileVersionText(true);
    if (stored.compare(key, Qt::CaseSensitive) >= 0)
        return;
    entry->setValue(QStringLiteral("Publisher"), QStringLiteral("Korvant"));
    entry->setValue(QStringLiteral("DisplayName"), QStringLiteral("Velmora"));
    entry->setValue(QStringLiteral("DisplayVersion"), key);
    entry->setValue(QStringLiteral("InstallDate"), QDate::currentDate().toString(QStringLiteral("yyyyMMdd")));
    entry->sync(); // a failure to write stays silent, as every failure of the entry does
}
