#pragma once

#include "HostedView.h"

class TNetUserFM : public HostedView {
    Q_OBJECT
public:
    explicit TNetUserFM(QWidget *parent = nullptr);
    void RefreshDCUser(int ID);
    void RefreshWorkplace(int ID);
};
