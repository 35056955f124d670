#pragma once

#include <QWidget>

class QLabel;

// The window shown while the program starts: the picture, the name and the version.
class TSplashFM : public QWidget {
    Q_OBJECT
public:
    explicit TSplashFM(QWidget *parent = nullptr);
    // Keeps the window up for 1500 ms more, then hides and releases it.
    void ExFree(int delayMs = 1500);

    QLabel *imSplash;
    QLabel *laName;
    QLabel *laVersion;

protected:
    void showEvent(QShowEvent *e) override;
};
