#include "views/fmChangeList.h"

#include "data/TessalADO.h"
#include "data/TessalDialog.h"
#include "data/TessalSystem.h"
#include "data/dmTessalData.h"
#include "ui/Actions.h"
#include "ui/BusyCursor.h"
#include "ui/DataGrid.h"
#include "ui/EmptyNote.h"
#include "ui/ImageList.h"
#include "views/ViewLinks.h"

#include <QHeaderView>
#include <QSplitter>
#include <QToolBar>
#include <QVBoxLayout>

namespace {

Connection *shared() {
    return dmTessal ? &dmTessal->cnGeneral : nullptr;
}

const QString ModelHeight = QStringLiteral("grModel.<P>.Height");

} // namespace

TChangeListFM::TChangeListFM(QWidget *parent) : HostedView(QStringLiteral("Расходные материалы"), parent) {
    setObjectName(QStringLiteral("TChangeListFM"));

    taModel = new DataSet(shared(), this);
    taModel->setObjectName(QStringLiteral("taModel"));
    taModel->setCommand(QStringLiteral("GridChangeModel;1"), CommandType::StoredProc);
    taModel->setReadOnly(true);
    taModel->addField({QStringLiteral("ID"), FieldType::Integer, 0, true, {}, {}});
    taModel->addField({QStringLiteral("Name"), FieldType::String, 162, true, {}, {}});

    taDevice = new DataSet(shared(), this);
    taDevice->setObjectName(QStringLiteral("taDevice"));
    taDevice->setCommand(QStringLiteral("EXECUTE GridChangeDevice :ID"));
    taDevice->setReadOnly(true);
    taDevice->addField({QStringLiteral("ID"), FieldType::Integer, 0, true, {}, {}});
    taDevice->addField({QStringLiteral("Place"), FieldType::String, 204, true, {}, {}});
    taDevice->addField({QStringLiteral("Number"), FieldType::String, 50, false, {}, {}});
    taDevice->addField(
        {QStringLiteral("DateLast"), FieldType::DateTime, 0, false, QStringLiteral("dd.MM.yyyy"), {}});
    taDevice->addField(
        {QStringLiteral("DateNext"), FieldType::DateTime, 0, false, QStringLiteral("dd.MM.yyyy"), {}});
    taDevice->addField({QStringLiteral("Element"), FieldType::Integer, 0, true, {}, {}});
    taDevice->setMaster(taModel, {QStringLiteral("ID")});

    actions = new ActionList(this);
    acRefreshDoc = actions->add(new Action(this, QStringLiteral("acRefreshDoc"), QStringLiteral("Обновить"),
                                           QStringLiteral("Обновление документов"), Img::Refresh));
    acRefreshDoc->onTrigger([this] {
        RefreshChange(currentKey(*taModel, QStringLiteral("ID")),
                      currentKey(*taDevice, QStringLiteral("ID")));
    });
    // A use row's key is its device's key.
    acGoDevice = actions->add(new Action(this, QStringLiteral("acGoDevice"), QStringLiteral("Устройство"),
                                         QStringLiteral("Место установки устройства."), Img::Layout));
    acGoDevice->setEnabledWhen([this] { return HasRecords(*taDevice); });
    acGoDevice->onTrigger(
        [this] { links.GoPlacementNode(QStringLiteral("V"), currentKey(*taDevice, QStringLiteral("ID"))); });

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    tbDoc = viewToolBar(this, "tbDoc", true);
    addToolButton(tbDoc, acRefreshDoc);
    tbDoc->addSeparator();
    addToolButton(tbDoc, acGoDevice);
    layout->addWidget(tbDoc);

    spChange = new QSplitter(Qt::Vertical, this);
    spChange->setObjectName(QStringLiteral("spChange"));
    spChange->setChildrenCollapsible(false);
    grModel = new DataGrid(spChange);
    grModel->setObjectName(QStringLiteral("grModel"));
    grModel->setDataSet(taModel);
    grModel->setColumns({makeColumn(QStringLiteral("Name"), QString(), 300, true)});
    grModel->horizontalHeader()->hide();
    grDevice = new DataGrid(spChange);
    grDevice->setObjectName(QStringLiteral("grDevice"));
    grDevice->setDataSet(taDevice);
    grDevice->setMinimumHeight(33);
    grDevice->setColumns(
        {makeColumn(QStringLiteral("Place"), QStringLiteral("Место"), 207, true),
         makeColumn(QStringLiteral("Number"), QStringLiteral("Номер"), 270),
         makeColumn(QStringLiteral("DateLast"), QStringLiteral("Послед."), 76, false, Qt::AlignCenter),
         makeColumn(QStringLiteral("DateNext"), QStringLiteral("Прогн."), 76, false, Qt::AlignCenter)});
    grDevice->setCellStyle(
        [](const DataSet &ds, int row, const GridColumn &c, QFont &, QColor &foreground, QColor &) {
            if (c.field != u"DateNext")
                return;
            const QColor colour = forecastColor(ds.valueAt(row, ds.fieldByName(c.field)->index()),
                                                QDateTime(ProgramNow().date(), QTime(0, 0)));
            if (colour.isValid())
                foreground = colour;
        });
    SortOnTitles(*grDevice);
    EditOnDoubleClick(*grDevice, acGoDevice);
    spChange->addWidget(grModel);
    spChange->addWidget(grDevice);
    spChange->setStretchFactor(0, 0);
    spChange->setStretchFactor(1, 1);
    const int height = stChange.read(ModelHeight, 320).toInt();
    spChange->setSizes({qMax(20, height), 300});
    layout->addWidget(spChange, 1);
    new EmptyNote(grModel, [this] {
        return taModel->isActive() ? QStringLiteral("Расходных материалов на устройствах нет. Их добавляют в "
                                                    "комплект устройства на вкладке «Размещение техники».")
                                   : QString();
    });

    Guarded([&] {
        taModel->open();
        if (!taDevice->isActive())
            taDevice->open();
    });
}

TChangeListFM::~TChangeListFM() {
    EndEmptyNotes(this);
    Guarded([&] { stChange.write(ModelHeight, grModel->height()); });
}

QColor TChangeListFM::forecastColor(const QVariant &dateNext, const QDateTime &today) {
    if (dateNext.isNull() || !dateNext.isValid())
        return {};
    const QDateTime next = dateNext.toDateTime();
    if (today > next)
        return QColor(255, 0, 0);
    if (today.addDays(30) > next)
        return QColor(0, 128, 0);
    return {};
}

void TChangeListFM::RefreshChange(int Model, int Row) {
    BusyCursor busy;
    OpenWithParams(*taModel, {});
    taModel->locate(QStringLiteral("ID"), Model);
    if (!taDevice->isActive())
        taDevice->open();
    taDevice->locate(QStringLiteral("ID"), Row);
}
