#include "Seams.h"
#include "Server.h"
#include "dmChainData.h"
#include "dmLookUpData.h"
#include "dmTessalData.h"
#include "fmMain.h"
#include "fmSplash.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Korvant"));
    QApplication::setApplicationName(QStringLiteral("Velmora"));
    QApplication::setApplicationDisplayName(QStringLiteral("Velmora"));
    InstallMessageBoxes();

    auto *splash = new TSplashFM;
    splash->show();
    splash->repaint();
    QApplication::processEvents();

    InstallServer();
    new TdmTessal(QString(), &app);
    dmChain = new TdmChain(dmTessal->cnGeneral, &app);
    auto *mainWindow = new TMainFM;
    dmLookUp = new TdmLookUp(dmTessal->cnGeneral, &app);
    splash->ExFree();

    mainWindow->show();
    app.exec();
    delete mainWindow;
    return 0;
}
