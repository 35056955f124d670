#include "placement/fmLayout.h"

#include "data/Errors.h"
#include "data/TessalADO.h"
#include "data/TessalDialog.h"
#include "data/TessalString.h"
#include "data/dmTessalData.h"
#include "model/dmChainData.h"
#include "placement/ElementDrag.h"
#include "placement/dgImport.h"
#include "placement/dgLabels.h"
#include "placement/fmStocktake.h"
#include "ui/Actions.h"
#include "ui/BusyCursor.h"
#include "ui/DataGrid.h"
#include "ui/EmptyNote.h"
#include "ui/Fonts.h"
#include "ui/ImageList.h"
#include "ui/Seams.h"

#include <QEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QScopedValueRollback>
#include <QSplitter>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QTreeView>
#include <QVBoxLayout>

namespace {

Connection *shared() {
    return dmTessal ? &dmTessal->cnGeneral : nullptr;
}

// The columns of the set grid, in order.
enum SetColumn { SetColumnKind, SetColumnModel, SetColumnNumber, SetColumnCode };

// The element code: the key in upper-case hexadecimal, at least four digits, never cut.
QVariant hexCode(const DataSet &ds) {
    const Field *id = ds.findField(QStringLiteral("ID"));
    if (!id || id->isNull())
        return {};
    return QString::number(id->asInt(), 16).toUpper().rightJustified(4, u'0');
}

} // namespace

TLayoutMainFM::TLayoutMainFM(QWidget *parent) : HostedView(QStringLiteral("Вычислительная техника"), parent) {
    setObjectName(QStringLiteral("TLayoutMainFM"));

    taSet = new DataSet(shared(), this);
    taSet->setObjectName(QStringLiteral("taSet"));
    taSet->setCommand(QStringLiteral("GridCompleteSet;1"), CommandType::StoredProc);
    taSet->setReadOnly(true);
    taSet->addField({QStringLiteral("ID"), FieldType::Integer, 0, true});
    taSet->addField({QStringLiteral("Kind"), FieldType::String, 20});
    taSet->addField({QStringLiteral("Model"), FieldType::String, 102, true});
    taSet->addField({QStringLiteral("Number"), FieldType::String, 50});
    taSet->addField({QStringLiteral("HEXCode"), FieldType::String, 0, true, {}, hexCode});
    taSet->addField({QStringLiteral("Type"), FieldType::FixedChar, 1});
    taSet->addField({QStringLiteral("Document"), FieldType::Integer});
    taSet->addField({QStringLiteral("DocumentPosition"), FieldType::SmallInt});
    taSet->addField({QStringLiteral("IDKind"), FieldType::SmallInt, 0, true});
    taSet->addField({QStringLiteral("IDModel"), FieldType::Integer, 0, true});

    taFavorite = new DataSet(shared(), this);
    taFavorite->setObjectName(QStringLiteral("taFavorite"));
    taFavorite->setCommand(QStringLiteral("GridFavorite;1"), CommandType::StoredProc);
    taFavorite->setReadOnly(true);

    spFavoriteDo = new DataSet(shared(), this);
    spFavoriteDo->setObjectName(QStringLiteral("spFavoriteDo"));
    spFavoriteDo->setCommand(QStringLiteral("ExecFavorite;1"), CommandType::StoredProc);

    treeModel = new PlaceTreeModel(this);
    // The tree comes a branch at a time: the departments first, the rest as it is opened or looked for.
    auto treeCall = [this](const char *procedure, const QString &kind, int id) {
        Connection *cn = shared();
        if (!cn)
            throw AppError(QStringLiteral("Нет соединения с базой данных"));
        const QString name = QString::fromLatin1(procedure);
        QVector<Parameter> params = procedureParameters(name);
        params[1].value = kind.isEmpty() ? QVariant() : QVariant(kind);
        params[2].value = kind.isEmpty() ? QVariant() : QVariant(id);
        return callProcedure(*cn, name, params);
    };
    treeModel->setSources(
        [treeCall](const QString &kind, int id) { return treeCall("LoadTreeBranch;1", kind, id); },
        [treeCall](const QString &kind, int id) { return treeCall("TreePath;1", kind, id); });
    if (dmTessal)
        treeModel->setIcons(ToolBarImages().icon(Img::Department), ToolBarImages().icon(Img::Workplace),
                            ToolBarImages().icon(Img::Device));

    buildActions();
    buildLayout();
    new EmptyNote(tvPlace, [this] {
        return m_treeLoaded
                   ? QStringLiteral("Подразделений ещё нет: начните с кнопки «Подразделение» (D) на панели "
                                    "выше или клавиши Insert, или загрузите готовую таблицу: «Таблица» → "
                                    "«Импорт…».")
                   : QString();
    });
    new EmptyNote(grSet, [this] {
        return currentKind() == u"V" && taSet->isActive()
                   ? QStringLiteral("В комплекте нет элементов этого вида. Выберите вид кнопками H, M, S и "
                                    "добавьте элемент кнопкой «+» или клавишей Insert.")
                   : QString();
    });
    buildNavigation();
    buildKeysAndMenus();
    setupElementDrag();

    // The bookmark list is open from the start; its first row names the start node.
    Guarded([&] { OpenWithParams(*taFavorite, {}); });
}

TLayoutMainFM::~TLayoutMainFM() {
    EndEmptyNotes(this);
    if (m_settingsLoaded) {
        Guarded([&] {
            stLayout.write(QStringLiteral("pnSet.<P>.Height"), pnSet->height());
            stLayout.write(QStringLiteral("pnStructure.grFavorite.<P>.Width"), grFavorite->width());
        });
    }
}

void TLayoutMainFM::buildActions() {
    actions = new ActionList(this);
    auto act = [&](const char *name, const QString &text, const QString &hint, int image) {
        auto *a = new Action(this, QString::fromLatin1(name), text, hint, image);
        actions->add(a);
        return a;
    };
    // Rules read the state only: the tree is loaded by the view's first show and by the commands.
    auto kindIs = [this](const QString &kinds) {
        return [this, kinds] {
            const QString k = currentKind();
            return !k.isEmpty() && kinds.contains(k);
        };
    };

    acAddDprt = act("acAddDprt", QStringLiteral("Подразделение"),
                    QStringLiteral("Добавление\r\nподразделения"), Img::Department);
    // Also on an empty tree, once it was loaded: otherwise nothing could add the first department.
    // A tree that failed to load is not empty, only unknown.
    acAddDprt->setEnabledWhen([this, k = kindIs("D")] {
        return runDepartmentEdit && (k() || (m_treeLoaded && treeModel->nodeCount() == 0));
    });
    acAddDprt->onTrigger([this] { addDepartment(); });
    acAddPlace = act("acAddPlace", QStringLiteral("Рабочее место"),
                     QStringLiteral("Добавление\r\nрабочего места"), Img::Workplace);
    acAddPlace->setEnabledWhen([this, k = kindIs("DW")] { return runWorkplaceEdit && k(); });
    acAddPlace->onTrigger([this] { addWorkplace(); });
    acAddDevice = act("acAddDevice", QStringLiteral("Устройство"), QStringLiteral("Добавление\r\nустройства"),
                      Img::Device);
    acAddDevice->setEnabledWhen([this, k = kindIs("WV")] { return runDeviceEdit && k(); });
    acAddDevice->onTrigger([this] { addDevice(); });
    acDevClone = act("acDevClone", QStringLiteral("Клонирование"), QStringLiteral("Клонирование устройства."),
                     Img::Clone);
    acDevClone->setEnabledWhen(kindIs("V"));
    acDevClone->onTrigger([this] { cloneDevice(); });
    acRefresh =
        act("acRefresh", QStringLiteral("Обновить"), QStringLiteral("Обновление\r\nданных"), Img::Refresh);
    acRefresh->onTrigger([this] {
        m_loadFailed = false;
        if (treeModel->nodeCount() == 0)
            SelectedKind(); // loads and picks the start node, as the first show does
        else
            ReloadTree();
    });
    acEdit = act("acEdit", QStringLiteral("Изменить"), QStringLiteral("Редактирование"), Img::Edit);
    acEdit->setEnabledWhen([this] { return runDepartmentEdit || runWorkplaceEdit || runDeviceEdit; });
    acEdit->onTrigger([this] { editNode(); });
    static const QString DeleteHint = QStringLiteral("Удаление");
    acDelete = act("acDelete", QStringLiteral("Удалить"), DeleteHint, Img::Delete);
    acDelete->setEnabledWhen([this] {
        const QString kind = currentKind();
        const bool childless = kind.isEmpty() || !treeModel->hasChildren(tvPlace->currentIndex());
        // The hint (and the status line) says why a node with children cannot be deleted.
        const QString hint =
            childless      ? DeleteHint
            : kind == u"D" ? QStringLiteral("Удаление\r\nПодразделение нельзя удалить, пока в нём есть "
                                            "рабочие места или подразделения: сначала удалите их.")
                           : QStringLiteral("Удаление\r\nРабочее место нельзя удалить, пока на нём есть "
                                            "устройства: сначала удалите или перенесите их.");
        if (acDelete->hint() != hint)
            acDelete->setHint(hint);
        return !kind.isEmpty() && childless;
    });
    acDelete->onTrigger([this] { deleteNode(); });
    acAddToFavorite = act("acAddToFavorite", QStringLiteral("Добавить закладку"),
                          QStringLiteral("Добавить закладку."), Img::Favorite);
    acAddToFavorite->setEnabledWhen([this] { return !currentKind().isEmpty(); });
    acAddToFavorite->onTrigger([this] { addToFavorite(); });
    acPrint = act("acPrint", QStringLiteral("Печать"), QStringLiteral("Печать"), Img::Print);
    acPrint->setEnabledWhen([] { return false; });
    acUp = act("acUp", QStringLiteral("Вверх"), QStringLiteral("Вверх"), Img::Up);
    acUp->setEnabledWhen(kindIs("DW"));
    acUp->onTrigger([this] { moveNode(-1); });
    acDown = act("acDown", QStringLiteral("Вниз"), QStringLiteral("Вниз"), Img::Down);
    acDown->setEnabledWhen(kindIs("DW"));
    acDown->onTrigger([this] { moveNode(1); });
    acGoNet =
        act("acGoNet", QStringLiteral("Сеть"), QStringLiteral("Перейти к сетевому компьютеру"), Img::Net);
    acGoNet->setEnabledWhen([] { return false; });
    acGoUser =
        act("acGoUser", QStringLiteral("Пользователь"), QStringLiteral("Перейти к пользователю"), Img::User);
    acGoUser->setEnabledWhen([] { return false; });

    auto isDevice = kindIs("V");
    auto hasRows = [this] { return HasRecords(*taSet); };
    acSetH = act("acSetH", QStringLiteral("Оборудование"), QStringLiteral("Оборудование,\r\nкомплектующие."),
                 Img::Hardware);
    acSetH->setEnabledWhen(isDevice);
    acSetH->onTrigger([this] { ShowSetType(QStringLiteral("H")); });
    acSetM =
        act("acSetM", QStringLiteral("Материалы"), QStringLiteral("Расходные\r\nматериалы"), Img::Material);
    acSetM->setEnabledWhen(isDevice);
    acSetM->onTrigger([this] { ShowSetType(QStringLiteral("M")); });
    acSetS = act("acSetS", QStringLiteral("Программы"), QStringLiteral("Программное\r\nОбеспечение"),
                 Img::Software);
    acSetS->setEnabledWhen(isDevice);
    acSetS->onTrigger([this] { ShowSetType(QStringLiteral("S")); });
    acSetInset = act("acSetInset", QStringLiteral("Добавить"), QStringLiteral("Добавление."), Img::Add);
    acSetInset->setEnabledWhen([this, isDevice] { return runElementEdit && isDevice(); });
    acSetInset->onTrigger([this] { insertElement(); });
    acSetClone = act("acSetClone", QStringLiteral("Клонирование"),
                     QStringLiteral("Клонирование комплектующего."), Img::Clone);
    acSetClone->setEnabledWhen(hasRows);
    acSetClone->onTrigger([this] { cloneElement(); });
    acSetEdit = act("acSetEdit", QStringLiteral("Изменить"), QStringLiteral("Изменение."), Img::Edit);
    acSetEdit->setEnabledWhen([this, hasRows] { return runElementEdit && hasRows(); });
    acSetEdit->onTrigger([this] { editElement(); });
    acSetDelete = act("acSetDelete", QStringLiteral("Удалить"), QStringLiteral("Удаление."), Img::Delete);
    acSetDelete->setEnabledWhen(hasRows);
    acSetDelete->onTrigger([this] { deleteElement(); });
    acSetMove =
        act("acSetMove", QStringLiteral("Переместить"),
            QStringLiteral("Перемещение по устройствам,\r\nрабочим местам или подразделениям."), Img::Move);
    acSetMove->setEnabledWhen([this, hasRows] { return runElementMoveList && hasRows(); });
    acSetMove->onTrigger([this] { moveElement(); });
    acHistory = act("acHistory", QStringLiteral("История"),
                    QStringLiteral("Кто и когда менял это и то, что в нём."), Img::Edit);
    acHistory->setEnabledWhen([this] { return links.history && !currentKind().isEmpty(); });
    acHistory->onTrigger([this] {
        static const QHash<QString, QString> kinds = {{QStringLiteral("D"), QStringLiteral("Department")},
                                                      {QStringLiteral("W"), QStringLiteral("Workplace")},
                                                      {QStringLiteral("V"), QStringLiteral("DeviceUnit")}};
        const QString kind = kinds.value(SelectedKind().toUpper());
        if (!kind.isEmpty())
            links.RunHistory(kind, SelectedId(), treeModel->caption(tvPlace->currentIndex()));
    });
    acLabels = act(
        "acLabels", QStringLiteral("Этикетки…"),
        QStringLiteral(
            "Этикетки с кодами для устройств подразделения,\r\nрабочего места или для одного устройства."),
        Img::Print);
    acLabels->setEnabledWhen([this, k = kindIs("DWV")] { return shared() && k(); });
    acLabels->onTrigger([this] { printLabels(); });
    acStocktake = act("acStocktake", QStringLiteral("Инвентаризация"),
                      QStringLiteral("Инвентаризация подразделения или рабочего места по сканеру этикеток"),
                      Img::Check);
    acStocktake->setEnabledWhen([this, kindIs] { return shared() && kindIs("DW")(); });
    acStocktake->onTrigger([this] {
        const QString kind = SelectedKind().toUpper();
        if (kind == u"D" || kind == u"W")
            TStocktakeFM::Open(*shared(), kind, SelectedId(), treeModel->caption(tvPlace->currentIndex()),
                               this);
    });
    acSetHistory = act("acSetHistory", QStringLiteral("История"),
                       QStringLiteral("Кто и когда менял элемент и перемещал его."), Img::Edit);
    acSetHistory->setEnabledWhen([this, hasRows] { return links.history && hasRows(); });
    acSetHistory->onTrigger([this] {
        links.RunHistory(QStringLiteral("CompleteSet"), taSet->value(QStringLiteral("ID")).toInt(),
                         taSet->value(QStringLiteral("HEXCode")).toString());
    });
    acGoDocument =
        act("acGoDocument", QStringLiteral("Документ"), QStringLiteral("Приходный документ."), Img::Document);
    acGoDocument->setEnabledWhen([] { return false; });
    acGoModel = act("acGoModel", QStringLiteral("Модель"), QStringLiteral("Модель."), Img::Model);
    acGoModel->setEnabledWhen([] { return false; });

    auto hasFavorites = [this] { return HasRecords(*taFavorite); };
    acCall = act("acCall", QStringLiteral("Вызвать"), QStringLiteral("Вызвать"), Img::Call);
    acCall->setEnabledWhen(hasFavorites);
    acCall->onTrigger([this] { callFavorite(); });
    caFavoriteDelete = act("caFavoriteDelete", QStringLiteral("Удалить закладку"),
                           QStringLiteral("Удалить закладку"), Img::FavoriteDelete);
    caFavoriteDelete->setEnabledWhen(hasFavorites);
    caFavoriteDelete->onTrigger([this] { deleteFavorite(); });
}

void TLayoutMainFM::buildLayout() {
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    tbMain = viewToolBar(this, "tbMain");
    for (Action *a : {acAddDprt, acAddPlace, acAddDevice, acDevClone})
        addToolButton(tbMain, a);
    tbMain->addSeparator();
    for (Action *a : {acRefresh, acEdit, acDelete})
        addToolButton(tbMain, a);
    tbMain->addSeparator();
    addToolButton(tbMain, acAddToFavorite)->setObjectName(QStringLiteral("tbFavorite"));
    tbMain->addSeparator();
    addToolButton(tbMain, acPrint);
    tbMain->addSeparator();
    pmReport = new QMenu(QStringLiteral("Отчёты"), this);
    pmReport->setObjectName(QStringLiteral("pmReport"));
    auto *reports = new QToolButton(tbMain);
    reports->setText(QStringLiteral("Отчёты"));
    reports->setToolTip(QStringLiteral("Отчёты"));
    reports->setMenu(pmReport);
    reports->setPopupMode(QToolButton::InstantPopup);
    tbMain->addWidget(reports);
    // The inventory from and to a spreadsheet.
    auto *sheet = new QMenu(QStringLiteral("Таблица"), this);
    sheet->setObjectName(QStringLiteral("pmSheet"));
    sheet->addAction(QStringLiteral("Импорт…"), this, [this] {
        Guarded([this] {
            if (dmTessal && RunInventoryImport(dmTessal->cnGeneral, this))
                ReloadTree();
        });
    });
    sheet->addAction(QStringLiteral("Экспорт…"), this, [this] {
        Guarded([this] {
            if (dmTessal)
                RunInventoryExport(dmTessal->cnGeneral, QString(), QString(), this);
        });
    });
    sheet->addAction(QStringLiteral("Экспорт ветви…"), this, [this] {
        Guarded([this] {
            const QString kind = SelectedKind().toUpper();
            if (dmTessal && !kind.isEmpty())
                RunInventoryExport(dmTessal->cnGeneral, MakeKey(kind, SelectedId()), SelectedCaption(), this);
        });
    });
    auto *sheetButton = new QToolButton(tbMain);
    sheetButton->setObjectName(QStringLiteral("tbSheet"));
    sheetButton->setText(QStringLiteral("Таблица"));
    sheetButton->setToolTip(QStringLiteral("Импорт и экспорт инвентаря в таблицу CSV или Excel"));
    sheetButton->setMenu(sheet);
    sheetButton->setPopupMode(QToolButton::InstantPopup);
    tbMain->addWidget(sheetButton);
    tbMain->addSeparator();
    addToolButton(tbMain, acUp);
    addToolButton(tbMain, acDown);
    tbMain->addSeparator();
    addToolButton(tbMain, acGoNet);
    addToolButton(tbMain, acGoUser);
    layout->addWidget(tbMain);

    spSet = new QSplitter(Qt::Vertical, this);
    spSet->setObjectName(QStringLiteral("spSet"));
    spSet->setChildrenCollapsible(false);
    layout->addWidget(spSet, 1);

    pnStructure = new QSplitter(Qt::Horizontal, spSet);
    pnStructure->setObjectName(QStringLiteral("pnStructure"));
    pnStructure->setChildrenCollapsible(false);
    tvPlace = new QTreeView(pnStructure);
    tvPlace->setObjectName(QStringLiteral("tvPlace"));
    tvPlace->setModel(treeModel);
    tvPlace->setHeaderHidden(true);
    tvPlace->setIndentation(19);
    tvPlace->setEditTriggers(QAbstractItemView::NoEditTriggers);
    tvPlace->setUniformRowHeights(true);     // keeps a tree of a hundred thousand nodes fast
    tvPlace->setExpandsOnDoubleClick(false); // a double click edits the node; the arrows expand
    QPalette pal = tvPlace->palette();
    pal.setColor(QPalette::Inactive, QPalette::Highlight, pal.color(QPalette::Active, QPalette::Highlight));
    pal.setColor(QPalette::Inactive, QPalette::HighlightedText,
                 pal.color(QPalette::Active, QPalette::HighlightedText));
    tvPlace->setPalette(pal);
    connect(tvPlace->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex &current) { Guarded([&] { selectionChanged(current); }); });
    connect(tvPlace, &QTreeView::expanded, this, [this](const QModelIndex &i) {
        m_expanded.insert(PlaceTreeModel::nodeKey(treeModel->reference(i)));
    });
    connect(tvPlace, &QTreeView::collapsed, this, [this](const QModelIndex &i) {
        m_expanded.remove(PlaceTreeModel::nodeKey(treeModel->reference(i)));
    });

    pnFavorite = new QWidget(pnStructure);
    pnFavorite->setObjectName(QStringLiteral("pnFavorite"));
    auto *favoriteLayout = new QVBoxLayout(pnFavorite);
    favoriteLayout->setContentsMargins(0, 0, 0, 0);
    favoriteLayout->setSpacing(2);
    laFavorite = new QLabel(QStringLiteral("Закладки"), pnFavorite);
    laFavorite->setObjectName(QStringLiteral("laFavorite"));
    laFavorite->setContentsMargins(4, 2, 4, 0);
    favoriteLayout->addWidget(laFavorite);
    grFavorite = new DataGrid(pnFavorite);
    grFavorite->setObjectName(QStringLiteral("grFavorite"));
    grFavorite->setDataSet(taFavorite);
    grFavorite->setColumns({GridColumn{QStringLiteral("Name"), QString(), 300, true}});
    grFavorite->horizontalHeader()->hide();
    grFavorite->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    grFavorite->setWordWrap(true);
    // Every row as high as its text, a long name wrapped over several lines.
    grFavorite->verticalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    favoriteLayout->addWidget(grFavorite, 1);
    connect(grFavorite, &DataGrid::rowDoubleClicked, this, [this] { Guarded([&] { callFavorite(); }); });
    pmFavorite = new QMenu(this);
    pmFavorite->setObjectName(QStringLiteral("pmFavorite"));
    pmFavorite->addAction(acCall);
    pmFavorite->addSeparator();
    pmFavorite->addAction(acAddToFavorite);
    pmFavorite->addAction(caFavoriteDelete);
    grFavorite->addExportCommands(pmFavorite);
    grFavorite->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(grFavorite, &QWidget::customContextMenuRequested, this, [this](const QPoint &p) {
        actions->updateAll();
        pmFavorite->popup(grFavorite->viewport()->mapToGlobal(p));
    });
    pnStructure->addWidget(tvPlace);
    pnStructure->addWidget(pnFavorite);
    pnStructure->setStretchFactor(0, 1);
    pnStructure->setStretchFactor(1, 0);
    pnStructure->setSizes({700, 317});

    pnSet = new QWidget(spSet);
    pnSet->setObjectName(QStringLiteral("pnSet"));
    auto *setLayout = new QVBoxLayout(pnSet);
    setLayout->setContentsMargins(0, 0, 0, 0);
    setLayout->setSpacing(0);
    tbSet = viewToolBar(pnSet, "tbSet");
    btSetH = addToolButton(tbSet, acSetH);
    btSetH->setObjectName(QStringLiteral("btSetH"));
    btSetM = addToolButton(tbSet, acSetM);
    btSetM->setObjectName(QStringLiteral("btSetM"));
    btSetS = addToolButton(tbSet, acSetS);
    btSetS->setObjectName(QStringLiteral("btSetS"));
    exclusiveGroup(this, {acSetH, acSetM, acSetS});
    acSetH->setChecked(true);
    tbSet->addSeparator();
    for (Action *a : {acSetInset, acSetClone, acSetEdit, acSetDelete})
        addToolButton(tbSet, a);
    btMove = addToolButton(tbSet, acSetMove);
    btMove->setObjectName(QStringLiteral("btMove"));
    tbSet->addSeparator();
    pmChain = new QMenu(QStringLiteral("Цепочка"), this);
    pmChain->setObjectName(QStringLiteral("pmChain"));
    auto *chain = new QToolButton(tbSet);
    chain->setObjectName(QStringLiteral("btChain"));
    chain->setText(QStringLiteral("Цепочка"));
    chain->setToolTip(QStringLiteral("Справочники: типы, модели, производители и поставщики"));
    chain->setMenu(pmChain);
    chain->setPopupMode(QToolButton::InstantPopup);
    tbSet->addWidget(chain);
    addToolButton(tbSet, acGoDocument);
    addToolButton(tbSet, acGoModel);
    setLayout->addWidget(tbSet);

    grSet = new DataGrid(pnSet);
    grSet->setObjectName(QStringLiteral("grSet"));
    grSet->setDataSet(taSet);
    grSet->setColumns({GridColumn{QStringLiteral("Kind"), QStringLiteral("Тип"), 100, false, Qt::AlignCenter,
                                  Qt::AlignCenter},
                       GridColumn{QStringLiteral("Model"), QStringLiteral("Модель"), 300, true},
                       GridColumn{QStringLiteral("Number"), QStringLiteral("Номер"), 120},
                       GridColumn{QStringLiteral("HEXCode"), QStringLiteral("Код"), 46, false,
                                  Qt::AlignCenter, Qt::AlignCenter, QStringLiteral("ID")}});
    SortOnTitles(*grSet); // the code sorts by the element's key, which it shows
    QHeaderView *setHeader = grSet->horizontalHeader();
    setHeader->setSectionResizeMode(SetColumnKind, QHeaderView::Fixed);
    setHeader->setSectionResizeMode(SetColumnModel, QHeaderView::Interactive);
    setHeader->setSectionResizeMode(SetColumnCode, QHeaderView::Fixed);
    grSet->viewport()->installEventFilter(this); // its resizes share the room among the stretched columns
    grSet->setCellStyle([](const DataSet &, int, const GridColumn &c, QFont &font, QColor &, QColor &) {
        if (c.field == u"Kind")
            ApplyNamedFont(font, QStringLiteral("Impact"));
        else if (c.field == u"HEXCode")
            ApplyNamedFont(font, QStringLiteral("Courier New"));
    });
    grSet->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    connect(grSet, &DataGrid::rowDoubleClicked, this, [this] {
        acSetEdit->updateEnabled();
        if (acSetEdit->isEnabled())
            acSetEdit->trigger();
    });
    setLayout->addWidget(grSet, 1);

    spSet->addWidget(pnStructure);
    spSet->addWidget(pnSet);
    spSet->setStretchFactor(0, 1);
    spSet->setStretchFactor(1, 0);
    spSet->setSizes({400, 267});
}

void TLayoutMainFM::showEvent(QShowEvent *e) {
    if (!m_settingsLoaded) {
        m_settingsLoaded = true;
        Guarded([&] {
            const QVariant h = stLayout.read(QStringLiteral("pnSet.<P>.Height"));
            const QVariant w = stLayout.read(QStringLiteral("pnStructure.grFavorite.<P>.Width"));
            if (h.isValid() && h.toInt() > 0) {
                const QList<int> s = spSet->sizes();
                const int total = s.value(0) + s.value(1);
                spSet->setSizes({std::max(total - h.toInt(), 50), h.toInt()});
            }
            if (w.isValid() && w.toInt() > 0) {
                const QList<int> s = pnStructure->sizes();
                const int total = s.value(0) + s.value(1);
                pnStructure->setSizes({std::max(total - w.toInt(), 50), w.toInt()});
            }
        });
        // The tree is loaded once the view is on the screen; a failure is shown once.
        QTimer::singleShot(0, this, [this] { Guarded([this] { SelectedKind(); }); });
    }
    HostedView::showEvent(e);
}

// ---- the tree --------------------------------------------------------------------------------

QString TLayoutMainFM::currentKind() const {
    return treeModel->reference(tvPlace->currentIndex()).Kind;
}

QString TLayoutMainFM::SelectedKind() {
    if (treeModel->nodeCount() > 0)
        return currentKind();
    if (m_loadFailed)
        return QString();
    try {
        ReloadTree();
    } catch (const AppError &) {
        m_loadFailed = true; // shown once; the refresh button tries again
        throw;
    }
    // The start node: the current bookmark's, else the first node.
    if (HasRecords(*taFavorite)) {
        const QString key = taFavorite->value(QStringLiteral("KeyObject")).toString();
        bool ok = false;
        const int id = key.mid(1).toInt(&ok);
        if (ok)
            FindNode(KeyKind(key), id);
    }
    if (!tvPlace->currentIndex().isValid())
        selectIndex(treeModel->firstNode());
    return QString();
}

int TLayoutMainFM::SelectedId() const {
    return treeModel->reference(tvPlace->currentIndex()).Id;
}

int TLayoutMainFM::SelectedHigher() const {
    return treeModel->reference(tvPlace->currentIndex()).Higher;
}

QString TLayoutMainFM::SelectedCaption() const {
    return treeModel->caption(tvPlace->currentIndex());
}

void TLayoutMainFM::ReloadTree() {
    BusyCursor busy;
    const TReference was = treeModel->reference(tvPlace->currentIndex());
    const int key = tvPlace->currentIndex().isValid() ? was.Id : -1;
    {
        // Rebuilding clears the selection; the reselection below is the one that counts.
        const QSignalBlocker block(tvPlace->selectionModel());
        treeModel->reload();
    }
    m_treeLoaded = true;
    restoreExpanded();
    if (key > 0)
        FindNode(was.Kind, key);
}

void TLayoutMainFM::restoreExpanded() {
    // The branches the user had open come back open; those whose node is gone are forgotten.
    const QSet<qint64> keys = std::exchange(m_expanded, {});
    for (const qint64 key : keys) {
        const QModelIndex index = treeModel->findKey(key);
        if (index.isValid())
            tvPlace->expand(index); // recorded again by the expanded signal
    }
}

void TLayoutMainFM::selectIndex(const QModelIndex &index) {
    if (!index.isValid() || index == tvPlace->currentIndex())
        return;
    tvPlace->setCurrentIndex(index); // runs the selection rule
    tvPlace->scrollTo(index);
}

void TLayoutMainFM::FindNode(const QString &Kind, int ID) {
    selectIndex(treeModel->find(Kind, ID));
    if (!tvPlace->currentIndex().isValid())
        selectIndex(treeModel->firstNode());
}

void TLayoutMainFM::FindAny(const QString &Kind, int ID) {
    if (!Kind.isEmpty() && QStringLiteral("HMS").contains(Kind)) {
        if (!dmChain)
            throw AppError(QStringLiteral("Нет модуля цепочек"));
        dmChain->setComponent(ID);
        FindNode(QStringLiteral("V"), dmChain->Device());
        ShowSetType(dmChain->KindType());
        taSet->locate(QStringLiteral("ID"), ID);
        return;
    }
    FindNode(Kind, ID);
}

void TLayoutMainFM::selectionChanged(const QModelIndex &current) {
    if (!m_keepBookmarks && taFavorite->isActive() && taFavorite->recordCount() < 20 && current.isValid())
        addToFavorite();
    else
        followFavorite();
    if (current.isValid() && treeModel->reference(current).Kind == u"V")
        ShowSetType(QStringLiteral("H"));
    else
        taSet->close();
}

// ---- the complete set ------------------------------------------------------------------------

void TLayoutMainFM::ShowSetType(const QString &type) {
    FSetType = type;
    acSetH->setChecked(type == u"H");
    acSetM->setChecked(type == u"M");
    acSetS->setChecked(type == u"S");
    OpenWithParams(*taSet, {TypedValue::Int(SelectedId()), TypedValue::Text(type)});
}

void TLayoutMainFM::ReopenSet() {
    const QVariant id = HasRecords(*taSet) ? taSet->value(QStringLiteral("ID")) : QVariant();
    taSet->close();
    taSet->open();
    if (!id.isNull())
        taSet->locate(QStringLiteral("ID"), id);
}

void TLayoutMainFM::insertElement() {
    if (runElementEdit && runElementEdit(-1, SelectedId(), FSetType))
        ReopenSet();
}

void TLayoutMainFM::editElement() {
    if (runElementEdit && runElementEdit(taSet->value(QStringLiteral("ID")).toInt(), -1,
                                         taSet->value(QStringLiteral("Type")).toString()))
        ReopenSet();
}

void TLayoutMainFM::moveElement() {
    if (runElementMoveList && runElementMoveList(taSet->value(QStringLiteral("ID")).toInt()))
        ReopenSet();
}

void TLayoutMainFM::cloneElement() {
    BusyCursor busy;
    QVector<Parameter> params = procedureParameters(QStringLiteral("CloneComponents;1"));
    params[1].value = taSet->value(QStringLiteral("ID"));
    callProcedure(*shared(), QStringLiteral("CloneComponents;1"), params);
    ReopenSet();
}

void TLayoutMainFM::deleteElement() {
    if (!ConfirmWarningFmt(QStringLiteral("Вы действительно хотите удалить \r\"%s\"?"),
                           {TypedValue::Text(taSet->value(QStringLiteral("Model")).toString())}))
        return;
    QVector<Parameter> params = procedureParameters(QStringLiteral("DeleteCompleteSet;1"));
    params[1].value = taSet->value(QStringLiteral("ID"));
    const int row = taSet->recNo();
    callProcedure(*shared(), QStringLiteral("DeleteCompleteSet;1"), params);
    taSet->close();
    taSet->open();
    taSet->setRecNo(std::min(row, taSet->recordCount() - 1)); // the neighbour of the deleted row
}

// ---- moving an element by drag and drop -------------------------------------------------------

void TLayoutMainFM::setupElementDrag() {
    ElementDragDrop::Handlers handlers;
    handlers.currentElement = [this] {
        return HasRecords(*taSet) ? taSet->value(QStringLiteral("ID")).toInt() : 0;
    };
    handlers.accepts = [this](const QModelIndex &node) { return canDropElement(node); };
    handlers.drop = [this](int element, const QModelIndex &node) { dropElement(element, node); };
    new ElementDragDrop(grSet, tvPlace, std::move(handlers));
}

bool TLayoutMainFM::canDropElement(const QModelIndex &node) {
    const TReference ref = treeModel->reference(node);
    return runElementMove && node.isValid() && ref.Kind == u"V" && ref.Id > 0 &&
           !(SelectedKind() == u"V" && SelectedId() == ref.Id);
}

void TLayoutMainFM::dropElement(int element, const QModelIndex &node) {
    if (!canDropElement(node))
        return;
    if (runElementMove(element, treeModel->reference(node).Id))
        ReopenSet();
}

// ---- tree commands ---------------------------------------------------------------------------

void TLayoutMainFM::addDepartment() {
    int key = -1;
    if (runDepartmentEdit && runDepartmentEdit(-1, SelectedId(), &key)) {
        ReloadTree();
        FindNode(QStringLiteral("D"), key);
    }
}

void TLayoutMainFM::addWorkplace() {
    const int dprt = SelectedKind() == u"D" ? SelectedId() : SelectedHigher();
    int key = -1;
    if (runWorkplaceEdit && runWorkplaceEdit(-1, dprt, &key)) {
        ReloadTree();
        FindNode(QStringLiteral("W"), key);
    }
}

void TLayoutMainFM::addDevice() {
    const int place = SelectedKind() == u"W" ? SelectedId() : SelectedHigher();
    if (!runDeviceEdit)
        return;
    // The dialog does not tell the new key: the new device is the one the tree did not hold before.
    // The workplace's devices are loaded first, so that they are among the nodes compared.
    treeModel->fetchBranch(treeModel->find(QStringLiteral("W"), place));
    QSet<int> before;
    treeModel->forEachNode(u'V', [&](int id, int) { before.insert(id); });
    if (!runDeviceEdit(-1, place))
        return;
    ReloadTree();
    int added = 0, addedHigher = 0;
    treeModel->forEachNode(u'V', [&](int id, int higher) {
        // Devices another workstation added meanwhile may be new as well: the one at the chosen
        // workplace wins, then the newest.
        if (before.contains(id))
            return;
        const bool better = added == 0 || (higher == place && addedHigher != place) ||
                            ((higher == place) == (addedHigher == place) && id > added);
        if (better) {
            added = id;
            addedHigher = higher;
        }
    });
    if (added != 0)
        FindNode(QStringLiteral("V"), added);
}

void TLayoutMainFM::editNode() {
    const QString kind = SelectedKind();
    bool saved = false;
    if (kind == u"D" && runDepartmentEdit)
        saved = runDepartmentEdit(SelectedId(), 0, nullptr);
    else if (kind == u"W" && runWorkplaceEdit)
        saved = runWorkplaceEdit(SelectedId(), 0, nullptr);
    else if (kind == u"V" && runDeviceEdit)
        saved = runDeviceEdit(SelectedId(), 0);
    if (saved)
        ReloadTree();
}

void TLayoutMainFM::cloneDevice() {
    BusyCursor busy;
    QVector<Parameter> params = procedureParameters(QStringLiteral("CloneDevice;1"));
    params[1].value = SelectedId();
    callProcedure(*shared(), QStringLiteral("CloneDevice;1"), params);
    ReloadTree();
}

void TLayoutMainFM::moveNode(int direction) {
    const QString kind = SelectedKind();
    const int id = SelectedId();
    QVector<Parameter> params = procedureParameters(QStringLiteral("MoveTree;1"));
    params[1].value = kind;
    params[2].value = id;
    params[3].value = direction;
    callProcedure(*shared(), QStringLiteral("MoveTree;1"), params);
    ReloadTree();
    FindNode(kind, id);
}

void TLayoutMainFM::deleteNode() {
    const QString kind = SelectedKind();
    const int id = SelectedId();
    const QString word =
        kind == u"D" ? QStringLiteral("подразделение")
                     : (kind == u"W" ? QStringLiteral("рабочее место") : QStringLiteral("устройство"));
    if (!ConfirmWarningFmt(QStringLiteral("Вы действительно хотите удалить ") + word +
                               QStringLiteral("\r\"%s\"?"),
                           {TypedValue::Text(SelectedCaption())}))
        return;
    // The node to select afterwards: the parent, or at the top level the node before it in tree
    // order (the last node of the previous branch, whether it is expanded or not).
    const QModelIndex current = tvPlace->currentIndex();
    QModelIndex after = current.parent();
    if (!after.isValid())
        after = treeModel->previousNode(current);

    QString procedure, parameter;
    if (kind == u"D") {
        procedure = QStringLiteral("DeleteDepartment;1");
    } else if (kind == u"W") {
        procedure = QStringLiteral("DeleteWorkPlace;1");
    } else {
        const QVariant type = QueryValue(
            *shared(),
            QStringLiteral(
                "SELECT Kind.KindType FROM CompleteSet INNER JOIN Model ON CompleteSet.CmplIdModel = "
                "Model.IdModel INNER JOIN Kind ON Model.ModlKind = Kind.IdKind WHERE "
                "(CompleteSet.CmplIdDevice = %1)")
                .arg(id));
        if (!type.isNull()) {
            const QString t = type.toString().trimmed();
            const QString what = t == u"H"   ? QStringLiteral("Оборудование")
                                 : t == u"S" ? QStringLiteral("Программы")
                                 : t == u"M" ? QStringLiteral("Материалы")
                                             : QStringLiteral("устройство");
            ShowErrorFmt(QStringLiteral("Сначала нужно удалить ") + what +
                             QStringLiteral("\rкомпонента \"%s\""),
                         {TypedValue::Text(SelectedCaption())});
            return;
        }
        procedure = QStringLiteral("DeleteDeviceUnit;1");
    }
    QVector<Parameter> params = procedureParameters(procedure);
    params[1].value = id;
    callProcedure(*shared(), procedure, params);
    // The node goes without a reload, and the remembered node is selected. The user went nowhere,
    // so no bookmark is added or called for it.
    const QScopedValueRollback keep(m_keepBookmarks, true);
    const QPersistentModelIndex next(after);
    {
        const QSignalBlocker block(tvPlace->selectionModel());
        treeModel->removeNode(current);
    }
    tvPlace->setCurrentIndex(QModelIndex()); // closes the set grid of a deleted device
    selectIndex(next.isValid() ? QModelIndex(next) : treeModel->firstNode());
}

// ---- bookmarks -------------------------------------------------------------------------------

void TLayoutMainFM::RefreshFavorite(const QVariant &key) {
    QVariant k = key;
    if (k.toInt() == -1)
        k = HasRecords(*taFavorite) ? taFavorite->value(QStringLiteral("ID")) : QVariant();
    OpenWithParams(*taFavorite, {});
    if (!k.isNull())
        taFavorite->locate(QStringLiteral("ID"), k);
}

void TLayoutMainFM::execFavorite(int operation, const QString &key, const QString &name) {
    TypedValues args{TypedValue::Int(operation), TypedValue::Text(key)};
    if (operation == 1)
        args << TypedValue::Text(name);
    for (int i = 1; i < spFavoriteDo->parameters().size(); ++i)
        spFavoriteDo->parameters()[i].value =
            i - 1 < args.size() ? typedValueToVariant(args[i - 1]) : QVariant();
    spFavoriteDo->execProc();
}

void TLayoutMainFM::addToFavorite() {
    const TReference ref = treeModel->reference(tvPlace->currentIndex());
    if (ref.Kind.isEmpty())
        return;
    execFavorite(1, MakeKey(ref.Kind, ref.Id), SelectedCaption());
    RefreshFavorite(-1);
    followFavorite();
}

void TLayoutMainFM::followFavorite() {
    // The list's highlight follows the tree: it moves to the selected node's bookmark, when it has one.
    const TReference ref = treeModel->reference(tvPlace->currentIndex());
    if (!ref.Kind.isEmpty() && HasRecords(*taFavorite))
        taFavorite->locate(QStringLiteral("KeyObject"), MakeKey(ref.Kind, ref.Id));
}

void TLayoutMainFM::callFavorite() {
    if (!HasRecords(*taFavorite)) {
        selectIndex(treeModel->firstNode());
    } else {
        const QString key = taFavorite->value(QStringLiteral("KeyObject")).toString();
        bool ok = false;
        const int id = key.mid(1).toInt(&ok);
        if (ok)
            FindNode(KeyKind(key), id);
        execFavorite(2, key);
    }
    RefreshFavorite(-1);
}

void TLayoutMainFM::deleteFavorite() {
    execFavorite(3, taFavorite->value(QStringLiteral("KeyObject")).toString());
    taFavorite->prior();
    RefreshFavorite(-1);
}

// ---- keys and context menus ------------------------------------------------------------------

void TLayoutMainFM::buildKeysAndMenus() {
    // The keys of a desktop program, per panel: Insert adds, F2 and Enter edit, Delete deletes
    // (with its question), F5 refreshes. Each runs its action only when the action is enabled.
    auto insertNode = [this]() -> Action * {
        const QString k = currentKind();
        if (k == u"D")
            return acAddPlace;
        if (k == u"W" || k == u"V")
            return acAddDevice;
        return acAddDprt; // an empty tree: its first department
    };
    m_keys[tvPlace] = {{Qt::Key_Insert, insertNode},
                       {Qt::Key_F2, [this] { return acEdit; }},
                       {Qt::Key_Return, [this] { return acEdit; }},
                       {Qt::Key_Enter, [this] { return acEdit; }},
                       {Qt::Key_Delete, [this] { return acDelete; }},
                       {Qt::Key_F5, [this] { return acRefresh; }}};
    m_keys[grSet] = {
        {Qt::Key_Insert, [this] { return acSetInset; }},  {Qt::Key_F2, [this] { return acSetEdit; }},
        {Qt::Key_Return, [this] { return acSetEdit; }},   {Qt::Key_Enter, [this] { return acSetEdit; }},
        {Qt::Key_Delete, [this] { return acSetDelete; }}, {Qt::Key_F5, [this] { return acRefresh; }}};
    m_keys[grFavorite] = {{Qt::Key_Insert, [this] { return acAddToFavorite; }},
                          {Qt::Key_Return, [this] { return acCall; }},
                          {Qt::Key_Enter, [this] { return acCall; }},
                          {Qt::Key_Delete, [this] { return caFavoriteDelete; }},
                          {Qt::Key_F5, [this] { return acRefresh; }}};
    for (auto it = m_keys.cbegin(); it != m_keys.cend(); ++it)
        it.key()->installEventFilter(this);
    connect(tvPlace, &QAbstractItemView::doubleClicked, this, [this] { runAction(acEdit); });

    // Context menus with the toolbars' actions.
    pmPlace = new QMenu(this);
    pmPlace->setObjectName(QStringLiteral("pmPlace"));
    pmPlace->addActions({acAddDprt, acAddPlace, acAddDevice, acDevClone});
    pmPlace->addSeparator();
    pmPlace->addActions({acRefresh, acEdit, acDelete});
    pmPlace->addSeparator();
    pmPlace->addAction(acAddToFavorite);
    pmPlace->addSeparator();
    pmPlace->addAction(acPrint);
    pmPlace->addMenu(pmReport);
    pmPlace->addAction(acLabels);
    if (auto *sheet = findChild<QMenu *>(QStringLiteral("pmSheet")))
        pmPlace->addMenu(sheet);
    pmPlace->addSeparator();
    pmPlace->addActions({acUp, acDown});
    pmPlace->addSeparator();
    pmPlace->addActions({acGoNet, acGoUser});
    pmPlace->addSeparator();
    pmPlace->addAction(acHistory);
    pmPlace->addAction(acStocktake);

    pmSet = new QMenu(this);
    pmSet->setObjectName(QStringLiteral("pmSet"));
    pmSet->addActions({acSetH, acSetM, acSetS});
    pmSet->addSeparator();
    pmSet->addActions({acSetInset, acSetClone, acSetEdit, acSetDelete, acSetMove});
    pmSet->addSeparator();
    pmSet->addMenu(pmChain);
    pmSet->addActions({acGoDocument, acGoModel});
    pmSet->addAction(acSetHistory);
    grSet->addExportCommands(pmSet);

    const std::pair<QAbstractItemView *, QMenu *> menus[] = {{tvPlace, pmPlace}, {grSet, pmSet}};
    for (const auto &[view, menu] : menus) {
        view->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(view, &QWidget::customContextMenuRequested, this, [this, view, menu](const QPoint &p) {
            actions->updateAll(); // the click may have moved the selection since the last idle moment
            menu->popup(view->viewport()->mapToGlobal(p));
        });
    }
}

bool TLayoutMainFM::runAction(Action *action) {
    if (!action || !action->updateEnabled())
        return false;
    action->trigger();
    return true;
}

bool TLayoutMainFM::eventFilter(QObject *watched, QEvent *event) {
    if (watched == grSet->viewport() && event->type() == QEvent::Resize)
        fitSetColumns();
    if (event->type() != QEvent::KeyPress)
        return HostedView::eventFilter(watched, event);
    const auto *key = static_cast<QKeyEvent *>(event);
    const auto keys = m_keys.constFind(watched);
    if (keys == m_keys.constEnd() || (key->modifiers() & ~Qt::KeypadModifier) != Qt::NoModifier)
        return HostedView::eventFilter(watched, event);
    for (const auto &[code, action] : *keys)
        if (code == key->key()) {
            runAction(action());
            return true; // a disabled command swallows its key as a disabled button swallows its click
        }
    return HostedView::eventFilter(watched, event);
}

void TLayoutMainFM::fitSetColumns() {
    // "Тип" and "Код" keep their width; "Модель" and "Номер" share the rest as 300 to 120.
    QHeaderView *h = grSet->horizontalHeader();
    if (h->count() <= SetColumnCode)
        return;
    const int rest =
        grSet->viewport()->width() - h->sectionSize(SetColumnKind) - h->sectionSize(SetColumnCode);
    const int model = std::max(rest * 300 / 420, 60);
    h->resizeSection(SetColumnModel, model);
    h->resizeSection(SetColumnNumber, std::max(rest - model, 40));
}

void TLayoutMainFM::printLabels() {
    const QString kind = SelectedKind().toUpper();
    const int id = SelectedId();
    static const QHash<QString, QString> what = {{QStringLiteral("D"), QStringLiteral("Подразделение")},
                                                 {QStringLiteral("W"), QStringLiteral("Рабочее место")},
                                                 {QStringLiteral("V"), QStringLiteral("Устройство")}};
    if (!what.contains(kind))
        return;
    TLabelsDG dialog(
        QStringLiteral("%1 «%2»").arg(what.value(kind), SelectedCaption()),
        [kind, id](bool elements) { return ReadLabels(*shared(), kind, id, elements); }, this);
    RunModal(dialog);
}
