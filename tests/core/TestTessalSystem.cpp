#include "data/TessalSystem.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QFileInfo>

#include <sys/wait.h>
#include <unistd.h>

namespace {

QString ownFileName() {
    return QFileInfo(QCoreApplication::applicationFilePath()).fileName();
}

} // namespace

TEST(TessalSystem, ProcessesByNameFindsThisProcess) {
    const qint64 self = qint64(::getpid());
    const QString own = ownFileName();
    ASSERT_FALSE(own.isEmpty());
    for (const QString &name : {own, own.toUpper(), own.toLower() + QStringLiteral(".EXE")}) {
        SCOPED_TRACE(name.toStdString());
        EXPECT_TRUE(ProcessesByName(name).contains(self));
    }
    for (const QString &name : {own + QStringLiteral("x"), own.left(own.size() - 1), QString()}) {
        SCOPED_TRACE(name.toStdString());
        EXPECT_FALSE(ProcessesByName(name).contains(self));
    }
}

TEST(TessalSystem, TerminateLeavesOtherNamesAlone) {
    EXPECT_FALSE(TerminateProcessesByName(QStringLiteral("no-such-program.exe")));
    EXPECT_FALSE(TerminateProcessesByName(ownFileName() + QStringLiteral("x")));
}

TEST(TessalSystem, TerminateEndsOnlyTheCallingProcess) {
    // A forked copy bears this program's name; asked to end that name it ends itself with code 0,
    // while this process, bearing the same name, goes on.
    const pid_t child = ::fork();
    ASSERT_NE(child, -1);
    if (child == 0) {
        TerminateProcessesByName(ownFileName() + QStringLiteral(".exe"));
        ::_exit(3); // not reached when the name matched
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
}
