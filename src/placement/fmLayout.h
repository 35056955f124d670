#pragma once

#include "HostedView.h"

class TLayoutMainFM : public HostedView {
    Q_OBJECT
public:
    explicit TLayoutMainFM(QWidget *parent = nullptr);
    void FindNode(const QString &Kind, int ID);
};
