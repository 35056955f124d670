#pragma once

#include "HostedView.h"

class TModelListFM : public HostedView {
    Q_OBJECT
public:
    explicit TModelListFM(QWidget *parent = nullptr);
    void RefreshComponent(int Component);
};
