#pragma once

#include <QStringList>
#include <QWidget>

// A view hosted in a tab of the main window: a borderless widget that fills its tab page.
class HostedView : public QWidget {
    Q_OBJECT
public:
    HostedView(const QString &caption, QWidget *parent = nullptr) : QWidget(parent) {
        setWindowTitle(caption);
        setWindowFlags(Qt::Widget);
    }
    // The positioning calls the view received, in order ("RefreshDoc(-1, -1)"); read by tests and
    // by the status line while a view has nothing else to show.
    QStringList calls;
};
