#pragma once

#include "HostedView.h"

class TNetComputerFM : public HostedView {
    Q_OBJECT
public:
    explicit TNetComputerFM(QWidget *parent = nullptr);
    void RefreshNet(int ID);
    void RefreshWorkPlace(int ID);
};
