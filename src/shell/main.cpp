#include "Seams.h"
#include "Startup.h"
#include "TessalSystem.h"

#include <QApplication>

#include <cstdio>

int main(int argc, char *argv[]) {
    ReadTimeZoneOnce();
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Korvant"));
    QApplication::setApplicationName(QStringLiteral("Velmora"));
    QApplication::setApplicationDisplayName(QStringLiteral("Velmora"));
    RussianInterface russian;
    InstallMessageBoxes();

    Program program;
    if (!program.start()) {
        // Scripts and service managers read the status; the reason goes to them as well.
        std::fprintf(stderr, "Velmora: %s\n", qPrintable(program.failure()));
        return 1;
    }
    return program.run();
}
