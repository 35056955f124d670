#pragma once

#include "HostedView.h"

class TDocumentListFM : public HostedView {
    Q_OBJECT
public:
    explicit TDocumentListFM(QWidget *parent = nullptr);
    void RefreshDoc(int ID, int IDPos);
    void RefreshComponent(int Component);
};
