// "Резервная копия…" in the main window's menu: a backup of the embedded file on demand, its path
// told.
#include "TestDatabase.h"
#include "data/FileBackup.h"
#include "data/TessalDialog.h"
#include "data/dmTessalData.h"
#include "server/Server.h"
#include "shell/fmMain.h"

#include <QAction>
#include <QFileInfo>
#include <QMenu>
#include <QMenuBar>
#include <QTemporaryDir>

namespace {

struct Boxes {
    Boxes() {
        previous = SetMessageHandler([this](const MessageRequest &r) {
            shown << r;
            return true;
        });
    }
    ~Boxes() { SetMessageHandler(previous); }
    QList<MessageRequest> shown;
    MessageHandler previous;
};

TEST(BackupCommand, MakesABackupOfTheFileAndTellsWhere) {
    QTemporaryDir dir;
    Boxes boxes;
    InstallServer();
    const QString file = dir.filePath(QStringLiteral("Velmora.db"));
    TdmTessal dm(QStringLiteral("sqlite:") + file);
    ASSERT_TRUE(dm.cnGeneral.isOpen());
    TMainFM fm;
    auto *menu = fm.findChild<QMenu *>(QStringLiteral("mnDatabase"));
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(menu->title(), QStringLiteral("База данных"));
    auto *action = fm.findChild<QAction *>(QStringLiteral("acBackup"));
    ASSERT_NE(action, nullptr);
    EXPECT_EQ(action->text(), QStringLiteral("Резервная копия…"));
    ASSERT_TRUE(action->isEnabled());

    const qsizetype before = FileBackup::list(file).size();
    action->trigger();
    const QStringList made = FileBackup::list(file);
    ASSERT_EQ(made.size(), before + 1);
    ASSERT_EQ(boxes.shown.size(), 1);
    EXPECT_EQ(boxes.shown[0].kind, MessageKind::Information);
    EXPECT_TRUE(boxes.shown[0].text.contains(made.last())) << boxes.shown[0].text.toStdString();
}

} // namespace
