#pragma once

#include "data/DataSet.h"
#include "data/Settings.h"
#include "placement/PlaceTree.h"
#include "ui/HostedView.h"
#include "views/ViewLinks.h"

#include <QHash>
#include <QSet>
#include <functional>
#include <utility>
#include <vector>

class Action;
class ActionList;
class DataGrid;
class QAbstractItemView;
class QLabel;
class QMenu;
class QSplitter;
class QToolBar;
class QToolButton;
class QTreeView;

// The placement view: the tree of departments, workplaces and devices, the bookmarks beside it and
// the complete set of the selected device below it.
class TLayoutMainFM : public HostedView {
    Q_OBJECT
public:
    explicit TLayoutMainFM(QWidget *parent = nullptr);
    ~TLayoutMainFM() override;

    // The selected node; loading the tree first when it holds no node (then the kind is empty).
    QString SelectedKind();
    int SelectedId() const;
    int SelectedHigher() const;
    QString SelectedCaption() const;
    void ReloadTree();
    void FindNode(const QString &Kind, int ID);
    void FindAny(const QString &Kind, int ID);

    // The complete set of the selected device.
    void ShowSetType(const QString &type);
    void ReopenSet();
    QString setType() const { return FSetType; }

    // Bookmarks.
    void RefreshFavorite(const QVariant &key);

    // Dialogs the commands open (each returns true when the user saved). Set by the program; a
    // command whose dialog is not set stays disabled.
    std::function<bool(int dprt, int higher, int *newKey)> runDepartmentEdit;
    std::function<bool(int work, int dprt, int *newKey)> runWorkplaceEdit;
    std::function<bool(int device, int place)> runDeviceEdit;
    std::function<bool(int compSet, int device, const QString &kindType)> runElementEdit;
    std::function<bool(int compSet)> runElementMoveList;
    // The move dialog prepared for moving an element onto a device (waits for the user's save).
    std::function<bool(int compSet, int device)> runElementMove;
    // The jumps into the other tabs, the chain menu's catalogue lists and the reports.
    ViewLinks links;

    // Moving the current element by dragging it from the set grid onto a device in the tree: a
    // device other than the one shown takes it, through the move dialog.
    bool canDropElement(const QModelIndex &node);
    void dropElement(int element, const QModelIndex &node);

    // Components, by their names.
    QToolBar *tbMain, *tbSet;
    QSplitter *pnStructure, *spSet;
    QTreeView *tvPlace;
    DataGrid *grFavorite, *grSet;
    QWidget *pnSet, *pnFavorite;
    QLabel *laFavorite; // the bookmarks' title
    QMenu *pmFavorite, *pmReport, *pmChain;
    QMenu *pmPlace, *pmSet; // context menus of the tree and the set grid
    QToolButton *btSetH, *btSetM, *btSetS, *btMove;
    DataSet *taSet, *taFavorite, *spFavoriteDo;
    PlaceTreeModel *treeModel;
    ActionList *actions;
    Action *acAddDprt, *acAddPlace, *acAddDevice, *acDevClone, *acRefresh, *acEdit, *acDelete,
        *acAddToFavorite, *acPrint, *acUp, *acDown, *acGoNet, *acGoUser;
    Action *acSetH, *acSetM, *acSetS, *acSetInset, *acSetClone, *acSetEdit, *acSetDelete, *acSetMove,
        *acGoDocument, *acGoModel;
    Action *acCall, *caFavoriteDelete;
    Action *acHistory, *acSetHistory; // "История" of the tree's node and of the set's element
    Action *acLabels;                 // "Этикетки…" of the tree's node, with all under it
    Action *acStocktake; // "Инвентаризация" of the selected department or workplace
    Action *miLastMove, *btPrevention, *acChainKind, *acChainModel, *acChainClient;

protected:
    void showEvent(QShowEvent *e) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void buildActions();
    void buildLayout();
    void buildKeysAndMenus();
    bool runAction(Action *action); // when enabled; false when not
    void fitSetColumns();
    QString currentKind() const; // the selected node's kind, without loading anything
    void restoreExpanded();
    void followFavorite();
    void buildNavigation(); // jumps, chain menu and reports (fmLayoutNavigation.cpp)
    void selectIndex(const QModelIndex &index);
    void selectionChanged(const QModelIndex &current);
    void addToFavorite();
    void callFavorite();
    void deleteFavorite();
    void execFavorite(int operation, const QString &key, const QString &name = {});
    void moveNode(int direction);
    void deleteNode();
    void cloneDevice();
    void addDepartment();
    void addWorkplace();
    void addDevice();
    void editNode();
    void cloneElement();
    void deleteElement();
    void editElement();
    void insertElement();
    void moveElement();
    void setupElementDrag();
    void printLabels(); // "Этикетки…" for the selected node

    QString FSetType = QStringLiteral("H");
    PropertyStore stLayout{QStringLiteral("Layout.Form")};
    bool m_settingsLoaded = false;
    bool m_loadFailed = false;    // a failed load is shown once, not at every idle moment
    bool m_treeLoaded = false;    // a load succeeded: an empty tree is really empty
    bool m_keepBookmarks = false; // a selection made by the program itself, not a visit
    QSet<qint64> m_expanded;      // the expanded nodes (PlaceTreeModel::nodeKey), kept over reloads
    // The keys of each panel and the action each runs (chosen when the key is pressed).
    QHash<QObject *, std::vector<std::pair<int, std::function<Action *()>>>> m_keys;
};
