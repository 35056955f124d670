#include "data/TessalSystem.h"
#include "data/TessalVersionInfo.h"
#include "shell/Startup.h"
#include "ui/Seams.h"

#include <QApplication>

#include <cstdio>
#include <cstring>

int main(int argc, char *argv[]) {
    ReadTimeZoneOnce();
    KeepFilesPrivate();
    // Answered without a window or a database: the updater and publishing ask it of a new build.
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::printf("Velmora %s\n", qPrintable(GetFileVersionText(false)));
        return 0;
    }
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Korvant"));
    QApplication::setApplicationName(QStringLiteral("Velmora"));
    QApplication::setApplicationDisplayName(QStringLiteral("Velmora"));
    RussianInterface russian;
    InstallMessageBoxes();

    Program program;
    if (!program.start()) {
        if (program.updating())
            return 0; // the updater starts the newer program once this one has ended
        // Scripts and service managers read the status; the reason goes to them as well.
        std::fprintf(stderr, "Velmora: %s\n", qPrintable(program.failure()));
        return 1;
    }
    return program.run();
}
