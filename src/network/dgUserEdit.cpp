#include "network/dgUserEdit.h"

#include "data/DataSet.h"
#include "data/TessalADO.h"
#include "data/TessalDialog.h"
#include "data/TessalString.h"
#include "data/dmTessalData.h"

#include "dialogs/dgHistory.h"
#include <QFontDatabase>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

TUserEditDG::TUserEditDG() {
    setObjectName(QStringLiteral("TUserEditDG"));
    setWindowTitle(QStringLiteral("Пользователь"));
    taData->setCommand(QStringLiteral("select * from [User] where ID = :ID"));

    const QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    auto edit = [this, &fixed](const char *name, const char *field, bool secret = false) {
        auto *e = new DBEdit(taData, QString::fromLatin1(field), this);
        e->setObjectName(QString::fromLatin1(name));
        if (secret)
            e->setFont(fixed);
        return e;
    };
    auto button = [this](const char *name) { return DialogButton(this, name, QStringLiteral("Сгенерить")); };
    auto group = [this](const QString &title) {
        auto *g = new QGroupBox(title, this);
        auto *grid = new QGridLayout(g);
        grid->setColumnStretch(1, 1);
        contentLayout()->addWidget(g);
        return grid;
    };
    auto add = [this](QGridLayout *grid, int row, const QString &label, QWidget *w,
                      QWidget *extra = nullptr) {
        grid->addWidget(caption(label, w), row, 0);
        grid->addWidget(w, row, 1, 1, extra ? 1 : 2);
        if (extra)
            grid->addWidget(extra, row, 2);
    };

    QGridLayout *domain = group(QStringLiteral("Домен"));
    cbDomain = new DBCheckBox(taData, QStringLiteral("DomainSource"), QStringLiteral("Данные домена"), this);
    cbDomain->setObjectName(QStringLiteral("cbDomain"));
    domain->addWidget(cbDomain, 0, 0, 1, 3);
    edLogin = edit("edLogin", "Login");
    edDomain = edit("edDomain", "Domain");
    edName = edit("edName", "Name");
    edPass = edit("edPass", "Pass", true);
    btUserPass = button("btUserPass");
    add(domain, 1, QStringLiteral("Учётная запись"), edLogin);
    add(domain, 2, QStringLiteral("Домен (компьютер)"), edDomain);
    add(domain, 3, QStringLiteral("Фамилия Имя"), edName);
    add(domain, 4, QStringLiteral("Пароль"), edPass, btUserPass);

    edAdd = edit("edAdd", "AddName");
    contentLayout()->addWidget(
        caption(QStringLiteral("Дополнение ( Отчество, год рождения или иное)"), edAdd));
    contentLayout()->addWidget(edAdd);

    QGridLayout *mail = group(QStringLiteral("Почта"));
    edMailBox = edit("edMailBox", "EMail");
    edMailPass = edit("edMailPass", "MailPass", true);
    btCreatePass = button("btCreatePass");
    edMailGroup = edit("edMailGroup", "EMailGroup");
    add(mail, 0, QStringLiteral("Почтовый ящик"), edMailBox);
    add(mail, 1, QStringLiteral("Пароль"), edMailPass, btCreatePass);
    add(mail, 2, QStringLiteral("Группа"), edMailGroup);

    QGridLayout *skype = group(QStringLiteral("SKYPE"));
    edSkypeLogin = edit("edSkypeLogin", "SkypeLogin");
    edSkypePass = edit("edSkypePass", "SkypePass", true);
    btSkypePass = button("btSkypePass");
    add(skype, 0, QStringLiteral("Логин"), edSkypeLogin);
    add(skype, 1, QStringLiteral("Пароль"), edSkypePass, btSkypePass);

    // The journal of this user and the user's checklist; a new user has none yet.
    btHistory = DialogButton(this, "btHistory", QStringLiteral("История"));
    contentLayout()->addWidget(btHistory, 0, Qt::AlignLeft);
    connect(btHistory, &QPushButton::clicked, this, [this] {
        const QVariant id = taData->value(QStringLiteral("ID"));
        if (!id.isNull())
            THistoryDG::Run(QStringLiteral("User"), id.toInt(),
                            taData->value(QStringLiteral("Name")).toString());
    });
    connect(taData, &DataSet::scrolled, this,
            [this] { btHistory->setEnabled(!taData->value(QStringLiteral("ID")).isNull()); });

    connect(cbDomain, &QCheckBox::toggled, this, [this] { cbDomainChange(); });
    connect(taData, &DataSet::dataChanged, this, [this] { cbDomainChange(); });
    connect(taData, &DataSet::scrolled, this, [this] { cbDomainChange(); });
    connect(btUserPass, &QPushButton::clicked, this, [this] { generate(QStringLiteral("Pass"), 4, 3); });
    connect(btCreatePass, &QPushButton::clicked, this,
            [this] { generate(QStringLiteral("MailPass"), 8, 0); });
    connect(btSkypePass, &QPushButton::clicked, this,
            [this] { generate(QStringLiteral("SkypePass"), 8, 0); });
    resize(460, sizeHint().height());
}

bool TUserEditDG::Run(int ID, int *savedId) {
    TUserEditDG *dlg = Instance();
    const bool saved = dlg->runEdit(
        ID, [](DataSet &ds) { ds.fieldByName(QStringLiteral("DomainSource"))->setValue(false); });
    if (saved && savedId)
        *savedId = dlg->taData->value(QStringLiteral("ID")).toInt();
    return saved;
}

void TUserEditDG::cbDomainChange() {
    const bool locked = cbDomain->isChecked();
    for (DBEdit *e : {edLogin, edDomain, edName}) {
        e->setReadOnly(locked);
        QPalette p = e->palette();
        p.setColor(QPalette::Base, palette().color(locked ? QPalette::Button : QPalette::Base));
        e->setPalette(p);
    }
}

void TUserEditDG::generate(const QString &field, int count, int kind) {
    Guarded([&] { SetFieldValue(*taData->fieldByName(field), GeneratePassword(count, kind)); });
}
