#include "views/fmModelList.h"

#include "data/TessalADO.h"
#include "data/TessalDialog.h"
#include "data/dmTessalData.h"
#include "model/dmChainData.h"
#include "ui/Actions.h"
#include "ui/BusyCursor.h"
#include "ui/DataControls.h"
#include "ui/DataGrid.h"
#include "ui/EmptyNote.h"
#include "ui/Fonts.h"
#include "ui/ImageList.h"
#include "views/ViewLinks.h"

#include <QActionGroup>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QMenu>
#include <QResizeEvent>
#include <QSplitter>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

Connection *shared() {
    return dmTessal ? &dmTessal->cnGeneral : nullptr;
}

const QString ModelTag = QStringLiteral("taModel.<P>.Tag");

} // namespace

TModelListFM::TModelListFM(QWidget *parent) : HostedView(QStringLiteral("Размещение моделей"), parent) {
    setObjectName(QStringLiteral("TModelListFM"));

    taKind = new DataSet(shared(), this);
    taKind->setObjectName(QStringLiteral("taKind"));
    taKind->setCommand(QStringLiteral("GridModelKind;1"), CommandType::StoredProc);
    taKind->setReadOnly(true);
    taKind->addField({QStringLiteral("ID"), FieldType::SmallInt, 0, true, {}, {}});
    taKind->addField({QStringLiteral("Name"), FieldType::String, 30, false, {}, {}});
    taKind->addField({QStringLiteral("KindType"), FieldType::FixedChar, 1, false, {}, {}});

    taModel = new DataSet(shared(), this);
    taModel->setObjectName(QStringLiteral("taModel"));
    taModel->setCommand(QStringLiteral("EXECUTE GridModelList :ID"));
    taModel->setReadOnly(true);
    taModel->addField({QStringLiteral("IdModel"), FieldType::Integer, 0, true, {}, {}});
    taModel->addField({QStringLiteral("ModlWeight"), FieldType::Integer, 0, false, {}, {}});
    taModel->addField({QStringLiteral("ModlName"), FieldType::String, 60, false, {}, {}});
    taModel->addField({QStringLiteral("ModlParametersValue"), FieldType::String, 40, false, {}, {}});
    taModel->addField({QStringLiteral("ModlNote"), FieldType::String, 50, false, {}, {}});
    taModel->addField({QStringLiteral("ModlKind"), FieldType::SmallInt, 0, false, {}, {}});
    taModel->setSort(QStringLiteral("ModlWeight;"));
    taModel->setMaster(taKind, {QStringLiteral("ID")});

    taSet = new DataSet(shared(), this);
    taSet->setObjectName(QStringLiteral("taSet"));
    taSet->setCommand(QStringLiteral("EXECUTE GridModelSet :IdModel"));
    taSet->setReadOnly(true);
    taSet->addField({QStringLiteral("Numb"), FieldType::String, 103, true, {}, {}});
    taSet->addField({QStringLiteral("DevName"), FieldType::String, 73, true, {}, {}});
    taSet->addField({QStringLiteral("WrkpName"), FieldType::String, 50, false, {}, {}});
    taSet->addField({QStringLiteral("DprtName"), FieldType::String, 50, false, {}, {}});
    taSet->addField(
        {QStringLiteral("Warranty"), FieldType::DateTime, 0, true, QStringLiteral("d MMMM yyyy"), {}});
    taSet->addField({QStringLiteral("Doc"), FieldType::String, 54, true, {}, {}});
    taSet->addField({QStringLiteral("ClientName"), FieldType::String, 50, true, {}, {}});
    taSet->addField({QStringLiteral("IdComponent"), FieldType::Integer, 0, true, {}, {}});
    taSet->addField({QStringLiteral("HEXCode"),
                     FieldType::String,
                     0,
                     true,
                     {},
                     elementCode(QStringLiteral("IdComponent"))});
    taSet->addField({QStringLiteral("Device"), FieldType::Integer, 0, false, {}, {}});
    taSet->addField({QStringLiteral("IdDocument"), FieldType::Integer, 0, true, {}, {}});
    taSet->setMaster(taModel, {QStringLiteral("IdModel")});

    // The model shown is remembered after every move of the model list.
    auto remember = [this] { m_model = currentKey(*taModel, QStringLiteral("IdModel")); };
    connect(taModel, &DataSet::scrolled, this, remember);
    connect(taModel, &DataSet::dataChanged, this, remember);

    buildActions();
    buildLayout();
    new EmptyNote(grModel, [this] {
        if (!taKind->isActive())
            return QString();
        if (taKind->isEmpty())
            return QStringLiteral("Типов этого вида нет. Добавьте тип: «Цепочка» (∞) → «Тип» → «Добавить».");
        return taModel->isActive()
                   ? QStringLiteral("Моделей этого типа нет. Добавьте модель: «Цепочка» (∞) → "
                                    "«Модель» → «Добавить».")
                   : QString();
    });

    Guarded([&] {
        BusyCursor busy;
        ShowKindType(QStringLiteral("H"));
        if (!taModel->isActive())
            taModel->open();
        if (!taSet->isActive())
            taSet->open();
    });
    Guarded([&] {
        const int remembered = stModel.read(ModelTag, -1).toInt();
        if (remembered != -1)
            RefreshModel(remembered);
    });
}

TModelListFM::~TModelListFM() {
    EndEmptyNotes(this);
    Guarded([&] { stModel.write(ModelTag, m_model); });
}

void TModelListFM::buildActions() {
    actions = new ActionList(this);
    auto act = [&](const char *name, const QString &text, const QString &hint, int image) {
        return actions->add(new Action(this, QString::fromLatin1(name), text, hint, image));
    };
    auto hasSet = [this] { return HasRecords(*taSet); };

    acH = act("acH", QStringLiteral("Оборудование"), QStringLiteral("Оборудование"), Img::Hardware);
    acH->onTrigger([this] { ShowKindType(QStringLiteral("H")); });
    acM = act("acM", QStringLiteral("Материалы"), QStringLiteral("Расходные материалы"), Img::Material);
    acM->onTrigger([this] { ShowKindType(QStringLiteral("M")); });
    acS = act("acS", QStringLiteral("Программы"), QStringLiteral("Программное обеспечение"), Img::Software);
    acS->onTrigger([this] { ShowKindType(QStringLiteral("S")); });

    acElementEdit = act("acElementEdit", QStringLiteral("Изменить"), QStringLiteral("Изменить"), Img::Edit);
    acElementEdit->setEnabledWhen(hasSet);
    acElementEdit->onTrigger([this] { editElement(); });
    caElementRefresh =
        act("caElementRefresh", QStringLiteral("Обновить"), QStringLiteral("Обновить"), Img::Refresh);
    caElementRefresh->setEnabledWhen(hasSet);
    caElementRefresh->onTrigger(
        [this] { RefreshComponent(currentKey(*taSet, QStringLiteral("IdComponent"))); });
    acMoving = act("acMoving", QStringLiteral("Перемещения"), QStringLiteral("Перемещения"), Img::Move);
    acMoving->onTrigger([this] {
        const int element = currentKey(*taSet, QStringLiteral("IdComponent"));
        if (element != -1)
            links.RunElementMoveList(element);
    });
    asGoDevice = act("asGoDevice", QStringLiteral("Устройство"), QStringLiteral("Размещение устройства."),
                     Img::Layout);
    asGoDevice->setEnabledWhen(hasSet);
    asGoDevice->onTrigger(
        [this] { links.GoPlacementNode(QStringLiteral("V"), currentKey(*taSet, QStringLiteral("Device"))); });
    acGoDocunent = act("acGoDocunent", QStringLiteral("Документ"), QStringLiteral("Документ"), Img::Document);
    acGoDocunent->setEnabledWhen(hasSet);
    acGoDocunent->onTrigger([this] {
        // An element without a document gives key 0: the documents view stays on its first row.
        links.GoDocument(qMax(0, currentKey(*taSet, QStringLiteral("IdDocument"))), -1);
    });

    acChainKind = act("acChainKind", QStringLiteral("Тип"), QStringLiteral("Тип"), Img::Chain);
    acChainKind->onTrigger(
        [this] { links.RunKindList(currentKey(*taKind, QStringLiteral("ID")), QStringLiteral("*")); });
    acChainModel = act("acChainModel", QStringLiteral("Модель"), QStringLiteral("Модель"), Img::Model);
    acChainModel->onTrigger([this] { chainModel(); });
    acChainProducer =
        act("acChainProducer", QStringLiteral("Производитель"), QStringLiteral("Производитель"), Img::Chain);
    acChainProducer->onTrigger([this] { links.RunFirmList(-1); });
}

void TModelListFM::buildLayout() {
    pnForm = new QWidget(this);
    pnForm->setObjectName(QStringLiteral("pnForm"));
    auto *layout = new QVBoxLayout(pnForm);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    tbModel = viewToolBar(pnForm, "tbModel", true);
    btH = addToolButton(tbModel, acH);
    btH->setObjectName(QStringLiteral("btH"));
    btM = addToolButton(tbModel, acM);
    btM->setObjectName(QStringLiteral("btM"));
    btS = addToolButton(tbModel, acS);
    btS->setObjectName(QStringLiteral("btS"));
    exclusiveGroup(this, {acH, acM, acS});
    tbModel->addSeparator();
    pmChain = new QMenu(QStringLiteral("Цепочка"), this);
    pmChain->setObjectName(QStringLiteral("pmChain"));
    pmChain->addAction(acChainKind);
    pmChain->addAction(acChainModel);
    pmChain->addSeparator();
    pmChain->addAction(acChainProducer);
    btChain = new QToolButton(tbModel);
    btChain->setObjectName(QStringLiteral("btChain"));
    btChain->setText(QStringLiteral("Цепочка"));
    btChain->setToolButtonStyle(Qt::ToolButtonTextBesideIcon); // as the toolbar's own buttons
    btChain->setToolTip(QStringLiteral("Справочники: типы, модели, производители"));
    btChain->setIcon(imageIcon(Img::Chain));
    btChain->setMenu(pmChain);
    btChain->setPopupMode(QToolButton::InstantPopup);
    tbModel->addWidget(btChain);
    layout->addWidget(tbModel);

    pnModel = new QSplitter(Qt::Horizontal, pnForm);
    pnModel->setObjectName(QStringLiteral("pnModel"));
    pnModel->setChildrenCollapsible(false);
    grKind = new DataGrid(pnModel);
    grKind->setObjectName(QStringLiteral("grKind"));
    grKind->setDataSet(taKind);
    grKind->setColumns(
        {makeColumn(QStringLiteral("Name"), QStringLiteral("Тип"), 130, true, Qt::AlignCenter)});
    grKind->setCellStyle([](const DataSet &, int, const GridColumn &, QFont &font, QColor &, QColor &) {
        ApplyNamedFont(font, QStringLiteral("Impact"));
    });
    grModel = new DataGrid(pnModel);
    grModel->setObjectName(QStringLiteral("grModel"));
    grModel->setDataSet(taModel);
    GridColumn number = makeColumn(QStringLiteral("ModlName"), QStringLiteral("Номер"), 100);
    GridColumn parameters =
        makeColumn(QStringLiteral("ModlParametersValue"), QStringLiteral("Характеристки"), 140);
    parameters.sortField = QStringLiteral("ModlWeight");
    GridColumn note = makeColumn(QStringLiteral("ModlNote"), QStringLiteral("Примечание"), 120, true);
    note.sortable = false;
    grModel->setColumns({number, parameters, note});
    SortOnTitles(*grModel);
    grModel->setSortMarkers({{1, Qt::AscendingOrder}});
    pnModel->addWidget(grKind);
    pnModel->addWidget(grModel);
    pnModel->setStretchFactor(0, 0);
    pnModel->setStretchFactor(1, 1);
    pnModel->setSizes({136, 600});
    layout->addWidget(pnModel, 1);

    tbSet = viewToolBar(pnForm, "tbSet", true);
    addToolButton(tbSet, acElementEdit);
    addToolButton(tbSet, caElementRefresh);
    tbSet->addSeparator();
    btMoving = addToolButton(tbSet, acMoving);
    btMoving->setObjectName(QStringLiteral("btMoving"));
    tbSet->addSeparator();
    btLayout = addToolButton(tbSet, asGoDevice);
    btLayout->setObjectName(QStringLiteral("btLayout"));
    addToolButton(tbSet, acGoDocunent);
    layout->addWidget(tbSet);

    pnSet = new QWidget(pnForm);
    pnSet->setObjectName(QStringLiteral("pnSet"));
    pnSet->setFixedHeight(145);
    auto *setLayout = new QHBoxLayout(pnSet);
    setLayout->setContentsMargins(0, 0, 0, 0);
    grPlace = new DataGrid(pnSet);
    grPlace->setObjectName(QStringLiteral("grPlace"));
    grPlace->setDataSet(taSet);
    grPlace->setColumns({makeColumn(QStringLiteral("HEXCode"), QString(), 40, false, Qt::AlignCenter),
                         makeColumn(QStringLiteral("Numb"), QString(), 75, true)});
    grPlace->horizontalHeader()->hide();
    grPlace->setCellStyle([](const DataSet &, int, const GridColumn &c, QFont &font, QColor &, QColor &) {
        if (c.field == u"HEXCode")
            ApplyNamedFont(font, QStringLiteral("Courier New"));
    });
    grPlace->setFixedWidth(160);
    EditOnDoubleClick(*grPlace, acElementEdit);
    setLayout->addWidget(grPlace);
    auto *fields = new QFormLayout;
    auto field = [&](DBEdit *&edit, const char *name, const char *fieldName, const QString &label) {
        edit = new DBEdit(taSet, QString::fromLatin1(fieldName), pnSet);
        edit->setObjectName(QString::fromLatin1(name));
        // Shown for reading: nothing here could save what is typed.
        edit->setReadOnly(true);
        fields->addRow(label, edit);
    };
    field(edDepartment, "edDepartment", "DprtName", QStringLiteral("Подразделение"));
    field(edWorkplace, "edWorkplace", "WrkpName", QStringLiteral("Рабочее место"));
    field(edDevice, "edDevice", "DevName", QStringLiteral("Устройство"));
    field(edClient, "edClient", "ClientName", QStringLiteral("Поставщик"));
    field(edDocument, "edDocument", "Doc", QStringLiteral("Документ"));
    field(edWarranty, "edWarranty", "Warranty", QStringLiteral("Гарантия"));
    setLayout->addLayout(fields, 1);
    layout->addWidget(pnSet);
}

void TModelListFM::ShowKindType(const QString &type) {
    FKindType = type;
    OpenWithParams(*taKind, {TypedValue::Text(type)});
    if (type == u"M")
        acM->setChecked(true);
    else if (type == u"S")
        acS->setChecked(true);
    else
        acH->setChecked(true);
}

void TModelListFM::RefreshModel(int Model) {
    BusyCursor busy;
    if (Model == -1)
        Model = currentKey(*taModel, QStringLiteral("IdModel"));
    if (Model == -1 || !dmChain)
        return;
    dmChain->setModel(Model);
    if (dmChain->Model() != Model)
        return; // no such model (any more): the lists stay where they are
    ShowKindType(dmChain->KindType());
    taKind->locate(QStringLiteral("ID"), dmChain->Kind());
    taModel->locate(QStringLiteral("IdModel"), Model);
}

void TModelListFM::RefreshComponent(int Component) {
    calls << QStringLiteral("RefreshComponent(%1)").arg(Component);
    BusyCursor busy;
    if (Component == -1)
        Component = currentKey(*taSet, QStringLiteral("IdComponent"));
    if (Component == -1 || !dmChain)
        return;
    dmChain->setComponent(Component);
    if (dmChain->Model() <= 0)
        return; // no such element, or one without a model: the lists stay where they are
    const int model = dmChain->Model();
    ShowKindType(dmChain->KindType());
    taKind->locate(QStringLiteral("ID"), dmChain->Kind());
    taModel->locate(QStringLiteral("IdModel"), model);
    taSet->locate(QStringLiteral("IdComponent"), Component);
}

void TModelListFM::editElement() {
    const int element = currentKey(*taSet, QStringLiteral("IdComponent"));
    int saved = -1, model = -1;
    if (!links.RunCompleteSetEdit(element, currentKey(*taSet, QStringLiteral("Device")),
                                  taKind->findField(QStringLiteral("KindType"))->asString().trimmed(), &saved,
                                  &model))
        return;
    // An element saved under another model is followed there.
    RefreshModel(model);
    taSet->locate(QStringLiteral("IdComponent"), saved);
}

void TModelListFM::chainModel() {
    // Without a model shown, the list opens on the kind shown here (not on the device kinds).
    const int current = currentKey(*taModel, QStringLiteral("IdModel"));
    const int model =
        links.RunModelList(current, current == -1 ? currentKey(*taKind, QStringLiteral("ID")) : -1);
    RefreshModel(model);
}

void TModelListFM::resizeEvent(QResizeEvent *e) {
    HostedView::resizeEvent(e);
    fitToRows();
}

void TModelListFM::fitToRows() {
    pnForm->setGeometry(rect());
    if (isVisible())
        FitFormToGridRows(*grModel, *pnForm);
}
