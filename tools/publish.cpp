#include "publish.h"

#include "ToolText.h"
#include "data/Connection.h"
#include "data/Errors.h"
#include "data/ProgramVersions.h"

#include <QFile>
#include <cstdio>

namespace {

QByteArray readFile(const QString &path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw AppError(QStringLiteral("Не удалось открыть файл «%1»: %2").arg(path, file.errorString()));
    constexpr qint64 MaxChanges = 1 << 20; // a text for the "Версия" tab
    if (file.size() > MaxChanges)
        throw AppError(QStringLiteral("Файл изменений «%1» больше 1 МБ").arg(path));
    return file.readAll();
}

} // namespace

int publish(Connection &cn, const QStringList &args) {
    QString version, program, updater, changes;
    const std::pair<const char *, QString *> options[] = {
        {"--version", &version}, {"--program", &program}, {"--updater", &updater}, {"--changes", &changes}};
    QString wrong;
    for (int i = 0; i < args.size() && wrong.isEmpty(); ++i) {
        QString *target = nullptr;
        for (const auto &[name, value] : options) {
            if (args[i] == QLatin1String(name))
                target = value;
        }
        if (!target)
            wrong = QStringLiteral("неизвестный параметр команды publish: %1").arg(args[i]);
        else if (i + 1 >= args.size() || args[i + 1].isEmpty())
            wrong = QStringLiteral("после %1 нужно значение").arg(args[i]);
        else
            *target = args[++i];
    }
    if (wrong.isEmpty() && (version.isEmpty() || program.isEmpty() || updater.isEmpty()))
        wrong = QStringLiteral("нужны --version, --program и --updater");
    if (!wrong.isEmpty()) {
        WriteText(stderr, QStringLiteral("velmora-db: %1 (см. velmora-db --help)\n").arg(wrong));
        return 2;
    }

    ProgramPublication p;
    p.version = version.trimmed();
    p.programFile = program;
    p.updaterFile = updater;
    if (!changes.isEmpty())
        p.changes = QString::fromUtf8(readFile(changes));
    const QString key = PublishProgramVersion(cn, p);
    const QString newest = NewestProgramVersion(cn);
    WriteText(stderr, QStringLiteral("Версия %1 опубликована (ключ %2)\n").arg(p.version, key));
    if (newest != key)
        WriteText(stderr, QStringLiteral(
                              "Внимание: в базе есть версия %1, рабочие места обновятся до неё, а не до %2\n")
                              .arg(newest, key));
    return 0;
}
