// The network computers view, the ping sweep and domain scan dialogs, the users view, the user
// dialog and the setup checklist, over a real database (and a real directory for the scan).
#include "AppTest.h"
#include "NetTestSupport.h"
#include "data/TessalADO.h"
#include "network/dgComputerPing.h"
#include "network/dgNetSetup.h"
#include "network/dgUserDCScan.h"
#include "network/dgUserEdit.h"
#include "network/dgUserInstall.h"
#include "network/fmNetComputer.h"
#include "network/fmNetUser.h"
#include "shell/ViewWiring.h"
#include "ui/Actions.h"
#include "ui/DataControls.h"
#include "ui/DataGrid.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>

#include <linux/capability.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

// While it lives, this thread may not open a raw socket (CAP_NET_RAW leaves its effective set and
// comes back at the end); `possible` is false when datagram ICMP sockets are open to everyone here.
class NoRawSockets {
public:
    NoRawSockets() {
        const int probe = ::socket(AF_INET, SOCK_DGRAM, IPPROTO_ICMP);
        if (probe >= 0) {
            ::close(probe);
            return;
        }
        if (::syscall(SYS_capget, &m_header, m_saved) != 0)
            return;
        __user_cap_data_struct reduced[2] = {m_saved[0], m_saved[1]};
        reduced[0].effective &= ~(1u << CAP_NET_RAW);
        possible = ::syscall(SYS_capset, &m_header, reduced) == 0;
    }
    ~NoRawSockets() {
        if (possible)
            ::syscall(SYS_capset, &m_header, m_saved);
    }
    bool possible = false;

private:
    __user_cap_header_struct m_header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct m_saved[2]{};
};

class NetViewsTest : public AppTest {
protected:
    void TearDown() override {
        computers.reset();
        users.reset();
        AppTest::TearDown();
    }
    ModalHandler modalHandler() override {
        return [this](QDialog &d) { return onModal ? onModal(d) : int(QDialog::Rejected); };
    }

    int workplace(const QString &name) {
        if (!dep)
            dep = insert("Department", {{"DprtName", "Отдел"}});
        return insert("Workplace", {{"WrkpIdDepartment", dep}, {"WrkpName", name}});
    }
    int device(int wp, const QVariant &domain) {
        return insert("DeviceUnit", {{"DevcIdWorkplace", wp}, {"DevcName", "ПК"}, {"Domain", domain}});
    }
    int user(const QString &login, const QString &name, bool fromDomain = false) {
        return insert("User",
                      {{"Login", login}, {"Domain", "CORP"}, {"Name", name}, {"DomainSource", fromDomain}});
    }
    static QStringList paneLines(QPlainTextEdit *pane) {
        return pane->toPlainText().split(u'\n', Qt::SkipEmptyParts);
    }

    std::function<int(QDialog &)> onModal;
    std::unique_ptr<TNetComputerFM> computers;
    std::unique_ptr<TNetUserFM> users;
    int dep = 0;
};

TEST_F(NetViewsTest, ComputersFollowRefreshesAndTheirUsers) {
    computers = std::make_unique<TNetComputerFM>();
    TNetComputerFM &v = *computers;
    v.RefreshNet(-1);
    v.actions->updateAll();
    EXPECT_TRUE(v.taNode->isEmpty());
    EXPECT_TRUE(v.taUser->isEmpty());
    EXPECT_TRUE(v.acRefresh->isEnabled());
    EXPECT_FALSE(v.acGoDevice->isEnabled());

    const int wpA = workplace("Бухгалтерия"), wpB = workplace("Касса"), wpNone = workplace("Склад");
    const int a1 = device(wpA, "buh-pc01"), a2 = device(wpA, "buh-pc02"), b1 = device(wpB, "cash-pc");
    device(wpNone, QVariant());
    const int ivanov = user("ivanov", "Иванов Иван"), petrov = user("petrov", "Петров Пётр");
    insert("UseComputer", {{"Computer", a2}, {"User", ivanov}});
    insert("UseComputer", {{"Computer", b1}, {"User", petrov}});

    v.RefreshNet(a2);
    EXPECT_EQ(v.taNode->value("Domain").toString(), "buh-pc02");
    EXPECT_EQ(v.taUser->value("Login").toString(), "ivanov");
    v.grDevice->setCurrentIndex(v.grDevice->model()->index(2, 0)); // moving the grid moves the users
    EXPECT_EQ(v.taNode->value("ID").toInt(), b1);
    EXPECT_EQ(v.taUser->value("Login").toString(), "petrov");
    v.taNode->first();
    EXPECT_TRUE(v.taUser->isEmpty());

    v.RefreshWorkPlace(wpB);
    EXPECT_EQ(v.taNode->value("ID").toInt(), b1);
    v.RefreshWorkPlace(wpNone); // no networked device there: the selection stays
    EXPECT_EQ(v.taNode->value("ID").toInt(), b1);
    v.acRefresh->trigger();
    EXPECT_EQ(v.taNode->value("ID").toInt(), b1);
    v.RefreshNet(4242);
    EXPECT_EQ(v.taNode->value("ID").toInt(), a1);

    QStringList jumps;
    v.goPlacement = [&](const QString &k, int id) { jumps << k + QString::number(id); };
    v.actions->updateAll();
    ASSERT_TRUE(v.acGoDevice->isEnabled());
    v.acGoDevice->trigger();
    EXPECT_EQ(jumps, QStringList{"V" + QString::number(a1)});
    EXPECT_EQ(TNetComputerFM::workplaceKeyField(), QString::fromUtf8("IDWorkpla\xD1\x81"
                                                                     "e"));
}

TEST_F(NetViewsTest, PingDialogFillsThePaneWritesFlagsAndTheLog) {
    const int wp = workplace("Место");
    const int spaced = device(wp, "my pc"), unknown = device(wp, "zz-unknown");
    FakeNames names;
    QTemporaryDir logs;
    TComputerPingDG *d = TComputerPingDG::Instance();
    d->logFolder = logs.path();
    QStringList seen;
    onModal = [&](QDialog &dlg) {
        auto *ping = static_cast<TComputerPingDG *>(&dlg);
        ping->cbLog->setChecked(true);
        ping->btRun->click();
        seen = paneLines(ping->mmLog);
        EXPECT_TRUE(ping->btRun->isEnabled());
        EXPECT_TRUE(ping->btExit->isEnabled());
        EXPECT_EQ(ping->pbPing->maximum(), 2);
        EXPECT_EQ(ping->pbPing->value(), 2);
        return int(QDialog::Rejected);
    };
    TComputerPingDG::Run();
    ASSERT_EQ(seen.size(), 4);
    EXPECT_EQ(seen.mid(0, 3),
              (QStringList{"Всего устройств: 2.", "my pc: not host.", "zz-unknown: not host."}));
    EXPECT_TRUE(seen[3].startsWith("Журнал записан в " + logs.path() + "/SC[")) << seen[3].toStdString();
    for (int id : {spaced, unknown})
        EXPECT_FALSE(scalar("select OnLine from DeviceUnit where IdDevice = :I", {{"I", id}}).isNull());
    EXPECT_EQ(QDir(logs.path()).entryList(QDir::Files).size(), 1);
    EXPECT_TRUE(boxes.isEmpty());
}

TEST_F(NetViewsTest, PingDialogSaysOnceWhyItCannotPingAndSurvivesAFailedWrite) {
    const int wp = workplace("Место");
    const int a = device(wp, "zz-a"), b = device(wp, "zz-b");
    cn().execute("update DeviceUnit set OnLine = :T", {{"T", true}});
    FakeNames names;
    QTemporaryDir logs;
    TComputerPingDG *d = TComputerPingDG::Instance();
    d->logFolder = logs.path();
    EXPECT_NE(d->pbPing->maximum(), 0) << "an idle bar does not animate as busy";
    EXPECT_LT(d->pbPing->value(), d->pbPing->minimum()) << "and shows no progress";

    bool enabledAfter = false;
    onModal = [&](QDialog &dlg) {
        auto *ping = static_cast<TComputerPingDG *>(&dlg);
        ping->cbLog->setChecked(true);
        ping->btRun->click();
        enabledAfter = ping->btRun->isEnabled() && ping->btExit->isEnabled();
        return int(QDialog::Rejected);
    };
    {
        NoRawSockets noRights;
        if (!noRights.possible)
            GTEST_SKIP() << "every user may open ICMP datagram sockets here";
        TComputerPingDG::Run();
    }
    ASSERT_EQ(boxes.size(), 1);
    EXPECT_TRUE(boxes[0].text.contains("setcap cap_net_raw+ep")) << boxes[0].text.toStdString();
    EXPECT_TRUE(enabledAfter);
    EXPECT_EQ(paneLines(d->mmLog), QStringList{"Всего устройств: 2."});
    EXPECT_TRUE(QDir(logs.path()).entryList(QDir::Files).isEmpty()) << "no log claims the hosts are off-line";
    for (int id : {a, b})
        EXPECT_TRUE(scalar("select OnLine from DeviceUnit where IdDevice = :I", {{"I", id}}).toBool());

    // A write the database refuses: the sweep ends with the reason, the dialog stays usable.
    cn().execute(QStringLiteral("CREATE TRIGGER trRefuse BEFORE UPDATE OF OnLine ON DeviceUnit WHEN "
                                "NEW.IdDevice = %1 BEGIN SELECT RAISE(ABORT, 'database is locked'); END")
                     .arg(b));
    boxes.clear();
    TComputerPingDG::Run();
    if (!boxes.isEmpty() && boxes[0].text.contains("setcap"))
        GTEST_SKIP() << "no ICMP socket for this user";
    ASSERT_EQ(boxes.size(), 1);
    EXPECT_TRUE(boxes[0].text.contains("Проверка прервана")) << boxes[0].text.toStdString();
    EXPECT_TRUE(boxes[0].text.contains("database is locked")) << boxes[0].text.toStdString();
    EXPECT_TRUE(enabledAfter);
    EXPECT_FALSE(scalar("select OnLine from DeviceUnit where IdDevice = :I", {{"I", a}}).toBool());
    EXPECT_TRUE(QDir(logs.path()).entryList(QDir::Files).isEmpty());
}

TEST_F(NetViewsTest, AnEmptyDatabaseSaysWhereToSetUpAndTheSetUpIsUsedAtOnce) {
    cn().execute("delete from DomainController");
    cn().execute("delete from UserInstallDefault");
    const int u = user("ivanov", "Иванов Иван");

    // The scan has nothing to scan: it says where domains are defined.
    bool runEnabled = true;
    QString pane;
    onModal = [&](QDialog &dlg) {
        auto *scan = static_cast<TUserDCScanDG *>(&dlg);
        runEnabled = scan->btRun->isEnabled();
        pane = scan->mmLog->toPlainText();
        return int(QDialog::Rejected);
    };
    TUserDCScanDG::Run();
    EXPECT_FALSE(runEnabled);
    EXPECT_TRUE(pane.contains("velmora-db domains add")) << pane.toStdString();

    // Defining a domain in the list dialog; a second one of the same name is refused with the
    // dialog kept open and the typed text kept.
    QStringList edits;
    onModal = [&](QDialog &dlg) {
        if (auto *list = qobject_cast<TDomainControllerListDG *>(&dlg)) {
            list->btInsert->click();
            list->btInsert->click();
            edits << QString::number(list->taDomain->recordCount());
            return int(QDialog::Rejected);
        }
        auto *edit = qobject_cast<TDomainControllerEditDG *>(&dlg);
        if (!edit)
            return int(QDialog::Rejected);
        edit->edDomain->clear();
        QTest::keyClicks(edit->edDomain, "corp");
        edit->edController->clear();
        QTest::keyClicks(edit->edController, "127.0.0.1:1");
        edit->btSave->click();
        // Saved, the dialog ends; refused, it keeps what was typed.
        edits << (edit->result() ? QStringLiteral("saved") : edit->edDomain->text());
        return edit->result();
    };
    TDomainControllerListDG::Run();
    ASSERT_EQ(edits.size(), 3);
    EXPECT_EQ(edits[0], "saved");
    EXPECT_EQ(edits[1], "corp") << "refused, the dialog kept what was typed";
    EXPECT_EQ(edits[2], "1");
    ASSERT_EQ(boxes.size(), 1);
    EXPECT_TRUE(boxes[0].text.contains("уже есть в списке")) << boxes[0].text.toStdString();
    EXPECT_EQ(scalar("select Controller from DomainController where Domain = 'corp'").toString(),
              "127.0.0.1:1");

    // The checklist without default lines says where to define them; with one line defined in
    // the list dialog the next user's checklist holds it.
    bool hint = false;
    onModal = [&](QDialog &dlg) {
        if (auto *install = qobject_cast<TUserInstallDG *>(&dlg))
            hint = !install->lbHint->isHidden();
        return int(QDialog::Rejected);
    };
    TUserInstallDG::Run(u);
    EXPECT_TRUE(hint);
    onModal = [&](QDialog &dlg) {
        if (auto *list = qobject_cast<TUserInstallDefaultListDG *>(&dlg)) {
            list->btInsert->click();
            return int(QDialog::Rejected);
        }
        if (auto *edit = qobject_cast<TUserInstallDefaultEditDG *>(&dlg)) {
            EXPECT_EQ(edit->edLine->text(), "1");
            edit->cbTitle->click();
            edit->taData->fieldByName("Name")->setValue(QStringLiteral("Система"));
            edit->btSave->click();
            return edit->result();
        }
        return int(QDialog::Rejected);
    };
    TUserInstallDefaultListDG::Run();
    const int next = user("petrov", "Петров Пётр");
    QStringList names;
    onModal = [&](QDialog &dlg) {
        if (auto *install = qobject_cast<TUserInstallDG *>(&dlg)) {
            hint = !install->lbHint->isHidden();
            for (int r = 0; r < install->taUser->recordCount(); ++r)
                names
                    << install->taUser->valueAt(r, install->taUser->fieldByName("Name")->index()).toString();
        }
        return int(QDialog::Rejected);
    };
    TUserInstallDG::Run(next);
    EXPECT_FALSE(hint);
    EXPECT_EQ(names, QStringList{"Система"});
}

TEST_F(NetViewsTest, ScanDialogRefusesALongDomainAndScansTheDirectory) {
    cn().execute("delete from DomainController");
    cn().execute("insert into DomainController (ID, Domain, Controller) values (1, 'KORVANT', :C)",
                 {{"C", testDirectory().isEmpty() ? QStringLiteral("127.0.0.1:1") : testDirectory()}});
    cn().execute("insert into DomainController (ID, Domain, Controller) values (2, :D, '127.0.0.1:1')",
                 {{"D", QString(25, u'L')}});
    cn().execute("insert into DomainController (ID, Domain, Controller) values (3, 'GONE', '127.0.0.1:1')");
    QStringList first, tooLong, unreachable;
    onModal = [&](QDialog &dlg) {
        auto *scan = static_cast<TUserDCScanDG *>(&dlg);
        EXPECT_EQ(scan->cbDomain->currentText(), "KORVANT");
        scan->btRun->click();
        first = paneLines(scan->mmLog);
        scan->cbDomain->setCurrentIndex(scan->cbDomain->findData(2));
        scan->btRun->click();
        tooLong = paneLines(scan->mmLog);
        scan->cbDomain->setCurrentIndex(scan->cbDomain->findData(3));
        scan->btRun->click();
        unreachable = paneLines(scan->mmLog);
        EXPECT_TRUE(scan->btRun->isEnabled());
        return int(QDialog::Rejected);
    };
    TUserDCScanDG::Run();
    ASSERT_EQ(boxes.size(), 1); // the long domain, before anything is asked
    EXPECT_TRUE(boxes[0].text.contains("длиннее 20 символов")) << boxes[0].text.toStdString();
    EXPECT_EQ(tooLong, first); // the pane was left as it was
    ASSERT_EQ(unreachable.size(), 3);
    EXPECT_TRUE(unreachable[2].startsWith("Получено 0 записей"));
    if (!testDirectory().isEmpty()) {
        EXPECT_EQ(first.size(), 2 + 303);
        EXPECT_EQ(scalar("select count(*) from [User] where DomainSource = :T", {{"T", true}}).toInt(), 303);
    }
}

TEST_F(NetViewsTest, UsersViewPositionsRemovesAndJumps) {
    const int wp = workplace("Касса"), empty = workplace("Склад");
    const int ivanov = user("ivanov", "Иванов Иван"), petrov = user("petrov", "Петров Пётр");
    const int sidorov = user("sidorov", "Сидоров");
    cn().execute("update Workplace set [User] = :U where IdWorkplace = :W", {{"U", petrov}, {"W", wp}});
    users = std::make_unique<TNetUserFM>();
    TNetUserFM &v = *users;
    v.RefreshDCUser(-1);
    EXPECT_EQ(v.taDCUser->value("ID").toInt(), ivanov);
    v.RefreshWorkplace(wp);
    EXPECT_EQ(v.taDCUser->value("ID").toInt(), petrov);
    v.RefreshDCUser(-1);
    EXPECT_EQ(v.taDCUser->value("ID").toInt(), petrov);
    v.RefreshWorkplace(empty);
    EXPECT_EQ(v.taDCUser->value("ID").toInt(), ivanov);

    QStringList jumps;
    v.goPlacement = [&](const QString &k, int id) { jumps << k + QString::number(id); };
    v.actions->updateAll();
    EXPECT_FALSE(v.acGoWorkplace->isEnabled()); // ivanov sits at no workplace
    v.RefreshDCUser(petrov);
    v.actions->updateAll();
    ASSERT_TRUE(v.acGoWorkplace->isEnabled());
    v.acGoWorkplace->trigger();
    EXPECT_EQ(jumps, QStringList{"W" + QString::number(wp)});

    // Removing the first user: the question names it, the next one becomes the first.
    v.RefreshDCUser(ivanov);
    answer = false;
    v.acUserDelete->trigger();
    ASSERT_EQ(boxes.size(), 1);
    EXPECT_EQ(boxes[0].text, "Удалить «CORP/ivanov: Иванов Иван»?");
    EXPECT_EQ(v.taDCUser->recordCount(), 3);
    answer = true;
    v.acUserDelete->trigger();
    EXPECT_EQ(v.taDCUser->recordCount(), 2);
    EXPECT_EQ(v.taDCUser->value("ID").toInt(), petrov);
    v.RefreshDCUser(sidorov);
    v.acUserDelete->trigger(); // the last one: the one before it takes its place
    EXPECT_EQ(v.taDCUser->value("ID").toInt(), petrov);

    QStringList reports;
    v.viewReport = [&](const QString &r) { reports << r; };
    v.actions->updateAll();
    v.acUserInfo->trigger();
    v.asReportList->trigger();
    v.acReportMail->trigger();
    EXPECT_EQ(reports, (QStringList{"user.info&rs:Command=Render&ID=" + QString::number(petrov), "user.list",
                                    "mail.box"}));
}

TEST_F(NetViewsTest, UsersViewRestoresAnAccountSetAside) {
    const int corp = user("ivanov", "Иванов Иван");
    const int branch = insert("User", {{"Login", "ivanov"}, {"Domain", "BRANCH"}, {"Name", "Иванов И."}});
    users = std::make_unique<TNetUserFM>();
    TNetUserFM &v = *users;
    ConnectDialogs(v);
    v.RefreshDCUser(corp);
    answer = true;
    v.acUserDelete->trigger();
    EXPECT_EQ(v.taDCUser->recordCount(), 1);
    EXPECT_EQ(v.taDCUser->value("ID").toInt(), branch) << "the same login in another domain stays";

    QStringList listed;
    onModal = [&](QDialog &dlg) {
        auto *list = qobject_cast<TUserIgnoreListDG *>(&dlg);
        if (!list)
            return int(QDialog::Rejected);
        listed << list->taIgnore->value("DomainText").toString() + "/" +
                      list->taIgnore->value("Login").toString();
        list->btRestore->click();
        EXPECT_TRUE(list->taIgnore->isEmpty());
        EXPECT_FALSE(list->btRestore->isEnabled());
        return int(QDialog::Rejected);
    };
    v.acIgnored->trigger();
    EXPECT_EQ(listed, QStringList{"CORP/ivanov"});
    EXPECT_EQ(v.taDCUser->recordCount(), 2) << "the view reloads with the account back";
}

TEST_F(NetViewsTest, UserDialogLocksDomainDataAndGeneratesPasswords) {
    const int domainUser = user("ivanov", "Иванов Иван", true);
    bool newLocked = true, domainLocked = false;
    QString pin, mail;
    onModal = [&](QDialog &dlg) {
        auto *d = static_cast<TUserEditDG *>(&dlg);
        const bool locked = d->edLogin->isReadOnly() && d->edDomain->isReadOnly() && d->edName->isReadOnly();
        if (d->taData->state() == DataSetState::Insert) {
            newLocked = locked || d->cbDomain->isChecked();
            QTest::keyClicks(d->edLogin, "sidorov");
            d->btUserPass->click();
            d->btCreatePass->click();
            pin = d->edPass->text();
            mail = d->edMailPass->text();
            d->btSave->click();
            return d->result();
        }
        domainLocked = locked;
        d->cbDomain->click(); // unticked: editable again
        EXPECT_FALSE(d->edLogin->isReadOnly());
        return int(QDialog::Rejected);
    };
    int saved = -1;
    ASSERT_TRUE(TUserEditDG::Run(-1, &saved));
    EXPECT_FALSE(newLocked);
    EXPECT_TRUE(QRegularExpression("^[2-9]{4}$").match(pin).hasMatch()) << pin.toStdString();
    EXPECT_TRUE(QRegularExpression("^[2-9A-Y]{8}$").match(mail).hasMatch()) << mail.toStdString();
    EXPECT_EQ(scalar("select Pass from [User] where ID = :I", {{"I", saved}}).toString(), pin);
    EXPECT_EQ(scalar("select [Login] from [User] where ID = :I", {{"I", saved}}).toString(), "sidorov");
    EXPECT_FALSE(TUserEditDG::Run(domainUser));
    EXPECT_TRUE(domainLocked);
}

TEST_F(NetViewsTest, ChecklistIsMadeOnceShadedTickedAndPrinted) {
    int line = 0;
    for (auto [title, name] :
         {std::pair{true, "Система"}, {false, "Установить ОС"}, {false, "Ввести в домен"}})
        insert("UserInstallDefault", {{"Line", ++line}, {"Title", title}, {"Name", QString::fromUtf8(name)}});
    const int u = user("ivanov", "Иванов Иван");
    QStringList printed;
    TUserInstallDG::viewReport = [&](const QString &r) { printed << r; };
    QStringList names;
    QVariant titleBackground, stepBackground;
    onModal = [&](QDialog &dlg) {
        auto *d = static_cast<TUserInstallDG *>(&dlg);
        names.clear();
        for (int r = 0; r < d->taUser->recordCount(); ++r)
            names << d->taUser->valueAt(r, d->taUser->fieldByName("Name")->index()).toString();
        titleBackground = d->grList->model()->index(0, 0).data(Qt::BackgroundRole);
        stepBackground = d->grList->model()->index(1, 0).data(Qt::BackgroundRole);
        d->taUser->setRecNo(1);
        d->toggleDone();
        d->taUser->first();
        d->toggleDone(); // a heading has no mark
        d->taUser->setRecNo(2);
        d->btPrint->click();
        return int(QDialog::Rejected);
    };
    TUserInstallDG::Run(u);
    EXPECT_EQ(names, (QStringList{"Система", "Установить ОС", "Ввести в домен"}));
    EXPECT_TRUE(titleBackground.isValid());
    EXPECT_FALSE(stepBackground.isValid());
    EXPECT_EQ(printed, QStringList{"user.install&rs:Command=Render&User=" + QString::number(u)});
    EXPECT_EQ(
        scalar("select count(*) from UserInstall where [User] = :U and Done = :T", {{"U", u}, {"T", true}})
            .toInt(),
        1);
    TUserInstallDG::Run(u); // the second opening makes no new lines
    EXPECT_EQ(scalar("select count(*) from UserInstall where [User] = :U", {{"U", u}}).toInt(), 3);
    TUserInstallDG::viewReport = nullptr;
}

} // namespace
