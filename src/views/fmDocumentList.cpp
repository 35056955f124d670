#include "views/fmDocumentList.h"

#include "data/SchemaInfo.h"
#include "data/TessalADO.h"
#include "data/TessalDialog.h"
#include "data/TessalString.h"
#include "data/dmTessalData.h"
#include "model/dmChainData.h"
#include "ui/Actions.h"
#include "ui/BusyCursor.h"
#include "ui/DataGrid.h"
#include "ui/EmptyNote.h"
#include "ui/Fonts.h"
#include "ui/ImageList.h"
#include "views/ViewLinks.h"

#include <QCalendarWidget>
#include <QDateEdit>
#include <QEvent>
#include <QHeaderView>
#include <QMenu>
#include <QSignalBlocker>
#include <QSplitter>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

Connection *shared() {
    return dmTessal ? &dmTessal->cnGeneral : nullptr;
}

const QString KindWidth = QStringLiteral("grSpec.<P>.Columns.<Item1>.Width");
const QString NumberWidth = QStringLiteral("grSpec.<P>.Columns.<Item3>.Width");
const QString SpecHeight = QStringLiteral("grSpec.<P>.Height");
const QString PickerDate = QStringLiteral("tbDoc.dtDoc.<P>.Date");
// The picker's lowest day, which stands for every document.
const QDate AllDocuments(1900, 1, 1);

// The exact total of a money field over every row, in the grid's currency format.
QString moneyTotal(const DataSet &ds, const QString &fieldName) {
    const Field *f = ds.isActive() ? ds.findField(fieldName) : nullptr;
    if (!f)
        return QString();
    qint64 sum = 0;
    for (int row = 0; row < ds.recordCount(); ++row)
        if (qAddOverflow(sum, Money::toUnits(ds.valueAt(row, f->index())), &sum))
            return QString();
    return FormatText(QStringLiteral("%m"), {TypedValue::Currency(Money::fromUnits(sum))});
}

} // namespace

TDocumentListFM::TDocumentListFM(QWidget *parent)
    : HostedView(QStringLiteral("Приходные документы"), parent) {
    setObjectName(QStringLiteral("TDocumentListFM"));

    taDoc = new DataSet(shared(), this);
    taDoc->setObjectName(QStringLiteral("taDoc"));
    taDoc->setCommand(QStringLiteral("GridDocumentList;1"), CommandType::StoredProc);
    taDoc->setReadOnly(true);
    taDoc->addField({QStringLiteral("ID"), FieldType::Integer, 0, true, {}, {}});
    taDoc->addField(
        {QStringLiteral("DocDate"), FieldType::DateTime, 0, false, QStringLiteral("dd.MM.yyyy"), {}});
    taDoc->addField({QStringLiteral("DocName"), FieldType::String, 42, false, {}, {}});
    taDoc->addField({QStringLiteral("ClientName"), FieldType::String, 50, false, {}, {}});
    taDoc->addField({QStringLiteral("Sum"), FieldType::Money, 0, true, {}, {}});

    taSpec = new DataSet(shared(), this);
    taSpec->setObjectName(QStringLiteral("taSpec"));
    taSpec->setCommand(QStringLiteral("EXECUTE GridDocumentPosition :ID"));
    taSpec->setReadOnly(true);
    taSpec->addField({QStringLiteral("ID"), FieldType::Integer, 0, true, {}, {}});
    taSpec->addField({QStringLiteral("Position"), FieldType::SmallInt, 0, false, {}, {}});
    taSpec->addField({QStringLiteral("Kind"), FieldType::String, 20, false, {}, {}});
    taSpec->addField({QStringLiteral("Model"), FieldType::String, 102, true, {}, {}});
    taSpec->addField({QStringLiteral("Number"), FieldType::String, 103, true, {}, {}});
    taSpec->addField({QStringLiteral("Price"), FieldType::Money, 0, false, {}, {}});
    for (const char *date : {"Last", "Warranty", "Manufact"})
        taSpec->addField(
            {QString::fromLatin1(date), FieldType::DateTime, 0, false, QStringLiteral("dd.MM.yyyy"), {}});
    taSpec->addField({QStringLiteral("IDDevice"), FieldType::Integer, 0, false, {}, {}});
    taSpec->setMaster(taDoc, {QStringLiteral("ID")});

    buildActions();
    buildLayout();
    new EmptyNote(grDoc, [this] {
        return taDoc->isActive()
                   ? QStringLiteral("Приходных документов нет: добавьте документ кнопкой + «Добавить» на "
                                    "панели выше или в карточке комплектующего.")
                   : QString();
    });
    Guarded([&] { loadSettings(); });
}

TDocumentListFM::~TDocumentListFM() {
    EndEmptyNotes(this);
    Guarded([&] { saveSettings(); });
}

void TDocumentListFM::buildActions() {
    actions = new ActionList(this);
    auto act = [&](const char *name, const QString &text, const QString &hint, int image) {
        return actions->add(new Action(this, QString::fromLatin1(name), text, hint, image));
    };
    auto open = [this] { return taDoc->isActive(); };
    auto hasDocs = [this] { return HasRecords(*taDoc); };

    acInsertDoc =
        act("acInsertDoc", QStringLiteral("Добавить"), QStringLiteral("Добавление документа"), Img::Add);
    acInsertDoc->setEnabledWhen(open);
    acInsertDoc->onTrigger([this] { insertDoc(); });
    acEditDoc =
        act("acEditDoc", QStringLiteral("Изменить"), QStringLiteral("Изменение документа"), Img::Edit);
    acEditDoc->setEnabledWhen(hasDocs);
    acEditDoc->onTrigger([this] { editDoc(); });
    acDeleteDoc =
        act("acDeleteDoc", QStringLiteral("Удалить"), QStringLiteral("Удаление документа"), Img::Delete);
    acDeleteDoc->setEnabledWhen(hasDocs);
    acDeleteDoc->onTrigger([this] { deleteDoc(); });
    acDocPrint = act("acDocPrint", QStringLiteral("Печать"), QStringLiteral("Печать документа."), Img::Print);
    acDocPrint->setEnabledWhen(hasDocs);
    acDocPrint->onTrigger([this] {
        links.ViewReportLink(QStringLiteral("document&rs:Command=Render&DOC=") +
                             QString::number(currentKey(*taDoc, QStringLiteral("ID"))));
    });
    acRefreshDoc = act("acRefreshDoc", QStringLiteral("Обновить"), QStringLiteral("Обновление документов"),
                       Img::Refresh);
    acRefreshDoc->setEnabledWhen(open);
    acRefreshDoc->onTrigger([this] { RefreshDoc(-1, -1); });
    acGoDevice = act("acGoDevice", QStringLiteral("Устройство"),
                     QStringLiteral("Место установки устройства."), Img::Layout);
    acGoDevice->setEnabledWhen([this] { return HasRecords(*taSpec); });
    acGoDevice->onTrigger([this] {
        links.GoPlacementNode(QStringLiteral("V"), currentKey(*taSpec, QStringLiteral("IDDevice")));
    });
    acDocKind =
        act("acDocKind", QStringLiteral("Тип документа"), QStringLiteral("Тип документа"), Img::Document);
    acDocKind->onTrigger([this] { links.RunDocumentKindList(-1); });
    acDocTrademark =
        act("acDocTrademark", QStringLiteral("Торговая марка"), QStringLiteral("Торговая марка"), Img::Chain);
    acDocTrademark->onTrigger([this] { links.RunTrademarkList(-1); });
    acDocShipper = act("acDocShipper", QStringLiteral("Поставщик"), QStringLiteral("Поставщик"), Img::Chain);
    acDocShipper->onTrigger([this] { links.RunFirmList(-1); });
}

void TDocumentListFM::buildLayout() {
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    tbDoc = viewToolBar(this, "tbDoc");
    addToolButton(tbDoc, acInsertDoc);
    addToolButton(tbDoc, acEditDoc);
    tbDoc->addSeparator();
    addToolButton(tbDoc, acDeleteDoc);
    tbDoc->addSeparator();
    addToolButton(tbDoc, acDocPrint);
    tbDoc->addSeparator();
    addToolButton(tbDoc, acRefreshDoc);
    tbDoc->addSeparator();
    // The list starts at the picker's day; at its lowest day, shown as "все", it holds every
    // document. A new user starts there, so that no document is hidden before a day is chosen.
    dtDoc = new QDateEdit(tbDoc);
    dtDoc->setObjectName(QStringLiteral("dtDoc"));
    dtDoc->setToolTip(QStringLiteral("Документы, начиная с установленной даты"));
    dtDoc->setDisplayFormat(QStringLiteral("dd.MM.yyyy"));
    dtDoc->setMinimumDate(AllDocuments);
    dtDoc->setSpecialValueText(QStringLiteral("все"));
    dtDoc->setDate(AllDocuments);
    dtDoc->setCalendarPopup(true);
    // Typing a day reopens the list once, when the day is complete, not at every digit.
    dtDoc->setKeyboardTracking(false);
    // The calendar of "все" opens on the current month rather than in 1900.
    dtDoc->calendarWidget()->installEventFilter(this);
    connect(dtDoc, &QDateEdit::dateChanged, this, [this] {
        if (taDoc->isActive())
            Guarded([&] { RefreshDoc(-1, -1); });
    });
    tbDoc->addWidget(dtDoc);
    tbDoc->addSeparator();
    addToolButton(tbDoc, acGoDevice);
    tbDoc->addSeparator();
    pmChain = new QMenu(QStringLiteral("Цепочка"), this);
    pmChain->setObjectName(QStringLiteral("pmChain"));
    pmChain->addAction(acDocKind);
    pmChain->addSeparator();
    pmChain->addAction(acDocTrademark);
    pmChain->addAction(acDocShipper);
    btChain = new QToolButton(tbDoc);
    btChain->setObjectName(QStringLiteral("btChain"));
    btChain->setIcon(imageIcon(Img::Chain));
    btChain->setText(QStringLiteral("Цепочка"));
    btChain->setToolTip(QStringLiteral("Справочники: типы документов, торговые марки, поставщики"));
    btChain->setMenu(pmChain);
    btChain->setPopupMode(QToolButton::InstantPopup);
    tbDoc->addWidget(btChain);
    layout->addWidget(tbDoc);

    spDoc = new QSplitter(Qt::Vertical, this);
    spDoc->setObjectName(QStringLiteral("spDoc"));
    spDoc->setChildrenCollapsible(false);
    layout->addWidget(spDoc, 1);

    const Qt::Alignment right = Qt::AlignRight | Qt::AlignVCenter;
    grDoc = new DataGrid(spDoc);
    grDoc->setObjectName(QStringLiteral("grDoc"));
    grDoc->setDataSet(taDoc);
    grDoc->setColumns(
        {makeColumn(QStringLiteral("DocDate"), QStringLiteral("Дата"), 90, false, Qt::AlignCenter),
         makeColumn(QStringLiteral("DocName"), QStringLiteral("Документ"), 140),
         makeColumn(QStringLiteral("ClientName"), QStringLiteral("Поставщик"), 134, true),
         makeColumn(QStringLiteral("Sum"), QStringLiteral("Сумма"), 105, false, right)});
    SortOnTitles(*grDoc);
    EditOnDoubleClick(*grDoc, acEditDoc);
    grDoc->setFooter([this](const GridColumn &c) {
        if (c.field == u"Sum")
            return moneyTotal(*taDoc, c.field);
        if (c.field == u"DocName" && taDoc->isActive())
            return QStringLiteral("Документов: %1").arg(taDoc->recordCount());
        return QString();
    });

    grSpec = new DataGrid(spDoc);
    grSpec->setObjectName(QStringLiteral("grSpec"));
    grSpec->setDataSet(taSpec);
    grSpec->setMinimumHeight(30);
    grSpec->setColumns(
        {makeColumn(QStringLiteral("Position"), QStringLiteral(" "), 18, false, Qt::AlignCenter),
         makeColumn(QStringLiteral("Kind"), QStringLiteral("Тип"), 100, false, Qt::AlignCenter),
         makeColumn(QStringLiteral("Model"), QStringLiteral("Модель"), 300, true),
         makeColumn(QStringLiteral("Number"), QStringLiteral("Номер"), 120),
         makeColumn(QStringLiteral("Price"), QStringLiteral("Цена"), 75, false, right)});
    SortOnTitles(*grSpec);
    EditOnDoubleClick(*grSpec, acGoDevice);
    grSpec->setCellStyle([](const DataSet &, int, const GridColumn &c, QFont &font, QColor &, QColor &) {
        if (c.field == u"Kind")
            ApplyNamedFont(font, QStringLiteral("Impact"));
    });
    grSpec->setFooter([this](const GridColumn &c) {
        return c.field == u"Price" ? moneyTotal(*taSpec, c.field) : QString();
    });
    spDoc->addWidget(grDoc);
    spDoc->addWidget(grSpec);
    spDoc->setStretchFactor(0, 1);
    spDoc->setStretchFactor(1, 0);
    spDoc->setSizes({400, 206});
}

void TDocumentListFM::loadSettings() {
    if (stDoc.contains(KindWidth))
        grSpec->setColumnWidth(1, stDoc.read(KindWidth).toInt());
    if (stDoc.contains(NumberWidth))
        grSpec->setColumnWidth(3, stDoc.read(NumberWidth).toInt());
    if (stDoc.contains(SpecHeight)) {
        const int h = qMax(30, stDoc.read(SpecHeight).toInt());
        spDoc->setSizes({qMax(100, spDoc->height() - h), h});
    }
    const QDate date = stDoc.read(PickerDate).toDate();
    if (date.isValid())
        dtDoc->setDate(std::max(date, AllDocuments));
}

void TDocumentListFM::saveSettings() {
    stDoc.write(KindWidth, grSpec->columnWidth(1));
    stDoc.write(NumberWidth, grSpec->columnWidth(3));
    stDoc.write(SpecHeight, grSpec->height());
    stDoc.write(PickerDate, dtDoc->date());
}

bool TDocumentListFM::eventFilter(QObject *watched, QEvent *event) {
    if (watched == dtDoc->calendarWidget() && event->type() == QEvent::Show && dtDoc->date() == AllDocuments)
        dtDoc->calendarWidget()->setCurrentPage(QDate::currentDate().year(), QDate::currentDate().month());
    return HostedView::eventFilter(watched, event);
}

QDate TDocumentListFM::listedFrom() const {
    return dtDoc->date() == AllDocuments ? QDate() : dtDoc->date();
}

void TDocumentListFM::RefreshDoc(int ID, int IDPos) {
    calls << QStringLiteral("RefreshDoc(%1, %2)").arg(ID).arg(IDPos);
    BusyCursor busy;
    const bool asked = ID > 0; // a document named by the caller, not the one that was current
    if (taDoc->isActive() && ID == -1)
        ID = currentKey(*taDoc, QStringLiteral("ID"));
    auto open = [&] {
        const QDate from = listedFrom();
        OpenWithParams(*taDoc, {TypedValue::Variant(from.isValid() ? QVariant(QDateTime(from, QTime(0, 0)))
                                                                   : QVariant())});
        return taDoc->locate(QStringLiteral("ID"), ID);
    };
    // A document asked for by its key that lies before the picker's day (a jump from another view)
    // moves the day back to it, so that the list always shows where it was sent.
    if (!open() && asked && listedFrom().isValid() && shared()) {
        const QDate date =
            normalizeValue(FieldType::DateTime,
                           shared()->scalar(QStringLiteral("SELECT DocDate FROM Document WHERE "
                                                           "IdDocument = :ID"),
                                            {{QStringLiteral("ID"), ID}}))
                .toDate();
        if (date.isValid() && date < listedFrom()) {
            const QSignalBlocker quiet(dtDoc);
            dtDoc->setDate(std::max(date, AllDocuments));
            open();
        }
    }
    // The positions follow the current document (a detail of the list).
    if (!taSpec->isActive())
        taSpec->open();
    if (IDPos > 0)
        taSpec->locate(QStringLiteral("Position"), IDPos);
}

void TDocumentListFM::RefreshComponent(int Component) {
    calls << QStringLiteral("RefreshComponent(%1)").arg(Component);
    if (Component == -1 || !dmChain)
        return;
    dmChain->setComponent(Component);
    RefreshDoc(dmChain->Document(), dmChain->DocumentPosition());
}

void TDocumentListFM::insertDoc() {
    int saved = -1;
    if (links.RunDocumentEdit(-1, &saved))
        RefreshDoc(saved, -1);
}

void TDocumentListFM::editDoc() {
    int saved = currentKey(*taDoc, QStringLiteral("ID"));
    if (links.RunDocumentEdit(saved, &saved))
        RefreshDoc(saved, -1);
}

void TDocumentListFM::deleteDoc() {
    // Four lines: key; name and date (with the time when it has one); supplier; total.
    const QString format = QStringLiteral("Удалить: %d\r%s от %s\rпоставщик %s\rсумма %m?");
    if (!ConfirmWarningFmt(format,
                           {TypedValue::Int(taDoc->value(QStringLiteral("ID")).toInt()),
                            TypedValue::Text(taDoc->fieldByName(QStringLiteral("DocName"))->asString()),
                            TypedValue::Text(gridDisplayText(taDoc->value(QStringLiteral("DocDate")))),
                            TypedValue::Text(taDoc->fieldByName(QStringLiteral("ClientName"))->asString()),
                            TypedValue::Currency(taDoc->value(QStringLiteral("Sum")).toString())}))
        return;
    DeleteByKey(QStringLiteral("Document"), *taDoc->fieldByName(QStringLiteral("ID")),
                QStringLiteral("IdDocument"));
    taDoc->prior();
    RefreshDoc(-1, -1);
}
