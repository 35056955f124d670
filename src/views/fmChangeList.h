#pragma once

#include "HostedView.h"

class TChangeListFM : public HostedView {
    Q_OBJECT
public:
    explicit TChangeListFM(QWidget *parent = nullptr);
};
