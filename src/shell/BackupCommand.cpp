#include "shell/BackupCommand.h"

#include "data/Connection.h"
#include "data/Errors.h"
#include "data/FileBackup.h"
#include "data/TessalDialog.h"
#include "data/TessalLog.h"
#include "data/dmTessalData.h"
#include "ui/BusyCursor.h"

#include <QAction>
#include <QLayout>
#include <QMenu>
#include <QMenuBar>
#include <QThread>

namespace {

bool embeddedDatabase() {
    return dmTessal && dmTessal->cnGeneral.isOpen() && dmTessal->cnGeneral.engine() == Engine::SQLite;
}

// The main window's menu bar, made on first use above its pages.
QMenuBar *menuBarOf(QWidget *window) {
    if (auto *bar = window->findChild<QMenuBar *>(QStringLiteral("mbMain")))
        return bar;
    auto *bar = new QMenuBar(window);
    bar->setObjectName(QStringLiteral("mbMain"));
    if (window->layout())
        window->layout()->setMenuBar(bar);
    return bar;
}

QMenu *databaseMenu(QWidget *window) {
    if (auto *menu = window->findChild<QMenu *>(QStringLiteral("mnDatabase")))
        return menu;
    QMenu *menu = menuBarOf(window)->addMenu(QStringLiteral("База данных"));
    menu->setObjectName(QStringLiteral("mnDatabase"));
    return menu;
}

} // namespace

void AddBackupCommand(QWidget *mainWindow) {
    QAction *action = databaseMenu(mainWindow)->addAction(QStringLiteral("Резервная копия…"));
    action->setObjectName(QStringLiteral("acBackup"));
    action->setEnabled(embeddedDatabase());
    if (!action->isEnabled())
        action->setToolTip(
            QStringLiteral("Резервную копию базы сервера делает администратор командой velmora-db copy"));
    QObject::connect(action, &QAction::triggered, mainWindow, [] {
        Guarded([] {
            if (!embeddedDatabase())
                return;
            QString path;
            {
                BusyCursor busy;
                path = FileBackup::make(dmTessal->cnGeneral);
            }
            ShowInformation(QStringLiteral("Резервная копия записана в файл %1. Хранятся %2 последних копий.")
                                .arg(path)
                                .arg(FileBackup::Kept));
        });
    });
}

DailyBackup::DailyBackup(const QString &databasePath) {
    m_thread.reset(QThread::create([this, databasePath] {
        try {
            FileBackup::makeIfDueAlongside(databasePath, m_stop);
        } catch (const AppError &e) {
            try {
                WriteAppLog(e.message());
            } catch (const AppError &) {
            }
        }
    }));
    m_thread->setObjectName(QStringLiteral("DailyBackup"));
    m_thread->start(QThread::LowPriority);
}

DailyBackup::~DailyBackup() {
    m_stop = true;
    m_thread->wait();
}

std::unique_ptr<DailyBackup> StartDailyBackup() {
    if (!embeddedDatabase())
        return {};
    const QString path = FileBackup::databaseFile(dmTessal->cnGeneral);
    if (path.isEmpty())
        return {};
    return std::make_unique<DailyBackup>(path);
}
