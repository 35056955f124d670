#include "network/dgNetSetup.h"

#include "data/DataSet.h"
#include "data/Errors.h"
#include "data/TessalADO.h"
#include "data/TessalDialog.h"
#include "data/dmTessalData.h"
#include "ui/BusyCursor.h"
#include "ui/DataControls.h"
#include "ui/DataGrid.h"
#include "ui/Seams.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>

const QString NoDomainsHint = QStringLiteral(
    "Список доменов пуст. Добавьте домен и его контроллер: вкладка «Пользователи», кнопка "
    "«Настройка», «Контроллеры домена», или команда «velmora-db domains add ДОМЕН КОНТРОЛЛЕР[:ПОРТ]».");
const QString NoChecklistHint = QStringLiteral(
    "Строки бланка по умолчанию не заданы, поэтому бланк пуст. Задайте их: вкладка "
    "«Пользователи», кнопка «Настройка», «Строки бланка по умолчанию», или команда «velmora-db "
    "checklist-defaults add НОМЕР heading|item ТЕКСТ»; новый бланк получит их.");

namespace {

QLabel *formRow(QFormLayout *form, QWidget *owner, const QString &caption, QWidget *control) {
    auto *label = new QLabel(caption, owner);
    label->setBuddy(control);
    form->addRow(label, control);
    return label;
}

// A set-up list keyed by ID: the first row is current when the key is not in the list.
ListCatalogue setupList(DataSet *list, const QString &table, const QString &nameField) {
    ListCatalogue c;
    c.list = list;
    c.nameField = nameField;
    if (!table.isEmpty())
        c.remove = [table](DataSet &rows) {
            DeleteByKey(table, *rows.fieldByName(QStringLiteral("ID")), QStringLiteral("ID"));
        };
    c.firstWhenMissing = true;
    return c;
}

} // namespace

// ---- Domains --------------------------------------------------------------------------------

TDomainControllerEditDG::TDomainControllerEditDG() : TBaseEditDG(nullptr) {
    setObjectName(QStringLiteral("TDomainControllerEditDG"));
    setWindowTitle(QStringLiteral("Домен"));
    taData->setCommand(QStringLiteral("select * from DomainController where ID = :ID"));
    edDomain = Named(new DBEdit(taData, QStringLiteral("Domain"), this), "edDomain");
    edController = Named(new DBEdit(taData, QStringLiteral("Controller"), this), "edController");
    edBindAccount = Named(new DBEdit(taData, QStringLiteral("BindAccount"), this), "edBindAccount");
    edController->setPlaceholderText(QStringLiteral("dc1.corp.local:389"));
    edBindAccount->setPlaceholderText(QStringLiteral("нет: анонимный вход"));
    edBindAccount->setMinimumWidth(260);
    auto *form = new QFormLayout;
    formRow(form, this, QStringLiteral("Домен"), edDomain);
    formRow(form, this, QStringLiteral("Контроллер (компьютер[:порт])"), edController);
    formRow(form, this, QStringLiteral("Учётная запись для чтения каталога"), edBindAccount);
    contentLayout()->addLayout(form);
    auto *note = new QLabel(QStringLiteral("Пароль учётной записи хранится в настройках рабочего места "
                                           "(группа [Domain.Scan], ДОМЕН.Password), не в базе данных."),
                            this);
    note->setWordWrap(true);
    contentLayout()->addWidget(note);
    requireName(QStringLiteral("Domain"), edDomain, QStringLiteral("Укажите имя домена."));
    requireName(QStringLiteral("Controller"), edController,
                QStringLiteral("Укажите контроллер домена: имя или адрес компьютера, при необходимости с "
                               "портом, например dc1.corp.local:389."));
}

bool TDomainControllerEditDG::Run(int ID, int *saved) {
    TDomainControllerEditDG *dlg = Instance();
    dlg->savedId = -1;
    const bool ok = dlg->runEdit(ID);
    if (ok && saved)
        *saved = dlg->savedId;
    return ok;
}

void TDomainControllerEditDG::postData() {
    // The key of a new domain is given by the server: the row is written by the procedure, which
    // also checks what the table alone cannot (a unique name whatever its case, the controller).
    DataSet save(taData->connection());
    save.setCommand(QStringLiteral("DomainControllerSave;1"), CommandType::StoredProc);
    const QVariant id = taData->value(QStringLiteral("ID"));
    save.setParameterValue(QStringLiteral("@ID"), id.isNull() ? QVariant() : id);
    save.setParameterValue(QStringLiteral("@DM"), taData->value(QStringLiteral("Domain")));
    save.setParameterValue(QStringLiteral("@DC"), taData->value(QStringLiteral("Controller")));
    save.setParameterValue(QStringLiteral("@BA"), taData->value(QStringLiteral("BindAccount")));
    save.execProc();
    savedId = save.parameter(QStringLiteral("@ID")).value.toInt();
    taData->cancel();
}

TDomainControllerListDG::TDomainControllerListDG() : TBASEListDG(nullptr) {
    setObjectName(QStringLiteral("TDomainControllerListDG"));
    setWindowTitle(QStringLiteral("Контроллеры домена"));
    taDomain = DialogDataSet(this, QStringLiteral("taDomain"));
    taDomain->setCommand(QStringLiteral("select * from DomainController order by Domain"));
    taDomain->setReadOnly(true);
    setColumns({makeColumn(QStringLiteral("Domain"), QStringLiteral("Домен"), 120),
                makeColumn(QStringLiteral("Controller"), QStringLiteral("Контроллер"), 160, true),
                makeColumn(QStringLiteral("BindAccount"), QStringLiteral("Учётная запись"), 160, true)},
               300);
    btBack->hide();
    ListCatalogue c = setupList(taDomain, QStringLiteral("DomainController"), QStringLiteral("Domain"));
    c.edit = [](const QVariant &key) -> std::optional<QVariant> {
        int saved = -1;
        if (!TDomainControllerEditDG::Run(KeyOr(key, -1), &saved))
            return std::nullopt;
        return saved;
    };
    setCatalogue(c);
}

int TDomainControllerListDG::Run() {
    TDomainControllerListDG *dlg = Instance();
    OpenWithParams(*dlg->taDomain);
    dlg->setResult(QDialog::Rejected);
    return RunModal(*dlg);
}

void TDomainControllerListDG::Reload(int id) {
    reloadList(id);
}

// ---- Default checklist lines ----------------------------------------------------------------

TUserInstallDefaultEditDG::TUserInstallDefaultEditDG() : TBaseEditDG(nullptr) {
    setObjectName(QStringLiteral("TUserInstallDefaultEditDG"));
    setWindowTitle(QStringLiteral("Строка бланка"));
    taData->setCommand(QStringLiteral("select * from UserInstallDefault where ID = :ID"));
    edLine = Named(new DBEdit(taData, QStringLiteral("Line"), this), "edLine");
    edLine->setMaximumWidth(80);
    cbTitle =
        Named(new DBCheckBox(taData, QStringLiteral("Title"), QStringLiteral("Заголовок"), this), "cbTitle");
    edName = Named(new DBEdit(taData, QStringLiteral("Name"), this), "edName");
    edName->setMinimumWidth(320);
    auto *form = new QFormLayout;
    formRow(form, this, QStringLiteral("Номер"), edLine);
    form->addRow(QString(), cbTitle);
    formRow(form, this, QStringLiteral("Текст"), edName);
    contentLayout()->addLayout(form);
    addRule([this] { return !taData->value(QStringLiteral("Line")).isNull(); },
            QStringLiteral("Укажите номер строки: по нему строки стоят в бланке."), edLine);
    requireName(QStringLiteral("Name"), edName, QStringLiteral("Укажите текст строки бланка."));
}

std::optional<int> TUserInstallDefaultEditDG::Run(int ID) {
    TUserInstallDefaultEditDG *dlg = Instance();
    return dlg->runEditKey(ID, QStringLiteral("ID"), [dlg](DataSet &ds) {
        // Numbered after the last line.
        const QVariant last =
            dlg->taData->connection()->scalar(QStringLiteral("SELECT max(Line) FROM UserInstallDefault"));
        ds.fieldByName(QStringLiteral("Line"))->setValue(last.isNull() ? 1 : last.toInt() + 1);
        ds.fieldByName(QStringLiteral("Title"))->setValue(false);
    });
}

TUserInstallDefaultListDG::TUserInstallDefaultListDG() : TBASEListDG(nullptr) {
    setObjectName(QStringLiteral("TUserInstallDefaultListDG"));
    setWindowTitle(QStringLiteral("Строки бланка по умолчанию"));
    taLines = DialogDataSet(this, QStringLiteral("taLines"));
    taLines->setCommand(QStringLiteral("select * from UserInstallDefault order by Line, ID"));
    taLines->setReadOnly(true);
    setColumns({makeColumn(QStringLiteral("Line"), QStringLiteral("Номер"), 50, false, Qt::AlignCenter),
                makeColumn(QStringLiteral("Name"), QStringLiteral("Текст"), 300, true)},
               360);
    grList->setCellStyle([](const DataSet &ds, int row, const GridColumn &, QFont &font, QColor &, QColor &) {
        const Field *title = ds.findField(QStringLiteral("Title"));
        if (title && ds.valueAt(row, title->index()).toBool())
            font.setBold(true);
    });
    btBack->hide();
    ListCatalogue c = setupList(taLines, QStringLiteral("UserInstallDefault"), QStringLiteral("Name"));
    c.edit = [](const QVariant &key) { return AsKey(TUserInstallDefaultEditDG::Run(KeyOr(key, -1))); };
    setCatalogue(c);
}

int TUserInstallDefaultListDG::Run() {
    TUserInstallDefaultListDG *dlg = Instance();
    OpenWithParams(*dlg->taLines);
    dlg->setResult(QDialog::Rejected);
    return RunModal(*dlg);
}

void TUserInstallDefaultListDG::Reload(int id) {
    reloadList(id);
}

// ---- Accounts set aside ---------------------------------------------------------------------

TUserIgnoreListDG::TUserIgnoreListDG() : TBASEListDG(nullptr) {
    setObjectName(QStringLiteral("TUserIgnoreListDG"));
    setWindowTitle(QStringLiteral("Убранные учётные записи"));
    taIgnore = DialogDataSet(this, QStringLiteral("taIgnore"));
    taIgnore->setCommand(QStringLiteral("GridUserIgnore;1"), CommandType::StoredProc);
    taIgnore->setReadOnly(true);
    taIgnore->addField(
        {QStringLiteral("DomainText"), FieldType::String, 20, true, {}, [](const DataSet &ds) -> QVariant {
             const Field *d = ds.findField(QStringLiteral("Domain"));
             return d && d->isNull() ? QStringLiteral("(любой)") : d ? d->value() : QVariant();
         }});
    setColumns({makeColumn(QStringLiteral("DomainText"), QStringLiteral("Домен"), 100),
                makeColumn(QStringLiteral("Login"), QStringLiteral("Уч. запись"), 120),
                makeColumn(QStringLiteral("Name"), QStringLiteral("Имя"), 180, true)},
               300);
    for (QPushButton *b : {btBack, btInsert, btEdit, btDelete, btFind})
        b->hide();
    btRestore = DialogButton(this, "btRestore", QStringLiteral("Вернуть"));
    btRestore->setToolTip(QStringLiteral("Вернуть учётную запись в список пользователей."));
    buttonLayout()->insertWidget(0, btRestore);
    onClick(btRestore, [this] { restoreCurrent(); });
    setCatalogue(setupList(taIgnore, QString(), QStringLiteral("Name")));
}

int TUserIgnoreListDG::Run() {
    TUserIgnoreListDG *dlg = Instance();
    dlg->Reload();
    dlg->setResult(QDialog::Rejected);
    return RunModal(*dlg);
}

void TUserIgnoreListDG::Reload() {
    reloadList();
    dsListStateChange();
}

void TUserIgnoreListDG::restoreCurrent() {
    if (!HasRecords(*taIgnore))
        return;
    DataSet sp(taIgnore->connection());
    sp.setCommand(QStringLiteral("RestoreDomainUser;1"), CommandType::StoredProc);
    sp.setParameterValue(QStringLiteral("@ID"), taIgnore->value(QStringLiteral("ID")));
    sp.execProc();
    taIgnore->prior();
    Reload();
}

void TUserIgnoreListDG::dsListStateChange() {
    TBASEListDG::dsListStateChange();
    if (btRestore)
        btRestore->setEnabled(HasRecords(*taIgnore));
}
