#include "shell/fmSplash.h"

#include "data/TessalVersionInfo.h"
#include "ui/Fonts.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QGuiApplication>
#include <QLabel>
#include <QScreen>
#include <QTimer>

// The picture is a resource of a static library, which the linker leaves out unless it is asked
// for by name.
static void initSplashResources() {
    Q_INIT_RESOURCE(velmora);
}

TSplashFM::TSplashFM(QWidget *parent) : QWidget(parent, Qt::SplashScreen | Qt::FramelessWindowHint) {
    setObjectName(QStringLiteral("TSplashFM"));
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, QColor(0, 0, 128)); // navy behind the picture
    setPalette(pal);

    initSplashResources();
    const QPixmap picture(QStringLiteral(":/splash.jpg"));
    imSplash = new QLabel(this);
    imSplash->setObjectName(QStringLiteral("imSplash"));
    imSplash->setPixmap(picture);
    imSplash->setGeometry(0, 0, 512, 370);
    setFixedSize(512, 370);

    laName = new QLabel(QStringLiteral("Velmora"), this);
    laName->setObjectName(QStringLiteral("laName"));
    laName->setFont(NamedFont(QStringLiteral("Impact"), 27));
    laName->setStyleSheet(QStringLiteral("color: black; background: transparent;"));
    laName->move(7, 7);
    laName->adjustSize();

    laVersion = new QLabel(this);
    laVersion->setObjectName(QStringLiteral("laVersion"));
    laVersion->setFont(NamedFont(QStringLiteral("Lucida Sans Unicode"), 11, true));
    laVersion->setStyleSheet(QStringLiteral("color: grey; background: transparent;"));
    laVersion->setGeometry(7, 348, 498, 16);

    if (const QScreen *screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

void TSplashFM::showEvent(QShowEvent *e) {
    laVersion->setText(VersionCaption(QStringLiteral("Версия "), true));
    QWidget::showEvent(e);
}

void TSplashFM::ExFree(int delayMs) {
    QEventLoop loop;
    QTimer::singleShot(delayMs, &loop, &QEventLoop::quit);
    loop.exec();
    hide();
    deleteLater();
}
