#pragma once

#include "HostedView.h"

class TSearchFM : public HostedView {
    Q_OBJECT
public:
    explicit TSearchFM(QWidget *parent = nullptr);
};
