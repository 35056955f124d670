#pragma once

#include "data/DataSet.h"
#include "data/Settings.h"
#include "ui/HostedView.h"
#include "views/ViewLinks.h"

class Action;
class ActionList;
class DataGrid;
class DBEdit;
class QMenu;
class QSplitter;
class QToolBar;
class QToolButton;

// The model placement view: a type, a kind of that type and a model of that kind, and every
// element of the model with its place, supplier, document and warranty. The model shown last is
// remembered across runs.
class TModelListFM : public HostedView {
    Q_OBJECT
public:
    explicit TModelListFM(QWidget *parent = nullptr);
    ~TModelListFM() override;

    // Its ways out into the dialogs and the other tabs; filled by the shell.
    ViewLinks links;

    void ShowKindType(const QString &type);
    void RefreshModel(int Model);
    void RefreshComponent(int Component);
    QString kindType() const { return FKindType; }
    // The model whose elements are shown (-1 when the list is closed or empty).
    int rememberedModel() const { return m_model; }

    QWidget *pnForm; // everything the view shows; trimmed to whole rows of grModel
    QToolBar *tbModel, *tbSet;
    QToolButton *btH, *btM, *btS, *btChain, *btMoving, *btLayout;
    QMenu *pmChain;
    QSplitter *pnModel;
    QWidget *pnSet;
    DataGrid *grKind, *grModel, *grPlace;
    DBEdit *edDepartment, *edWorkplace, *edDevice, *edClient, *edDocument, *edWarranty;
    DataSet *taKind, *taModel, *taSet;
    ActionList *actions;
    Action *acH, *acM, *acS, *acElementEdit, *caElementRefresh, *acMoving, *asGoDevice, *acGoDocunent,
        *acChainKind, *acChainModel, *acChainProducer;

protected:
    void resizeEvent(QResizeEvent *e) override;

private:
    void buildActions();
    void buildLayout();
    void editElement();
    void chainModel();
    void fitToRows();

    QString FKindType = QStringLiteral("H");
    int m_model = -1;
    PropertyStore stModel{QStringLiteral("Model.Form")};
};
