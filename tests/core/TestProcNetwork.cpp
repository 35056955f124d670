// Server procedures of the network computers, the users, the domain scan, the setup checklist and
// the program versions, called the way the views call them.
#include "TestDatabase.h"
#include "data/Errors.h"
#include "data/TessalADO.h"
#include "server/Schema.h"
#include "server/Server.h"

namespace {

class ProcNetworkTest : public ServerTest {
protected:
    // A dataset over a procedure, opened with the arguments in call order.
    std::unique_ptr<DataSet> open(const QString &command, const TypedValues &args = {},
                                  CommandType type = CommandType::StoredProc) {
        auto ds = std::make_unique<DataSet>(&cn());
        ds->setCommand(command, type);
        OpenWithParams(*ds, args);
        return ds;
    }

    // The values of one column, in the order returned.

    // One account of the domain scan; returns the line for the log.
    QString checkAccount(const QString &domain, const QString &login, const QString &fullName) {
        DataSet sp(&cn());
        sp.setCommand("CheckDomainUser;1", CommandType::StoredProc);
        sp.setParameterValue("@DM", domain);
        sp.setParameterValue("@US", login);
        sp.setParameterValue("@UN", fullName);
        sp.setParameterValue("@RS", QStringLiteral("от прошлого вызова"));
        sp.execProc();
        return sp.parameter("@RS").value.toString();
    }

    void run(const char *proc, const QVariant &key) {
        DataSet sp(&cn());
        sp.setCommand(QString::fromLatin1(proc), CommandType::StoredProc);
        sp.setParameterValue(sp.parameters()[1].name, key);
        sp.execProc();
    }

    QVariant workplace(const QString &name, const QVariantMap &more = {}) {
        if (!m_department.isValid())
            m_department = insert("Department", {{"DprtName", "Отдел"}});
        QVariantMap row = more;
        row.insert("WrkpIdDepartment", m_department);
        row.insert("WrkpName", name);
        return insert("Workplace", row);
    }

private:
    QVariant m_department;
};

const QString CyrillicKey = QStringLiteral("IDWorkpla\u0441e");

TEST_P(ProcNetworkTest, NodeListGivesNetworkedDevicesWithTheCyrillicWorkplaceKey) {
    const QVariant wp1 = workplace("Бухгалтерия", {{"Phone", "21-05"}});
    const QVariant wp2 = workplace("Склад");
    const QVariant pcB =
        insert("DeviceUnit", {{"DevcIdWorkplace", wp1}, {"DevcName", "ПК"}, {"Domain", "buh-02"}});
    const QVariant pcA =
        insert("DeviceUnit", {{"DevcIdWorkplace", wp2}, {"DevcName", "ПК"}, {"Domain", "BUH-01"}});
    insert("DeviceUnit", {{"DevcIdWorkplace", wp1}, {"DevcName", "Монитор"}});

    auto ds = open("GridNodeList;1");
    QStringList names;
    for (int i = 0; i < ds->fieldCount(); ++i)
        names << ds->field(i)->name();
    EXPECT_EQ(names, QStringList({"ID", "Workplace", "Phone", "Domain", CyrillicKey}));
    EXPECT_EQ(ds->findField("IDWorkplace"), nullptr) << "the Latin spelling must not be what comes back";

    EXPECT_EQ(columnTexts(*ds, "Domain"), QStringList({"BUH-01", "buh-02"}))
        << "devices without a network name are left out";
    ASSERT_TRUE(ds->locate(CyrillicKey, wp1)) << "the view finds a workplace's computers by this column";
    EXPECT_EQ(ds->value("ID"), pcB);
    EXPECT_EQ(ds->value("Workplace").toString(), QStringLiteral("Бухгалтерия"));
    EXPECT_EQ(ds->value("Phone").toString(), QStringLiteral("21-05"));
    ASSERT_TRUE(ds->locate("ID", pcA));
    EXPECT_EQ(ds->value(CyrillicKey), wp2);
    EXPECT_TRUE(ds->value("Phone").isNull());
}

TEST_P(ProcNetworkTest, NodeUserListGivesTheUsersOfOneComputerOnce) {
    const QVariant wp = workplace("Отдел кадров");
    const QVariant pc = insert("DeviceUnit", {{"DevcIdWorkplace", wp}, {"Domain", "hr-01"}});
    const QVariant other = insert("DeviceUnit", {{"DevcIdWorkplace", wp}, {"Domain", "hr-02"}});
    const QVariant petrov = insert("User", {{"Login", "petrov"}, {"Name", "Петров"}, {"Pass", "4827"}});
    const QVariant ivanov = insert("User", {{"Login", "Ivanov"}, {"Name", "Иванов"}});
    const QVariant sidorov = insert("User", {{"Login", "sidorov"}});
    for (const QVariant &u : {petrov, ivanov, petrov})
        insert("UseComputer", {{"Computer", pc}, {"User", u}});
    insert("UseComputer", {{"Computer", other}, {"User", sidorov}});

    auto ds = open("EXECUTE GridNodeUserList :ID", {TypedValue::Int(pc.toInt())}, CommandType::Text);
    EXPECT_EQ(columnTexts(*ds, "Login"), QStringList({"Ivanov", "petrov"}));
    ASSERT_TRUE(ds->locate("Login", "petrov"));
    EXPECT_EQ(ds->value("ID"), petrov);
    EXPECT_EQ(ds->value("Name").toString(), QStringLiteral("Петров"));
    EXPECT_EQ(ds->value("Pass").toString(), QStringLiteral("4827"));

    auto none = open("EXECUTE GridNodeUserList :ID", {}, CommandType::Text);
    EXPECT_TRUE(none->isEmpty()) << "no current computer, no users";
    EXPECT_NE(none->findField("Login"), nullptr) << "the grid's columns exist even without rows";
}

TEST_P(ProcNetworkTest, DomainScanAddsUpdatesAndSkipsAccounts) {
    insert("User", {{"Domain", "CORP"}, {"Login", "Petrov"}, {"Name", "Петров П."}});
    insert("User", {{"Domain", "corp"}, {"Login", "Кузнецов"}, {"Name", "Кузнецов К."}});
    insert("UserIgnore", {{"DomainUser", "SIDOROV"}});

    struct Case {
        const char *what, *domain, *login, *fullName, *log;
    };
    // One scan after another on the same database: each case sees the effect of the ones before.
    const Case cases[] = {
        {"a new account", "CORP", "ivanov", "Иванов Иван", "CORP\\ivanov: добавлена"},
        {"the same account again", "CORP", "ivanov", "Иванов Иван", "CORP\\ivanov: без изменений"},
        {"a known account in another case", "CORP", "petrov", "Петров Пётр", "CORP\\petrov: обновлено имя"},
        {"an empty full name keeps the stored one", "CORP", "petrov", "", "CORP\\petrov: без изменений"},
        {"Cyrillic login and domain in another case", "CORP", "кузнецов", "Кузнецов К.",
         "CORP\\кузнецов: без изменений"},
        {"a blocked login, any case", "CORP", "sidorov", "Сидоров",
         "CORP\\sidorov: пропущена (заблокирована)"},
        {"the same login in another domain", "BRANCH", "ivanov", "Иванов И.", "BRANCH\\ivanov: добавлена"},
        {"a login too long to store", "CORP", "abcdefghijklmnopqrstuvwxyz", "",
         "CORP\\abcdefghijklmnopqrstuvwxyz: пропущена (учётная запись длиннее 25 символов)"},
    };
    for (const Case &c : cases)
        EXPECT_EQ(checkAccount(c.domain, c.login, c.fullName), QString::fromUtf8(c.log)) << c.what;

    auto users = cn().query("SELECT Domain, [Login], Name, DomainSource FROM [User] ORDER BY ID");
    QStringList rows;
    for (const auto &r : users.rows)
        rows << QStringList{r[0].toString(), r[1].toString(), r[2].toString(),
                            r[3].toBool() ? "домен" : "вручную"}
                    .join('|');
    EXPECT_EQ(rows, QStringList({"CORP|Petrov|Петров Пётр|вручную", "corp|Кузнецов|Кузнецов К.|вручную",
                                 "CORP|ivanov|Иванов Иван|домен", "BRANCH|ivanov|Иванов И.|домен"}));
}

TEST_P(ProcNetworkTest, DomainScanRefusesAccountsWithoutNameOrDomain) {
    struct Case {
        const char *domain, *login, *message;
    };
    const Case cases[] = {
        {"CORP", "  ", "Не указано имя учётной записи домена «CORP»"},
        {"", "ivanov", "Не указан домен учётной записи «ivanov»"},
    };
    for (const Case &c : cases) {
        try {
            checkAccount(c.domain, c.login, "Кто-то");
            ADD_FAILURE() << c.message << ": must be refused";
        } catch (const AppError &e) {
            EXPECT_EQ(e.message(), QString::fromUtf8(c.message));
        }
    }
    EXPECT_EQ(scalar("SELECT count(*) FROM [User]").toInt(), 0);
}

TEST_P(ProcNetworkTest, DomainUsersShowNameWorkplaceAndHideIgnoredLogins) {
    const QString longName(100, u'Ф'), longAdd(150, u'О');
    const QVariant a = insert("User", {{"Login", "anna"},
                                       {"Domain", "CORP"},
                                       {"Name", "Анна Белова"},
                                       {"AddName", "1980"},
                                       {"EMail", "a@corp"},
                                       {"SkypeLogin", "anna.b"}});
    const QVariant b = insert("User", {{"Login", "Boris"}, {"Name", "Борис"}});
    const QVariant c = insert("User", {{"Login", "clara"}, {"AddName", "Петровна"}});
    const QVariant d = insert("User", {{"Login", "dmitry"}, {"Name", longName}, {"AddName", longAdd}});
    const QVariant e = insert("User", {{"Login", "egor"}, {"Name", "Егор"}});
    const QVariant first = workplace("Касса", {{"User", a}, {"Phone", "11"}});
    workplace("Касса 2", {{"User", a}});

    struct Case {
        QVariant id;
        QString name;
        QVariant workplaceId;
    };
    const Case cases[] = {
        {a, "Анна Белова 1980", first},
        {b, "Борис", {}},
        {c, "Петровна", {}},
        {d, (longName + " " + longAdd).left(251), {}},
        {e, "Егор", {}},
    };
    auto ds = open("GridDomainUser");
    EXPECT_EQ(columnTexts(*ds, "Login"), QStringList({"anna", "Boris", "clara", "dmitry", "egor"}));
    for (const Case &cs : cases) {
        ASSERT_TRUE(ds->locate("ID", cs.id));
        EXPECT_EQ(ds->value("Name").toString(), cs.name) << ds->value("Login").toString().toStdString();
        EXPECT_EQ(ds->value("WorkplaceID"), cs.workplaceId) << ds->value("Login").toString().toStdString();
    }
    ASSERT_TRUE(ds->locate("ID", a));
    EXPECT_EQ(ds->value("Workplace").toString(), QStringLiteral("Касса"))
        << "the first of the user's workplaces";
    EXPECT_EQ(ds->value("Phone").toString(), QStringLiteral("11"));
    EXPECT_EQ(ds->value("Domain").toString(), QStringLiteral("CORP"));
    EXPECT_EQ(ds->value("AddName").toString(), QStringLiteral("1980"));
    EXPECT_EQ(ds->value("SkypeLogin").toString(), QStringLiteral("anna.b"));

    // Removing from the users view: the login is blocked, once, whatever its case elsewhere.
    insert("UserIgnore", {{"DomainUser", "EGOR"}});
    run("IgnoreDomainUser;1", b);
    run("IgnoreDomainUser;1", b);
    run("IgnoreDomainUser;1", 999999);
    EXPECT_EQ(scalar("SELECT count(*) FROM UserIgnore WHERE DomainUser = 'Boris'").toInt(), 1);
    EXPECT_EQ(scalar("SELECT count(*) FROM UserIgnore").toInt(), 2) << "an unknown key adds nothing";
    EXPECT_EQ(scalar("SELECT count(*) FROM [User]").toInt(), 5) << "nobody is deleted";
    ds = open("GridDomainUser");
    EXPECT_EQ(columnTexts(*ds, "Login"), QStringList({"anna", "clara", "dmitry"}));
    // Boris has no domain: his account is blocked as such, a domain's boris is another account.
    EXPECT_EQ(checkAccount("CORP", "boris", "Борис"), QStringLiteral("CORP\\boris: добавлена"));
    EXPECT_EQ(checkAccount("CORP", "egor", "Егор"), QStringLiteral("CORP\\egor: пропущена (заблокирована)"))
        << "a login blocked in every domain";
}

TEST_P(ProcNetworkTest, AnAccountIsSetAsideInItsOwnDomainOnlyAndCanBeRestored) {
    const QVariant corp = insert("User", {{"Login", "ivanov"}, {"Domain", "CORP"}, {"Name", "Иванов Иван"}});
    const QVariant branch =
        insert("User", {{"Login", "Ivanov"}, {"Domain", "branch"}, {"Name", "Иванов И."}});
    const QVariant local = insert("User", {{"Login", "ivanov"}, {"Name", "Иванов (локальный)"}});
    auto listed = [&] { return columnTexts(*open("GridDomainUser"), "ID"); };

    run("IgnoreDomainUser;1", corp);
    run("IgnoreDomainUser;1", corp);
    EXPECT_EQ(listed(), QStringList({branch.toString(), local.toString()}))
        << "the same login in another domain, or without one, stays listed";
    EXPECT_EQ(scalar("SELECT count(*) FROM UserIgnore").toInt(), 1);

    struct Case {
        const char *domain, *login, *log;
    };
    const Case scans[] = {
        {"CORP", "IVANOV", "CORP\\IVANOV: пропущена (заблокирована)"},
        {"corp", "ivanov", "corp\\ivanov: пропущена (заблокирована)"},
        {"BRANCH", "ivanov", "BRANCH\\ivanov: обновлено имя"},
        {"FILIAL", "ivanov", "FILIAL\\ivanov: добавлена"},
    };
    for (const Case &c : scans)
        EXPECT_EQ(checkAccount(c.domain, c.login, "Иванов Иван"), QString::fromUtf8(c.log)) << c.domain;

    // The list of accounts set aside names the account and its user; restoring brings it back.
    run("IgnoreDomainUser;1", local);
    insert("UserIgnore", {{"DomainUser", "ghost"}}); // from before domains were kept: any domain
    auto ignored = open("GridUserIgnore;1");
    QStringList rows;
    for (ignored->first(); !ignored->eof(); ignored->next())
        rows << ignored->value("Domain").toString() + (ignored->value("Domain").isNull() ? "*" : "") + "|" +
                    ignored->value("Login").toString() + "|" + ignored->value("Name").toString();
    EXPECT_EQ(rows, QStringList({"*|ghost|", "|ivanov|Иванов (локальный)", "CORP|ivanov|Иванов Иван"}));
    ASSERT_TRUE(ignored->locate("Domain", "CORP"));
    run("RestoreDomainUser;1", ignored->value("ID"));
    run("RestoreDomainUser;1", 999999); // an unknown key does nothing
    EXPECT_TRUE(listed().contains(corp.toString()));
    EXPECT_FALSE(listed().contains(local.toString()));
    EXPECT_EQ(scalar("SELECT count(*) FROM UserIgnore").toInt(), 2);
}

TEST_P(ProcNetworkTest, DomainsAreAddedChangedAndCheckedBeforeTheyAreStored) {
    auto save = [this](const QVariant &id, const QString &domain, const QString &controller,
                       const QString &bind = {}) {
        DataSet sp(&cn());
        sp.setCommand("DomainControllerSave;1", CommandType::StoredProc);
        sp.setParameterValue("@ID", id);
        sp.setParameterValue("@DM", domain);
        sp.setParameterValue("@DC", controller);
        sp.setParameterValue("@BA", bind);
        sp.execProc();
        return sp.parameter("@ID").value;
    };
    const QVariant corp = save({}, "corp", "dc1.corp.local:389", "cn=reader,dc=corp");
    const QVariant branch = save({}, "BRANCH", "10.0.0.5");
    EXPECT_EQ(corp.toInt(), 1) << "the first domain is the one the scan offers first";
    EXPECT_EQ(branch.toInt(), 2);
    save(branch, "BRANCH", "dc2.branch.local");
    EXPECT_EQ(scalar("SELECT Controller FROM DomainController WHERE ID = 2").toString(), "dc2.branch.local");
    EXPECT_EQ(scalar("SELECT BindAccount FROM DomainController WHERE ID = 1").toString(),
              "cn=reader,dc=corp");
    EXPECT_TRUE(scalar("SELECT BindAccount FROM DomainController WHERE ID = 2").isNull());

    struct Case {
        QVariant id;
        QString domain, controller, message;
    };
    const Case refused[] = {
        {{}, "  ", "dc", "Укажите имя домена"},
        {{}, QString(21, u'D'), "dc", "длиннее 20 символов"},
        {{}, "NEW", "", "Укажите контроллер домена"},
        {{}, "NEW", "dc 1", "указан неверно"},
        {{}, "NEW", "dc1:70000", "указан неверно"},
        {{}, "NEW", "контроллер", "указан неверно"},
        {{}, "Corp", "dc9", "уже есть в списке"},
        {branch, "CORP", "dc9", "уже есть в списке"},
        {42, "GONE", "dc9", "удалили на другом рабочем месте"},
    };
    for (const Case &c : refused) {
        try {
            save(c.id, c.domain, c.controller);
            ADD_FAILURE() << c.domain.toStdString() << " / " << c.controller.toStdString()
                          << " must be refused";
        } catch (const AppError &e) {
            EXPECT_TRUE(e.message().contains(c.message)) << e.message().toStdString();
        }
    }
    EXPECT_EQ(scalar("SELECT count(*) FROM DomainController").toInt(), 2);
}

TEST_P(ProcNetworkTest, UserWithoutLoginCannotBeSetAside) {
    const QVariant u = insert("User", {{"Name", "Без учётной записи"}});
    EXPECT_THROW(run("IgnoreDomainUser;1", u), AppError);
    EXPECT_EQ(columnTexts(*open("GridDomainUser"), "ID"), QStringList({u.toString()}));
}

TEST_P(ProcNetworkTest, ChecklistIsCopiedFromTheDefaultsOnce) {
    insert("UserInstallDefault", {{"Line", 20}, {"Title", false}, {"Name", "Установить почту"}});
    insert("UserInstallDefault", {{"Line", 10}, {"Title", true}, {"Name", "Программы"}});
    insert("UserInstallDefault", {{"Line", 30}, {"Name", "Подключить принтер"}});
    const QVariant anna = insert("User", {{"Login", "anna"}});
    const QVariant boris = insert("User", {{"Login", "boris"}});

    EXPECT_TRUE(open("GridUserInstall;1", {TypedValue::Int(anna.toInt())})->isEmpty());
    for (int i = 0; i < 2; ++i)
        run("UserInstallInsert;1", anna);
    run("UserInstallInsert;1", boris);

    auto ds = open("GridUserInstall;1", {TypedValue::Int(anna.toInt())});
    EXPECT_EQ(columnTexts(*ds, "Name"), QStringList({"Программы", "Установить почту", "Подключить принтер"}))
        << "in line order, and the second call adds nothing";
    EXPECT_EQ(columnTexts(*ds, "Title"), QStringList({"true", "false", "false"}));
    EXPECT_EQ(columnTexts(*ds, "Done"), QStringList({"false", "false", "false"}));
    EXPECT_EQ(columnTexts(*ds, "User"), QStringList(3, anna.toString()));
    EXPECT_EQ(open("GridUserInstall;1", {TypedValue::Int(boris.toInt())})->recordCount(), 3)
        << "each user has a checklist of their own";

    try {
        run("UserInstallInsert;1", 999999);
        ADD_FAILURE() << "an unknown user must be refused";
    } catch (const AppError &e) {
        EXPECT_TRUE(e.message().startsWith(QStringLiteral("Пользователь с кодом 999999 не найден")))
            << e.message().toStdString();
    }
    EXPECT_EQ(scalar("SELECT count(*) FROM UserInstall WHERE [User] = 999999").toInt(), 0);
}

TEST_P(ProcNetworkTest, NewestVersionIsTheGreatestKeyAsText) {
    auto newest = [this] {
        auto ds = open("CheckVersionMax;1");
        EXPECT_EQ(ds->recordCount(), 1);
        return ds->value("MaxVersion");
    };
    EXPECT_TRUE(newest().isNull()) << "no version stored";
    insert("ProgramVersion", {{"Version", "update"}, {"Programm", QByteArray("MZ")}});
    EXPECT_TRUE(newest().isNull()) << "the updater is not a version";
    for (const char *v : {"2.10.00000001", "2.7.01500321", "2.7.01500099"})
        insert("ProgramVersion", {{"Version", v}, {"Change", QStringLiteral("Изменения %1").arg(v)}});
    EXPECT_EQ(newest().toString(), QStringLiteral("2.7.01500321")) << "2.10 sorts before 2.7 as text";
}

TEST_P(ProcNetworkTest, ProgramImageAndChangesComeBackAsStored) {
    QByteArray image("MZ\x90\x00\x03\x00\x00\x00\xff\xfe", 10);
    image += QByteArray(70000, '\0');
    image += "end";
    insert("ProgramVersion", {{"Version", "update"}, {"Programm", image}});
    insert("ProgramVersion", {{"Version", "2.7.01500321"}, {"Change", "Исправлен поиск.\nДобавлена сеть."}});

    auto prog = open("CheckVersionProg;1", {TypedValue::Text("update")});
    ASSERT_EQ(prog->recordCount(), 1);
    EXPECT_EQ(prog->value("Programm").toByteArray(), image);

    struct Case {
        const char *version;
        QVariant change;
    };
    const Case cases[] = {
        {"2.7.01500321", QStringLiteral("Исправлен поиск.\nДобавлена сеть.")},
        {"2.7.09999999", {}},
    };
    for (const Case &c : cases) {
        auto ds = open("CheckVersionChange;1", {TypedValue::Text(c.version)});
        EXPECT_EQ(ds->isEmpty(), c.change.isNull()) << c.version;
        if (!ds->isEmpty()) {
            EXPECT_EQ(ds->value("Change").toString(), c.change.toString()) << c.version;
        }
    }
    EXPECT_TRUE(open("CheckVersionProg;1", {TypedValue::Text("2.0.00000000")})->isEmpty());
}

VELMORA_BOTH_ENGINES(ProcNetworkTest);

class IgnoreUpgradeTest : public EngineTest {};

// A database from before accounts were set aside per domain: every user a blocked login hid stays
// hidden, now in that user's own domain, and the login can be brought back domain by domain.
TEST_P(IgnoreUpgradeTest, BlockedLoginsAreScopedToTheDomainsOfTheirUsers) {
    InstallServer();
    Schema::describe();
    Schema::upgradeTo(cn(), 4);
    for (const auto &[domain, login] :
         {std::pair{"CORP", "ivanov"}, {"branch", "IVANOV"}, {"CORP", "petrov"}, {"CORP", "ivanov"}})
        cn().execute("INSERT INTO [User] (Domain, [Login]) VALUES (:D, :L)", {{"D", domain}, {"L", login}});
    cn().execute("INSERT INTO [User] ([Login]) VALUES ('sidorov')");
    for (const char *login : {"Ivanov", "sidorov", "ghost"})
        cn().execute("INSERT INTO UserIgnore (DomainUser) VALUES (:L)", {{"L", login}});

    Schema::prepare(cn());
    const ResultSet rs = cn().query("SELECT Domain, DomainUser FROM UserIgnore ORDER BY DomainUser, Domain");
    QStringList rows;
    for (const auto &r : rs.rows)
        rows << (r[0].isNull() ? QStringLiteral("*") : r[0].toString()) + "\\" + r[1].toString();
    rows.sort();
    EXPECT_EQ(rows, QStringList({"*\\ghost", "CORP\\Ivanov", "\\sidorov", "branch\\Ivanov"}));

    DataSet users(&cn());
    users.setCommand("GridDomainUser", CommandType::StoredProc);
    users.open();
    // The second CORP\ivanov was the same account as the first: the upgrade that makes an account
    // one user's left that later row without its domain, so no blocked account hides it any more.
    QStringList shown;
    for (users.first(); !users.eof(); users.next())
        shown << users.value("Domain").toString() + "\\" + users.value("Login").toString();
    shown.sort();
    EXPECT_EQ(shown, QStringList({"CORP\\petrov", "\\ivanov"})) << "petrov was never hidden";

    // The same account cannot be blocked twice; another domain's can.
    EXPECT_THROW(cn().execute("INSERT INTO UserIgnore (DomainUser, Domain) VALUES ('Ivanov', 'CORP')"),
                 AppError);
    cn().execute("INSERT INTO UserIgnore (DomainUser, Domain) VALUES ('Ivanov', 'FILIAL')");
}

VELMORA_BOTH_ENGINES(IgnoreUpgradeTest);

} // namespace
