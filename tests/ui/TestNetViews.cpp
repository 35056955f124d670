// The network computers view, the ping sweep and domain scan dialogs, the users view, the user
// dialog and the setup checklist, over a real database (and a real directory for the scan).
#include "Actions.h"
#include "AppTest.h"
#include "DataGrid.h"
#include "NetTestSupport.h"
#include "TessalADO.h"
#include "dgComputerPing.h"
#include "dgUserDCScan.h"
#include "dgUserEdit.h"
#include "dgUserInstall.h"
#include "fmNetComputer.h"
#include "fmNetUser.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>

namespace {

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
