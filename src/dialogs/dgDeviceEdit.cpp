#include "dialogs/dgDeviceEdit.h"

#include "data/DataSet.h"
#include "data/TessalADO.h"
#include "data/TessalDialog.h"
#include "data/dmTessalData.h"
#include "dialogs/dgKindList.h"
#include "dialogs/dgWorkplaceFind.h"
#include "model/dmChainData.h"
#include "model/dmLookUpData.h"
#include "ui/Actions.h"
#include "ui/ImageList.h"

#include <QDate>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include <iterator>

const QVector<std::pair<int, QString>> &DeviceUseStates() {
    static const QVector<std::pair<int, QString>> states = {
        {1, QStringLiteral("Используется")},     {2, QStringLiteral("Хранится")},
        {3, QStringLiteral("Восстановление")},   {4, QStringLiteral("Новый компьютер")},
        {-1, QStringLiteral("Не используется")},
    };
    return states;
}

QString MonthYearText(const QDate &date) {
    static const char *const months[] = {"январь", "февраль", "март",     "апрель",  "май",    "июнь",
                                         "июль",   "август",  "сентябрь", "октябрь", "ноябрь", "декабрь"};
    if (!date.isValid())
        return QString();
    return QString::fromUtf8(months[date.month() - 1]) + u' ' + QString::number(date.year()) +
           QStringLiteral(" года");
}

// ---------------------------------------------------------------------------------------------
// DBCodeCombo

DBCodeCombo::DBCodeCombo(DataSet *dataSet, const QString &field,
                         const QVector<std::pair<int, QString>> &items, QWidget *parent)
    : QComboBox(parent), m_link(this, [this] { refresh(); }) {
    for (const auto &[code, text] : items)
        addItem(text, code);
    // Only the user's choices are stored; showing a value moves the index without `activated`.
    connect(this, &QComboBox::activated, this, &DBCodeCombo::choose);
    m_link.bind(dataSet, field);
    refresh();
}

void DBCodeCombo::refresh() {
    if (m_showing)
        return;
    m_showing = true;
    const Field *f = m_link.field();
    setCurrentIndex(f && !f->isNull() ? findData(f->asInt()) : -1);
    m_showing = false;
}

void DBCodeCombo::choose(int index) {
    if (index < 0 || index >= count()) {
        refresh();
        return;
    }
    if (m_link.write(itemData(index).toInt()))
        refresh();
}

// ---------------------------------------------------------------------------------------------
// TDeviceEditDG

const QString TDeviceEditDG::NameMessage = QStringLiteral("Укажите наименование устройства.");
const QString TDeviceEditDG::WorkplaceMessage = QStringLiteral("Выберите рабочее место устройства.");

TDeviceEditDG::TDeviceEditDG() {
    setObjectName(QStringLiteral("DeviceEditDG"));
    setWindowTitle(QStringLiteral("Устройство"));

    taData->setCommand(QStringLiteral("select * from DeviceUnit where IdDevice = :ID"));
    // Types and widths come from the table; the dialog adds only what the table cannot say: how
    // the date shows, and that the ping sweep's result is no business of this dialog.
    FieldDef prevention;
    prevention.name = QStringLiteral("Prevention");
    prevention.displayFormat = QStringLiteral("dd.MM.yyyy");
    taData->addField(prevention);
    FieldDef online;
    online.name = QStringLiteral("OnLine");
    online.readOnly = true;
    taData->addField(online);

    const auto separator = [this] {
        auto *line = new QFrame(this);
        line->setFrameShape(QFrame::HLine);
        line->setFrameShadow(QFrame::Sunken);
        return line;
    };

    lcWorkplace = Named(new DBLookupCombo(taData, QStringLiteral("DevcIdWorkplace"), this), "lcWorkplace");
    btFind = DialogButton(this, "btFind", imageIcon(Img::Find), QStringLiteral("Поиск"));
    lcKind = Named(new DBLookupCombo(taData, QStringLiteral("DevcIdKind"), this), "lcKind");
    btKind = DialogButton(this, "btKind", imageIcon(Img::Open), QStringLiteral("Справочник типов"));
    btKind->setFocusPolicy(Qt::NoFocus);
    edName = Named(new DBEdit(taData, QStringLiteral("DevcName"), this), "edName");
    edNumb = Named(new DBEdit(taData, QStringLiteral("DevcNumber"), this), "edNumb");
    edDepr = Named(new DBEdit(taData, QStringLiteral("Depreciation"), this), "edDepr");
    edDomain = Named(new DBEdit(taData, QStringLiteral("Domain"), this), "edDomain");
    cbUsed = Named(new DBCodeCombo(taData, QStringLiteral("Used"), DeviceUseStates(), this), "cbUsed");
    DBCheckBoxEh1 = Named(
        new DBCheckBox(taData, QStringLiteral("PreventionNeed"), QStringLiteral("Профилактика нужна"), this),
        "DBCheckBoxEh1");
    DBCheckBoxEh1->setLayoutDirection(Qt::RightToLeft); // the caption left of the box
    edPrevention = Named(new DBDateEdit(taData, QStringLiteral("Prevention"), this), "edPrevention");
    cbPreventionExpress =
        Named(new DBCheckBox(taData, QStringLiteral("PreventionExpress"), QStringLiteral("Срочно"), this),
              "cbPreventionExpress");
    cbReport = Named(new DBCheckBox(taData, QStringLiteral("DevcPrinting"), QStringLiteral("Отчёт"), this),
                     "cbReport");
    moDescription = Named(new DBMemo(taData, QStringLiteral("DevcDescription"), this), "moDescription");
    moDescription->setFixedHeight(90);
    if (dmLookUp) {
        lcWorkplace->setListSource(dmLookUp->taWork);
        lcKind->setListSource(dmLookUp->taKind);
    }

    // Top to bottom: workplace; kind and name; number and write-off; network name and state;
    // maintenance; description.
    auto *form = new QVBoxLayout;
    const auto row = [form](std::initializer_list<QWidget *> widgets,
                            std::initializer_list<int> stretches = {}) {
        auto *line = new QHBoxLayout;
        auto s = stretches.begin();
        for (QWidget *w : widgets)
            line->addWidget(w, s != stretches.end() ? *s++ : 0);
        form->addLayout(line);
    };
    form->addWidget(caption(QStringLiteral("Рабочее место"), lcWorkplace));
    row({lcWorkplace, btFind}, {1, 0});
    form->addWidget(caption(QStringLiteral("Наименование"), lcKind));
    row({lcKind, btKind}, {1, 0});
    form->addWidget(edName);
    row({caption(QStringLiteral("Номер"), edNumb), caption(QStringLiteral("Списание"), edDepr)}, {1, 1});
    row({edNumb, edDepr}, {1, 1});
    row({caption(QStringLiteral("Доменное имя"), edDomain), caption(QStringLiteral("Состояние"), cbUsed)},
        {1, 1});
    row({edDomain, cbUsed}, {1, 1});
    form->addWidget(separator());
    row({DBCheckBoxEh1, caption(QStringLiteral("Проведена"), edPrevention), edPrevention,
         cbPreventionExpress},
        {0, 0, 1, 0});
    form->addWidget(separator());
    row({caption(QStringLiteral("Описание"), moDescription), cbReport}, {1, 0});
    form->addWidget(moDescription);
    auto *wide = new QWidget(this);
    wide->setFixedSize(420, 0);
    form->addWidget(wide);
    contentLayout()->addLayout(form);

    QWidget *order[] = {lcWorkplace, btFind,        lcKind, edName,       edNumb,
                        edDepr,      edDomain,      cbUsed, edPrevention, cbPreventionExpress,
                        cbReport,    moDescription, btSave, btCancel,     DBCheckBoxEh1};
    for (size_t i = 1; i < std::size(order); ++i)
        setTabOrder(order[i - 1], order[i]);

    addRule(
        [this] {
            const Field *place = taData->findField(QStringLiteral("DevcIdWorkplace"));
            return !place || place->asInt() > 0;
        },
        WorkplaceMessage, lcWorkplace);
    requireName(QStringLiteral("DevcName"), edName, NameMessage);

    connect(btFind, &QPushButton::clicked, this, [this] { Guarded([this] { btFindClick(); }); });
    connect(btKind, &QPushButton::clicked, this, [this] { Guarded([this] { btKindClick(); }); });
}

bool TDeviceEditDG::Run(int device, int place) {
    TDeviceEditDG *dlg = Instance();
    dmChain->setDevice(device);
    dmLookUp->SetKindType(QStringLiteral("D"));
    dmLookUp->SetWorkplace(dmChain->Department());
    return dlg->runEdit(device, [place](DataSet &ds) {
        // A new device: the workplaces of the department the given workplace belongs to.
        dmChain->setWorkplace(place);
        dmLookUp->SetWorkplace(dmChain->Department());
        if (place > 0)
            ds.fieldByName(QStringLiteral("DevcIdWorkplace"))->setValue(place);
        // A device is recorded when it is put to use, unless the user says otherwise.
        ds.fieldByName(QStringLiteral("Used"))->setValue(DeviceInUse);
    });
}

void TDeviceEditDG::showEvent(QShowEvent *event) {
    TBaseEditDG::showEvent(event);
    edName->setFocus();
}

void TDeviceEditDG::btFindClick() {
    Field *place = taData->findField(QStringLiteral("DevcIdWorkplace"));
    if (!place || !TWorkplaceFindDG::Run(place))
        return;
    dmChain->setWorkplace(place->asInt());
    dmLookUp->SetWorkplace(dmChain->Department());
}

void TDeviceEditDG::btKindClick() {
    Field *kind = taData->findField(QStringLiteral("DevcIdKind"));
    if (!kind)
        return;
    // The kind the selector shows, -1 (the kind the list was last closed on) when it shows none.
    const int shown = lcKind->rowOfValue() >= 0 ? kind->asInt() : -1;
    TKindListDG::Run(shown, kind, QStringLiteral("D"));
    // Kinds added or renamed in the list show in the box at once, the chosen one selected.
    dmLookUp->SetKindType(QStringLiteral("D"));
}
