#pragma once

#include "ui/HostedView.h"

#include <functional>

class Action;
class ActionList;
class DataGrid;
class DataSet;
class QToolBar;

// The network computers view: every device with a network name, with its workplace and telephone,
// and below it the users of the selected computer.
class TNetComputerFM : public HostedView {
    Q_OBJECT
public:
    explicit TNetComputerFM(QWidget *parent = nullptr);
    ~TNetComputerFM() override;

    // Reopens the list and selects the device `ID` (the first row when it is not listed).
    void RefreshNet(int ID);
    // Selects the first device of workplace `ID` without reopening; stays put when there is none.
    void RefreshWorkPlace(int ID);

    // Set by the program: selects a node of the placement tree on its tab ("V", device key), and
    // opens a report by its name and parameters. A command whose hook is not set stays disabled.
    std::function<void(const QString &kind, int id)> goPlacement;
    std::function<void(const QString &report)> viewReport;
    // Runs the ping sweep; set by the program to TComputerPingDG::Run (see shell/ViewWiring.h).
    std::function<void()> runPing;

    // The name of the workplace key column, with its Cyrillic "с".
    static QString workplaceKeyField();

    QToolBar *tbMain;
    DataGrid *grDevice, *grUser;
    DataSet *taNode, *taUser;
    ActionList *actions;
    Action *acPing, *acRefresh, *acReport, *acGoDevice;
};
