#include "fmDocumentList.h"

TDocumentListFM::TDocumentListFM(QWidget *parent) : HostedView(QStringLiteral("Приходные документы"), parent)
{
    setObjectName(QStringLiteral("TDocumentListFM"));
}

void TDocumentListFM::RefreshDoc(int ID, int IDPos) { calls << QStringLiteral("RefreshDoc(%1, %2)").arg(ID).arg(IDPos); }

void TDocumentListFM::RefreshComponent(int Component) { calls << QStringLiteral("RefreshComponent(%1)").arg(Component); }


