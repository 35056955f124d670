#include "fmModelList.h"

TModelListFM::TModelListFM(QWidget *parent) : HostedView(QStringLiteral("Размещение моделей"), parent)
{
    setObjectName(QStringLiteral("TModelListFM"));
}

void TModelListFM::RefreshComponent(int Component) { calls << QStringLiteral("RefreshComponent(%1)").arg(Component); }


