#include <QCoreApplication>
#include <QGuiApplication>
#include <gtest/gtest.h>

int main(int argc, char **argv) {
    // Icons are painted, so a GUI application (offscreen) rather than a core one.
    qputenv("QT_QPA_PLATFORM",
            qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    QGuiApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("Korvant"));
    QCoreApplication::setApplicationName(QStringLiteral("Velmora"));
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
