#pragma once

#include "data/DataSet.h"
#include "data/Settings.h"
#include "ui/HostedView.h"
#include "views/ViewLinks.h"

#include <QDate>

class Action;
class ActionList;
class DataGrid;
class QDateEdit;
class QMenu;
class QSplitter;
class QToolBar;
class QToolButton;

// The incoming documents view: every document with its supplier and total, and the positions of the
// current one. Documents are added, changed, deleted and printed here.
class TDocumentListFM : public HostedView {
    Q_OBJECT
public:
    explicit TDocumentListFM(QWidget *parent = nullptr);
    ~TDocumentListFM() override;

    // Its ways out into the dialogs and the other tabs; filled by the shell.
    ViewLinks links;

    // Reopens the documents on document ID (-1: the current one) and, when IDPos > 0, on that
    // position.
    void RefreshDoc(int ID, int IDPos);
    // Positions the view on the document and position the element came with.
    void RefreshComponent(int Component);

    QToolBar *tbDoc;
    QDateEdit *dtDoc;
    QToolButton *btChain;
    QMenu *pmChain;
    QSplitter *spDoc;
    DataGrid *grDoc, *grSpec;
    DataSet *taDoc, *taSpec;
    ActionList *actions;
    Action *acInsertDoc, *acEditDoc, *acDeleteDoc, *acDocPrint, *acRefreshDoc, *acGoDevice, *acDocKind,
        *acDocTrademark, *acDocShipper;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // The first day the list shows; invalid when it shows every document.
    QDate listedFrom() const;
    void buildActions();
    void buildLayout();
    void loadSettings();
    void saveSettings();
    void insertDoc();
    void editDoc();
    void deleteDoc();

    PropertyStore stDoc{QStringLiteral("Document.Form")};
};
