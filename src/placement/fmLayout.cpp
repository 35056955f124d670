#include "fmLayout.h"

#include "Actions.h"
#include "BusyCursor.h"
#include "DataGrid.h"
#include "Errors.h"
#include "TessalADO.h"
#include "TessalDialog.h"
#include "TessalString.h"
#include "dmChainData.h"
#include "dmTessalData.h"

#include <QHeaderView>
#include <QMenu>
#include <QSplitter>
#include <QToolBar>
#include <QToolButton>
#include <QTreeView>
#include <QVBoxLayout>

namespace {

Connection *shared() { return dmTessal ? &dmTessal->cnGeneral : nullptr; }

// The element code: the key in upper-case hexadecimal, at least four digits, never cut.
QVariant hexCode(const DataSet &ds)
{
    const Field *id = ds.findField(QStringLiteral("ID"));
    if (!id || id->isNull())
        return {};
    return QString::number(id->asInt(), 16).toUpper().rightJustified(4, u'0');
}

} // namespace

TLayoutMainFM::TLayoutMainFM(QWidget *parent) : HostedView(QStringLiteral("Вычислительная техника"), parent)
{
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
    if (dmTessal)
        treeModel->setIcons(dmTessal->imToolBar.icon(Img::Department), dmTessal->imToolBar.icon(Img::Workplace),
                            dmTessal->imToolBar.icon(Img::Device));

    buildActions();
    buildLayout();
    buildNavigation();

    // The bookmark list is open from the start; its first row names the start node.
    Guarded([&] { OpenWithParams(*taFavorite, {}); });
}

TLayoutMainFM::~TLayoutMainFM()
{
    if (m_settingsLoaded) {
        Guarded([&] {
            stLayout.write(QStringLiteral("pnSet.<P>.Height"), pnSet->height());
            stLayout.write(QStringLiteral("pnStructure.grFavorite.<P>.Width"), grFavorite->width());
        });
    }
}

void TLayoutMainFM::buildActions()
{
    actions = new ActionList(this);
    auto act = [&](const char *name, const QString &text, const QString &hint, int image) {
        auto *a = new Action(this, QString::fromLatin1(name), text, hint, image);
        actions->add(a);
        return a;
    };
    auto kindIs = [this](const QString &kinds) {
        return [this, kinds] {
            const QString k = SelectedKind();
            return !k.isEmpty() && kinds.contains(k);
        };
    };

    acAddDprt = act("acAddDprt", QStringLiteral("Подразделение"), QStringLiteral("Добавление\r\nподразделения"), Img::Department);
    // Also on an empty tree: otherwise nothing could add the first department.
    acAddDprt->setEnabledWhen(
        [this, k = kindIs("D")] { return runDepartmentEdit && (k() || treeModel->nodeCount() == 0); });
    acAddDprt->onTrigger([this] { addDepartment(); });
    acAddPlace = act("acAddPlace", QStringLiteral("Рабочего места"), QStringLiteral("Добавление\r\nрабочего места"), Img::Workplace);
    acAddPlace->setEnabledWhen([this, k = kindIs("DW")] { return runWorkplaceEdit && k(); });
    acAddPlace->onTrigger([this] { addWorkplace(); });
    acAddDevice = act("acAddDevice", QStringLiteral("Устройство"), QStringLiteral("Добавление\r\nустройства"), Img::Device);
    acAddDevice->setEnabledWhen([this, k = kindIs("WV")] { return runDeviceEdit && k(); });
    acAddDevice->onTrigger([this] { addDevice(); });
    acDevClone = act("acDevClone", QStringLiteral("Клонирование"), QStringLiteral("Клонирование устройста."), Img::Clone);
    acDevClone->setEnabledWhen(kindIs("V"));
    acDevClone->onTrigger([this] { cloneDevice(); });
    acRefresh = act("acRefresh", QStringLiteral("Обновить"), QStringLiteral("Обновление\r\nданных"), Img::Refresh);
    acRefresh->onTrigger([this] {
        m_loadFailed = false;
        ReloadTree();
    });
    acEdit = act("acEdit", QStringLiteral("Изменить"), QStringLiteral("Редактирование"), Img::Edit);
    acEdit->setEnabledWhen([this] { return runDepartmentEdit || runWorkplaceEdit || runDeviceEdit; });
    acEdit->onTrigger([this] { editNode(); });
    acDelete = act("acDelete", QStringLiteral("Удалить"), QStringLiteral("Удаление"), Img::Delete);
    acDelete->setEnabledWhen([this] {
        if (SelectedKind().isEmpty())
            return false;
        return treeModel->rowCount(tvPlace->currentIndex()) == 0;
    });
    acDelete->onTrigger([this] { deleteNode(); });
    acAddToFavorite = act("acAddToFavorite", QStringLiteral("Добавить закладку"), QStringLiteral("Добавить закладку."), Img::Favorite);
    acAddToFavorite->setEnabledWhen([this] { return !SelectedKind().isEmpty(); });
    acAddToFavorite->onTrigger([this] { addToFavorite(); });
    acPrint = act("acPrint", QStringLiteral("Печать"), QStringLiteral("Печать"), Img::Print);
    acPrint->setEnabledWhen([] { return false; });
    acUp = act("acUp", QStringLiteral("Вверх"), QStringLiteral("Вверх"), Img::Up);
    acUp->setEnabledWhen(kindIs("DW"));
    acUp->onTrigger([this] { moveNode(-1); });
    acDown = act("acDown", QStringLiteral("Вниз"), QStringLiteral("Вниз"), Img::Down);
    acDown->setEnabledWhen(kindIs("DW"));
    acDown->onTrigger([this] { moveNode(1); });
    acGoNet = act("acGoNet", QStringLiteral("Сеть"), QStringLiteral("Перейти к сетевому компьютеру"), Img::Net);
    acGoNet->setEnabledWhen([] { return false; });
    acGoUser = act("acGoUser", QStringLiteral("Пользователь"), QStringLiteral("Перейти к пользователю"), Img::User);
    acGoUser->setEnabledWhen([] { return false; });

    auto isDevice = kindIs("V");
    auto hasRows = [this] { return HasRecords(*taSet); };
    acSetH = act("acSetH", QStringLiteral("Оборудование"), QStringLiteral("Оборудование,\r\nкомлектующий."), Img::Hardware);
    acSetH->setEnabledWhen(isDevice);
    acSetH->onTrigger([this] { ShowSetType(QStringLiteral("H")); });
    acSetM = act("acSetM", QStringLiteral("Материалы"), QStringLiteral("Расходные\r\nматериалы"), Img::Material);
    acSetM->setEnabledWhen(isDevice);
    acSetM->onTrigger([this] { ShowSetType(QStringLiteral("M")); });
    acSetS = act("acSetS", QStringLiteral("Программы"), QStringLiteral("Программное\r\nОбеспечение"), Img::Software);
    acSetS->setEnabledWhen(isDevice);
    acSetS->onTrigger([this] { ShowSetType(QStringLiteral("S")); });
    acSetInset = act("acSetInset", QStringLiteral("Добавить"), QStringLiteral("Добавление."), Img::Add);
    acSetInset->setEnabledWhen([this, isDevice] { return runElementEdit && isDevice(); });
    acSetInset->onTrigger([this] { insertElement(); });
    acSetClone = act("acSetClone", QStringLiteral("Клонирование"), QStringLiteral("Клонирование комплектующего."), Img::Clone);
    acSetClone->setEnabledWhen(hasRows);
    acSetClone->onTrigger([this] { cloneElement(); });
    acSetEdit = act("acSetEdit", QStringLiteral("Изменить"), QStringLiteral("Изменение."), Img::Edit);
    acSetEdit->setEnabledWhen([this, hasRows] { return runElementEdit && hasRows(); });
    acSetEdit->onTrigger([this] { editElement(); });
    acSetDelete = act("acSetDelete", QStringLiteral("Удалить"), QStringLiteral("Удаление."), Img::Delete);
    acSetDelete->setEnabledWhen(hasRows);
    acSetDelete->onTrigger([this] { deleteElement(); });
    acSetMove = act("acSetMove", QStringLiteral("Переместить"),
                    QStringLiteral("Перемещение по устройствам,\r\nрабочим местам или подразделениям."), Img::Move);
    acSetMove->setEnabledWhen([this, hasRows] { return runElementMoveList && hasRows(); });
    acSetMove->onTrigger([this] { moveElement(); });
    acGoDocument = act("acGoDocument", QStringLiteral("Документ"), QStringLiteral("Перейти к приходному документу"), Img::Document);
    acGoDocument->setEnabledWhen([] { return false; });
    acGoModel = act("acGoModel", QStringLiteral("Модель"), QStringLiteral("Перейти к модели"), Img::Model);
    acGoModel->setEnabledWhen([] { return false; });

    auto hasFavorites = [this] { return HasRecords(*taFavorite); };
    acCall = act("acCall", QStringLiteral("Вызвать"), QStringLiteral("Вызвать"), Img::Call);
    acCall->setEnabledWhen(hasFavorites);
    acCall->onTrigger([this] { callFavorite(); });
    caFavoriteDelete = act("caFavoriteDelete", QStringLiteral("Удалить закладку"), QStringLiteral("Удалить закладку"),
                           Img::FavoriteDelete);
    caFavoriteDelete->setEnabledWhen(hasFavorites);
    caFavoriteDelete->onTrigger([this] { deleteFavorite(); });
}

void TLayoutMainFM::buildLayout()
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    tbMain = new QToolBar(this);
    tbMain->setObjectName(QStringLiteral("tbMain"));
    tbMain->setIconSize(QSize(16, 16));
    for (Action *a : {acAddDprt, acAddPlace, acAddDevice, acDevClone})
        addToolButton(tbMain, a);
    tbMain->addSeparator();
    for (Action *a : {acRefresh, acEdit, acDelete})
        addToolButton(tbMain, a);
    tbMain->addSeparator();
    addToolButton(tbMain, acAddToFavorite)->setObjectName(QStringLiteral("tbFavorite"));
    tbMain->addSeparator();
    addToolButton(tbMain, acPrint);
    pmReport = new QMenu(QStringLiteral("Отчёты"), this);
    pmReport->setObjectName(QStringLiteral("pmReport"));
    auto *reports = new QToolButton(tbMain);
    reports->setText(QStringLiteral("Отчёты"));
    reports->setToolTip(QStringLiteral("Отчёты"));
    reports->setMenu(pmReport);
    reports->setPopupMode(QToolButton::InstantPopup);
    tbMain->addWidget(reports);
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
    tvPlace->setUniformRowHeights(true); // keeps a tree of a hundred thousand nodes fast
    QPalette pal = tvPlace->palette();
    pal.setColor(QPalette::Inactive, QPalette::Highlight, pal.color(QPalette::Active, QPalette::Highlight));
    pal.setColor(QPalette::Inactive, QPalette::HighlightedText, pal.color(QPalette::Active, QPalette::HighlightedText));
    tvPlace->setPalette(pal);
    connect(tvPlace->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex &current) { Guarded([&] { selectionChanged(current); }); });

    grFavorite = new DataGrid(pnStructure);
    grFavorite->setObjectName(QStringLiteral("grFavorite"));
    grFavorite->setDataSet(taFavorite);
    grFavorite->setColumns({GridColumn{QStringLiteral("Name"), QString(), 300, true}});
    grFavorite->horizontalHeader()->hide();
    grFavorite->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    grFavorite->setWordWrap(true);
    connect(grFavorite, &DataGrid::rowDoubleClicked, this, [this] { Guarded([&] { callFavorite(); }); });
    pmFavorite = new QMenu(this);
    pmFavorite->setObjectName(QStringLiteral("pmFavorite"));
    pmFavorite->addAction(acCall);
    pmFavorite->addSeparator();
    pmFavorite->addAction(acAddToFavorite);
    pmFavorite->addAction(caFavoriteDelete);
    grFavorite->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(grFavorite, &QWidget::customContextMenuRequested, this, [this](const QPoint &p) {
        actions->updateAll();
        pmFavorite->popup(grFavorite->viewport()->mapToGlobal(p));
    });
    pnStructure->addWidget(tvPlace);
    pnStructure->addWidget(grFavorite);
    pnStructure->setStretchFactor(0, 1);
    pnStructure->setStretchFactor(1, 0);
    pnStructure->setSizes({700, 317});

    pnSet = new QWidget(spSet);
    pnSet->setObjectName(QStringLiteral("pnSet"));
    auto *setLayout = new QVBoxLayout(pnSet);
    setLayout->setContentsMargins(0, 0, 0, 0);
    setLayout->setSpacing(0);
    tbSet = new QToolBar(pnSet);
    tbSet->setObjectName(QStringLiteral("tbSet"));
    tbSet->setIconSize(QSize(16, 16));
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
    chain->setText(QStringLiteral("Цепочка"));
    chain->setMenu(pmChain);
    chain->setPopupMode(QToolButton::InstantPopup);
    tbSet->addWidget(chain);
    addToolButton(tbSet, acGoDocument);
    addToolButton(tbSet, acGoModel);
    setLayout->addWidget(tbSet);

    grSet = new DataGrid(pnSet);
    grSet->setObjectName(QStringLiteral("grSet"));
    grSet->setDataSet(taSet);
    grSet->setColumns({GridColumn{QStringLiteral("Kind"), QStringLiteral("Тип"), 100, false, Qt::AlignCenter, Qt::AlignCenter},
                       GridColumn{QStringLiteral("Model"), QStringLiteral("Модель"), 300, true},
                       GridColumn{QStringLiteral("Number"), QStringLiteral("Номер"), 120},
                       GridColumn{QStringLiteral("HEXCode"), QStringLiteral("Код"), 46, false, Qt::AlignCenter, Qt::AlignCenter}});
    grSet->setCellStyle([](const DataSet &, int, const GridColumn &c, QFont &font, QColor &, QColor &) {
        if (c.field == u"Kind")
            font.setFamily(QStringLiteral("Impact"));
        else if (c.field == u"HEXCode")
            font.setFamily(QStringLiteral("Courier New"));
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

void TLayoutMainFM::showEvent(QShowEvent *e)
{
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
    }
    HostedView::showEvent(e);
}

// ---- the tree --------------------------------------------------------------------------------

QString TLayoutMainFM::SelectedKind()
{
    if (treeModel->nodeCount() > 0)
        return treeModel->reference(tvPlace->currentIndex()).Kind;
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

int TLayoutMainFM::SelectedId() const { return treeModel->reference(tvPlace->currentIndex()).Id; }

int TLayoutMainFM::SelectedHigher() const { return treeModel->reference(tvPlace->currentIndex()).Higher; }

QString TLayoutMainFM::SelectedCaption() const { return treeModel->caption(tvPlace->currentIndex()); }

void TLayoutMainFM::ReloadTree()
{
    BusyCursor busy;
    const TReference was = treeModel->reference(tvPlace->currentIndex());
    const int key = tvPlace->currentIndex().isValid() ? was.Id : -1;
    QVector<Parameter> none;
    Connection *cn = shared();
    if (!cn)
        throw AppError(QStringLiteral("Нет соединения с базой данных"));
    const ResultSet rows = callProcedure(*cn, QStringLiteral("LoadTree;1"), none);
    {
        // Rebuilding clears the selection; the reselection below is the one that counts.
        const QSignalBlocker block(tvPlace->selectionModel());
        treeModel->load(rows);
    }
    if (key > 0)
        FindNode(was.Kind, key);
}

void TLayoutMainFM::selectIndex(const QModelIndex &index)
{
    if (!index.isValid() || index == tvPlace->currentIndex())
        return;
    tvPlace->setCurrentIndex(index); // runs the selection rule
    tvPlace->scrollTo(index);
}

void TLayoutMainFM::FindNode(const QString &Kind, int ID)
{
    selectIndex(treeModel->find(Kind, ID));
    if (!tvPlace->currentIndex().isValid())
        selectIndex(treeModel->firstNode());
}

void TLayoutMainFM::FindAny(const QString &Kind, int ID)
{
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

void TLayoutMainFM::selectionChanged(const QModelIndex &current)
{
    if (taFavorite->isActive() && taFavorite->recordCount() < 20 && current.isValid())
        addToFavorite();
    if (current.isValid() && treeModel->reference(current).Kind == u"V")
        ShowSetType(QStringLiteral("H"));
    else
        taSet->close();
}

// ---- the complete set ------------------------------------------------------------------------

void TLayoutMainFM::ShowSetType(const QString &type)
{
    FSetType = type;
    acSetH->setChecked(type == u"H");
    acSetM->setChecked(type == u"M");
    acSetS->setChecked(type == u"S");
    OpenWithParams(*taSet, {TypedValue::Int(SelectedId()), TypedValue::Text(type)});
}

void TLayoutMainFM::ReopenSet()
{
    const QVariant id = HasRecords(*taSet) ? taSet->value(QStringLiteral("ID")) : QVariant();
    taSet->close();
    taSet->open();
    if (!id.isNull())
        taSet->locate(QStringLiteral("ID"), id);
}

void TLayoutMainFM::insertElement()
{
    if (runElementEdit && runElementEdit(-1, SelectedId(), FSetType))
        ReopenSet();
}

void TLayoutMainFM::editElement()
{
    if (runElementEdit && runElementEdit(taSet->value(QStringLiteral("ID")).toInt(), -1,
                                         taSet->value(QStringLiteral("Type")).toString()))
        ReopenSet();
}

void TLayoutMainFM::moveElement()
{
    if (runElementMoveList && runElementMoveList(taSet->value(QStringLiteral("ID")).toInt()))
        ReopenSet();
}

void TLayoutMainFM::cloneElement()
{
    BusyCursor busy;
    QVector<Parameter> params = procedureParameters(QStringLiteral("CloneComponents;1"));
    params[1].value = taSet->value(QStringLiteral("ID"));
    callProcedure(*shared(), QStringLiteral("CloneComponents;1"), params);
    ReopenSet();
}

void TLayoutMainFM::deleteElement()
{
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

// ---- tree commands ---------------------------------------------------------------------------

void TLayoutMainFM::addDepartment()
{
    int key = -1;
    if (runDepartmentEdit && runDepartmentEdit(-1, SelectedId(), &key)) {
        ReloadTree();
        FindNode(QStringLiteral("D"), key);
    }
}

void TLayoutMainFM::addWorkplace()
{
    const int dprt = SelectedKind() == u"D" ? SelectedId() : SelectedHigher();
    int key = -1;
    if (runWorkplaceEdit && runWorkplaceEdit(-1, dprt, &key)) {
        ReloadTree();
        FindNode(QStringLiteral("W"), key);
    }
}

void TLayoutMainFM::addDevice()
{
    const int place = SelectedKind() == u"W" ? SelectedId() : SelectedHigher();
    if (runDeviceEdit && runDeviceEdit(-1, place))
        ReloadTree();
}

void TLayoutMainFM::editNode()
{
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

void TLayoutMainFM::cloneDevice()
{
    BusyCursor busy;
    QVector<Parameter> params = procedureParameters(QStringLiteral("CloneDevice;1"));
    params[1].value = SelectedId();
    callProcedure(*shared(), QStringLiteral("CloneDevice;1"), params);
    ReloadTree();
}

void TLayoutMainFM::moveNode(int direction)
{
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

void TLayoutMainFM::deleteNode()
{
    const QString kind = SelectedKind();
    const int id = SelectedId();
    const QString word = kind == u"D" ? QStringLiteral("подразделение")
                                      : (kind == u"W" ? QStringLiteral("рабочее место") : QStringLiteral("устройство"));
    if (!ConfirmWarningFmt(QStringLiteral("Вы действительно хотите удалить ") + word + QStringLiteral("\r\"%s\"?"),
                           {TypedValue::Text(SelectedCaption())}))
        return;
    // The node to select afterwards: the parent, or at the top level the node before it.
    const QModelIndex current = tvPlace->currentIndex();
    QModelIndex after = current.parent();
    if (!after.isValid() && current.row() > 0)
        after = tvPlace->indexAbove(current);
    const TReference afterRef = treeModel->reference(after);

    QString procedure, parameter;
    if (kind == u"D") {
        procedure = QStringLiteral("DeleteDepartment;1");
    } else if (kind == u"W") {
        procedure = QStringLiteral("DeleteWorkPlace;1");
    } else {
        const QVariant type = QueryValue(
            *shared(), QStringLiteral("SELECT Kind.KindType FROM CompleteSet INNER JOIN Model ON CompleteSet.CmplIdModel = "
                                      "Model.IdModel INNER JOIN Kind ON Model.ModlKind = Kind.IdKind WHERE "
                                      "(CompleteSet.CmplIdDevice = %1)")
                           .arg(id));
        if (!type.isNull()) {
            const QString t = type.toString().trimmed();
            const QString what = t == u"H"   ? QStringLiteral("Оборудование")
                                 : t == u"S" ? QStringLiteral("Программы")
                                 : t == u"M" ? QStringLiteral("Материалы")
                                             : QStringLiteral("устройство");
            ShowErrorFmt(QStringLiteral("Сначала нужно удалить ") + what + QStringLiteral("\rкомпонента \"%s\""),
                         {TypedValue::Text(SelectedCaption())});
            return;
        }
        procedure = QStringLiteral("DeleteDeviceUnit;1");
    }
    QVector<Parameter> params = procedureParameters(procedure);
    params[1].value = id;
    callProcedure(*shared(), procedure, params);
    // The node goes without a reload; the remembered node is selected.
    ReloadTree();
    if (after.isValid())
        FindNode(afterRef.Kind, afterRef.Id);
    else
        selectIndex(treeModel->firstNode());
}

// ---- bookmarks -------------------------------------------------------------------------------

void TLayoutMainFM::RefreshFavorite(const QVariant &key)
{
    QVariant k = key;
    if (k.toInt() == -1)
        k = HasRecords(*taFavorite) ? taFavorite->value(QStringLiteral("ID")) : QVariant();
    OpenWithParams(*taFavorite, {});
    if (!k.isNull())
        taFavorite->locate(QStringLiteral("ID"), k);
}

void TLayoutMainFM::execFavorite(int operation, const QString &key, const QString &name)
{
    TypedValues args{TypedValue::Int(operation), TypedValue::Text(key)};
    if (operation == 1)
        args << TypedValue::Text(name);
    for (int i = 1; i < spFavoriteDo->parameters().size(); ++i)
        spFavoriteDo->parameters()[i].value = i - 1 < args.size() ? typedValueToVariant(args[i - 1]) : QVariant();
    spFavoriteDo->execProc();
}

void TLayoutMainFM::addToFavorite()
{
    const TReference ref = treeModel->reference(tvPlace->currentIndex());
    if (ref.Kind.isEmpty())
        return;
    execFavorite(1, MakeKey(ref.Kind, ref.Id), SelectedCaption());
    RefreshFavorite(-1);
}

void TLayoutMainFM::callFavorite()
{
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

void TLayoutMainFM::deleteFavorite()
{
    execFavorite(3, taFavorite->value(QStringLiteral("KeyObject")).toString());
    taFavorite->prior();
    RefreshFavorite(-1);
}
