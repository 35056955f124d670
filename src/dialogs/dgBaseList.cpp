#include "dialogs/dgBaseList.h"

#include "data/DataSet.h"
#include "data/Errors.h"
#include "data/TessalADO.h"
#include "data/TessalDialog.h"
#include "data/dmTessalData.h"
#include "dialogs/dgCommon.h"
#include "ui/Actions.h"
#include "ui/BusyCursor.h"
#include "ui/DataControls.h"
#include "ui/DataGrid.h"
#include "ui/Fonts.h"
#include "ui/ImageList.h"
#include "ui/Seams.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QScrollBar>
#include <QVBoxLayout>

TBASEListDG::TBASEListDG(QWidget *parent) : QDialog(parent) {
    setObjectName(QStringLiteral("BASEListDG"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                   Qt::MSWindowsFixedSizeDialogHint);
    setFont(NamedFont(QStringLiteral("Tahoma"), 12));

    taList = DialogDataSet(this, QStringLiteral("taList"));
    taList->setReadOnly(true);

    grList = new DataGrid(this);
    grList->setObjectName(QStringLiteral("grList"));
    grList->setShowGrid(true);

    btInsert = DialogButton(this, "btInsert", QStringLiteral("Добавить"));
    btEdit = DialogButton(this, "btEdit", QStringLiteral("Изменить"));
    btDelete = DialogButton(this, "btDelete", imageIcon(Img::Delete), QStringLiteral("Удалить"));
    btFind = DialogButton(this, "btFind", imageIcon(Img::Find), QStringLiteral("Поиск"));
    btFind->hide();
    btBack = DialogButton(this, "btBack", QStringLiteral("Выбрать"));
    btBack->setEnabled(false);
    btExit = DialogButton(this, "btExit", QStringLiteral("Выход"));

    auto *root = new QVBoxLayout(this);
    root->addWidget(grList, 1);
    m_buttons = new QHBoxLayout;
    for (QPushButton *b : {btInsert, btEdit, btDelete, btFind})
        m_buttons->addWidget(b);
    m_buttons->addStretch(1);
    m_buttons->addWidget(btBack);
    m_buttons->addWidget(btExit);
    root->addLayout(m_buttons);

    connect(btExit, &QPushButton::clicked, this, &QDialog::reject);
    // A double click on a row changes it, as "Изменить" does.
    connect(grList, &DataGrid::rowDoubleClicked, this, [this] {
        if (btEdit->isEnabled() && !btEdit->isHidden())
            btEdit->click();
    });
    connect(btBack, &QPushButton::clicked, this, [this] {
        if (!m_choose)
            return;
        if (Guarded(m_choose))
            accept();
    });

    // No target field at the start.
    setListDataSet(taList);
    setFixedSize(480, 360); // concrete dialogs fix their own size with setColumns
}

TBASEListDG::~TBASEListDG() {
    // The list datasets are children and go after this destructor: their last signals (destroyed
    // among them) must not reach a dialog that is no longer whole.
    for (const auto &c : std::as_const(m_listConnections))
        disconnect(c);
}

void TBASEListDG::onClick(QPushButton *button, std::function<void()> handler) {
    connect(button, &QPushButton::clicked, this, [handler = std::move(handler)] { Guarded(handler); });
}

void TBASEListDG::setListDataSet(DataSet *list) {
    for (const auto &c : std::as_const(m_listConnections))
        disconnect(c);
    m_listConnections.clear();
    m_list = list;
    grList->setDataSet(list);
    if (list) {
        for (auto signal : {&DataSet::stateChanged, &DataSet::dataChanged, &DataSet::scrolled})
            m_listConnections << connect(list, signal, this, &TBASEListDG::dsListStateChange);
        m_listConnections << connect(list, &QObject::destroyed, this, &TBASEListDG::dsListStateChange);
    }
    dsListStateChange();
}

DataSet *TBASEListDG::listDataSet() const {
    return m_list;
}

void TBASEListDG::dsListStateChange() {
    const DataSet *list = m_list;
    btInsert->setEnabled(list && list->isActive());
    btEdit->setEnabled(list && HasRecords(*list));
    btDelete->setEnabled(list && HasRecords(*list) &&
                         (!m_catalogue.canDelete || m_catalogue.canDelete(*list)));
}

// ---- the catalogue ---------------------------------------------------------------------------

namespace {

// No key: the row current now.
bool noKey(const QVariant &key) {
    if (!key.isValid() || key.isNull())
        return true;
    if (key.typeId() == QMetaType::QString)
        return key.toString().isEmpty();
    bool number = false;
    const int n = key.toInt(&number);
    return number && n < 0;
}

} // namespace

int KeyOr(const QVariant &key, int none) {
    return key.isValid() && !key.isNull() ? key.toInt() : none;
}

void TBASEListDG::setCatalogue(ListCatalogue catalogue) {
    const bool first = !m_catalogue.list;
    m_catalogue = std::move(catalogue);
    if (first) {
        onClick(btInsert, [this] { insertRow(); });
        onClick(btEdit, [this] { editRow(); });
        onClick(btDelete, [this] { deleteRow(); });
    }
    if (!m_catalogue.nothingToChoose.isEmpty())
        setChooseHandler([this] { chooseRow(); });
    setListDataSet(m_catalogue.list);
}

void TBASEListDG::reloadList(const QVariant &key) {
    DataSet *list = m_catalogue.list;
    if (!list)
        return;
    BusyCursor busy;
    QVariant wanted = key;
    if (noKey(wanted) && HasRecords(*list))
        wanted = list->value(m_catalogue.keyField);
    if (m_catalogue.open)
        m_catalogue.open(*list);
    else
        OpenWithParams(*list);
    if (!noKey(wanted)) {
        if (!list->locate(m_catalogue.keyField, wanted) && m_catalogue.firstWhenMissing)
            list->first();
    } else if (m_catalogue.firstWhenMissing) {
        list->first();
    }
    QHeaderView *header = grList->horizontalHeader();
    for (int column : std::as_const(m_catalogue.fixedColumns))
        if (column < header->count())
            header->setSectionResizeMode(column, QHeaderView::Fixed);
}

void TBASEListDG::insertRow() {
    if (!m_catalogue.edit)
        return;
    if (const std::optional<QVariant> saved = m_catalogue.edit(QVariant())) {
        if (m_catalogue.showSaved)
            m_catalogue.showSaved(*saved);
        else
            reloadList(*saved);
    }
}

void TBASEListDG::editRow() {
    DataSet *list = m_catalogue.list;
    if (!m_catalogue.edit || !list || !HasRecords(*list))
        return;
    if (const std::optional<QVariant> saved = m_catalogue.edit(list->value(m_catalogue.keyField))) {
        if (m_catalogue.showSaved)
            m_catalogue.showSaved(*saved);
        else
            reloadList(*saved);
    }
}

void TBASEListDG::deleteRow() {
    DataSet *list = m_catalogue.list;
    if (!m_catalogue.remove || !list || !HasRecords(*list) ||
        (m_catalogue.canDelete && !m_catalogue.canDelete(*list)))
        return;
    const QVariant key = list->value(m_catalogue.keyField);
    const QString name = list->value(m_catalogue.nameField).toString();
    if (!(m_catalogue.confirm ? m_catalogue.confirm(name) : ConfirmDelete(name)))
        return;
    try {
        m_catalogue.remove(*list);
    } catch (const AppError &e) {
        if (m_catalogue.refused) {
            m_catalogue.refused(key, name, e);
            return;
        }
        if (m_catalogue.refusedText.isEmpty())
            throw;
        ShowError(m_catalogue.refusedText.arg(name, e.message()));
        reloadList();
        return;
    }
    if (m_catalogue.afterDelete == ListCatalogue::AfterDelete::Prior)
        list->prior();
    else if (m_catalogue.afterDelete == ListCatalogue::AfterDelete::Next)
        list->next();
    reloadList();
}

void TBASEListDG::chooseRow() {
    const DataSet *list = m_catalogue.list;
    if (!list || !HasRecords(*list))
        throw AppError(m_catalogue.nothingToChoose);
    SetBackValue(list->value(m_catalogue.keyField));
}

void TBASEListDG::setField(Field *field) {
    DataSet *ds = field ? field->dataSet() : nullptr;
    const QString name = field ? field->name() : QString();
    if (ds == m_fieldDataSet.data() && name.compare(m_fieldName, Qt::CaseInsensitive) == 0)
        return;
    m_fieldDataSet = ds;
    m_fieldName = name;
    updateBack();
}

Field *TBASEListDG::field() const {
    if (!m_fieldDataSet || m_fieldName.isEmpty())
        return nullptr;
    return m_fieldDataSet->findField(m_fieldName);
}

void TBASEListDG::setChooseHandler(std::function<void()> handler) {
    m_choose = std::move(handler);
    updateBack();
}

void TBASEListDG::updateBack() {
    btBack->setEnabled(m_fieldDataSet && !m_fieldName.isEmpty() && m_choose);
}

void TBASEListDG::SetBackValue(const QVariant &value) {
    Field *f = field();
    if (!f)
        return;
    EnsureEditing(*f->dataSet());
    f->setValue(value);
}

void TBASEListDG::setVisual(bool visual) {
    if (m_visual.set(visual, m_list))
        dsListStateChange();
}

void TBASEListDG::FormClose() {
    m_tag = 0;
    const DataSet *list = m_list;
    if (list && HasRecords(*list) && list->fieldCount() > 0) {
        bool ok = false;
        const int key = list->field(0)->asString().trimmed().toInt(&ok);
        m_tag = ok ? key : 0;
    }
}

void TBASEListDG::done(int result) {
    FormClose();
    QDialog::done(result);
}

void TBASEListDG::setColumns(const QVector<GridColumn> &columns, int height) {
    grList->setColumns(columns);
    int width = 2 * grList->frameWidth() + grList->verticalScrollBar()->sizeHint().width();
    if (!grList->verticalHeader()->isHidden())
        width += grList->verticalHeader()->sizeHint().width();
    for (const GridColumn &c : columns)
        width += c.width;
    const QMargins margins = layout()->contentsMargins();
    width = std::max(width, m_buttons->minimumSize().width()) + margins.left() + margins.right();
    setFixedSize(width, height);
}
