#include <QApplication>
#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cstdio>

int main(int argc, char **argv) {
    // Widgets need a platform; without a display the offscreen one keeps the tests running.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");

    // Window settings and the default database live in throwaway folders, set before Qt reads
    // them, so a test run never reads or changes the settings of the user who runs it.
    QTemporaryDir home;
    if (!home.isValid()) {
        std::fprintf(stderr, "cannot create a temporary folder: %s\n", qPrintable(home.errorString()));
        return 1;
    }
    QDir(home.path()).mkpath(QStringLiteral("config"));
    QDir(home.path()).mkpath(QStringLiteral("data"));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(home.filePath(QStringLiteral("config"))));
    qputenv("XDG_DATA_HOME", QFile::encodeName(home.filePath(QStringLiteral("data"))));
    // The system-wide settings (the entry in the list of installed programs) as well.
    qputenv("XDG_CONFIG_DIRS", QFile::encodeName(home.filePath(QStringLiteral("xdg"))));
    qunsetenv("VELMORA_DATABASE");
    qunsetenv("VELMORA_MESSAGE_LOG");

    QApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("Korvant"));
    QCoreApplication::setApplicationName(QStringLiteral("Velmora"));
    // Tests close windows without running the event loop; nothing should try to quit it.
    QApplication::setQuitOnLastWindowClosed(false);

    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
