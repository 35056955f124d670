// The department, workplace and device dialogs and their find dialogs over a real database, driven
// through the modal seam the way the placement view and the element dialogs use them.
#include "AppTest.h"
#include "TestDatabase.h"
#include "data/DataSet.h"
#include "data/Errors.h"
#include "data/SchemaInfo.h"
#include "data/Settings.h"
#include "data/TessalADO.h"
#include "data/TessalDialog.h"
#include "data/dmTessalData.h"
#include "dialogs/dgDepartmentEdit.h"
#include "dialogs/dgDepartmentFind.h"
#include "dialogs/dgDeviceEdit.h"
#include "dialogs/dgDeviceFind.h"
#include "dialogs/dgKindEdit.h"
#include "dialogs/dgKindList.h"
#include "dialogs/dgWorkplaceEdit.h"
#include "dialogs/dgWorkplaceFind.h"
#include "model/dmChainData.h"
#include "model/dmLookUpData.h"
#include "ui/DataControls.h"
#include "ui/Seams.h"

#include <QApplication>
#include <QDate>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include <memory>

namespace {

const QString ConflictText = QStringLiteral(
    "Запись изменена или удалена другим пользователем. Обновите данные и повторите изменение.");

// Boxes are answered yes.
class PlacementDialogsTest : public AppTest {
protected:
    void SetUp() override {
        AppTest::SetUp();
        if (HasFatalFailure())
            return;
        for (const char *section : {"Department.Find", "Workplace.Find", "Device.Find"})
            PropertyStore(QString::fromLatin1(section))
                .write(QStringLiteral("edFind.<P>.Items"), QStringList());
        fill();
    }
    QVariant column(const QString &table, const QString &col, int key) {
        return scalar(QStringLiteral("select [%1] from [%2] where [%3] = :K")
                          .arg(col, table, SchemaInfo::instance().table(table)->key),
                      {{QStringLiteral("K"), key}});
    }
    // Управление > Бухгалтерия > Касса, and Склад beside it; workplaces and devices below.
    void fill() {
        dep = insert("Department", {{"DprtName", "Управление"}});
        sub = insert("Department", {{"DprtName", "Бухгалтерия"}, {"DprtIdHigher", dep}});
        subsub = insert("Department", {{"DprtName", "Касса"}, {"DprtIdHigher", sub}});
        other = insert("Department", {{"DprtName", "Склад"}});
        user = insert("User", {{"Login", "ivanov"}, {"Name", "Иванов"}});
        wpDep = insert("Workplace", {{"WrkpIdDepartment", dep}, {"WrkpName", "Приёмная"}});
        wp = insert("Workplace", {{"WrkpIdDepartment", sub},
                                  {"WrkpName", "Кассир"},
                                  {"Phone", "123"},
                                  {"Synonym", "касса"},
                                  {"User", user}});
        wp2 = insert("Workplace", {{"WrkpIdDepartment", sub}, {"WrkpName", "Главбух"}});
        kindPc = insert("Kind", {{"KindType", "D"}, {"KindName", "Компьютер"}});
        kindPrinter = insert("Kind", {{"KindType", "D"}, {"KindName", "Принтер"}});
        kindDisk = insert("Kind", {{"KindType", "H"}, {"KindName", "Диск"}});
        pc = insert("DeviceUnit", {{"DevcIdWorkplace", wp},
                                   {"DevcName", "ПК кассира"},
                                   {"DevcIdKind", kindPc},
                                   {"Domain", "kassa-01"},
                                   {"DevcNumber", "0042"}});
        printer = insert("DeviceUnit",
                         {{"DevcIdWorkplace", wp2}, {"DevcName", "Лазерный"}, {"DevcIdKind", kindDisk}});
    }

    // Runs `drive` inside every modal run (find dialogs opened from an edit dialog included); it
    // tells the dialogs apart by their instances.
    void onModal(std::function<void(QDialog &)> drive) {
        SetModalHandler([drive = std::move(drive)](QDialog &d) {
            drive(d);
            return d.result();
        });
    }
    // Types at the caret, one key event per character (Cyrillic included).
    // What the user does by picking the row of `key` in a selector's drop-down.
    static void chooseKey(DBLookupCombo *box, int key) {
        DataSet *list = box->listSource();
        ASSERT_TRUE(list && list->isActive());
        const int col = list->fieldByName(box->keyField())->index();
        for (int r = 0; r < list->recordCount(); ++r)
            if (list->valueAt(r, col).toInt() == key) {
                box->choose(r);
                return;
            }
        FAIL() << "no row " << key << " in " << box->objectName().toStdString();
    }
    // Types `text` into a find dialog and chooses the found row of `key`.
    static void findAndChoose(TBASEFindDG &find, const QString &text, int key) {
        find.edFind->setEditText(text);
        find.flushFind();
        ASSERT_TRUE(find.taFind->locate(QStringLiteral("ID"), key)) << text.toStdString();
        ASSERT_TRUE(find.btBack->isEnabled());
        find.btBack->click();
    }
    static QList<int> keys(const DataSet *list) {
        QList<int> out;
        for (int r = 0; r < list->recordCount(); ++r)
            out << list->valueAt(r, list->fieldByName(QStringLiteral("ID"))->index()).toInt();
        std::sort(out.begin(), out.end());
        return out;
    }

    int dep = 0, sub = 0, subsub = 0, other = 0, user = 0, wpDep = 0, wp = 0, wp2 = 0;
    int kindPc = 0, kindPrinter = 0, kindDisk = 0, pc = 0, printer = 0;
};

// ---------------------------------------------------------------------------------------------

TEST_F(PlacementDialogsTest, AMissingKeyStartsANewRecordUnderTheGivenParent) {
    struct Case {
        const char *name;
        TBaseEditDG *dialog;
        std::function<bool(int *newKey)> run;
        QString table, parentColumn;
        int parent;
        const char *parentBox;
        QString parentShown;
    };
    const QVector<Case> cases = {
        {"department", TDepartmentEditDG::Instance(),
         [&](int *k) { return TDepartmentEditDG::Run(-1, sub, k); }, "Department", "DprtIdHigher", sub,
         "cbHight", "Бухгалтерия"},
        {"workplace", TWorkplaceEditDG::Instance(), [&](int *k) { return TWorkplaceEditDG::Run(-1, sub, k); },
         "Workplace", "WrkpIdDepartment", sub, "lcHigher", "Бухгалтерия"},
        {"device", TDeviceEditDG::Instance(), [&](int *) { return TDeviceEditDG::Run(-1, wp2); },
         "DeviceUnit", "DevcIdWorkplace", wp2, "lcWorkplace", "Главбух"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        boxes.clear();
        TBaseEditDG *dlg = c.dialog;
        auto *edName = dlg->findChild<DBEdit *>(QStringLiteral("edName"));
        auto *parentBox = dlg->findChild<DBLookupCombo *>(QString::fromLatin1(c.parentBox));
        ASSERT_TRUE(edName && parentBox);
        onModal([&](QDialog &) {
            EXPECT_EQ(dlg->taData->state(), DataSetState::Insert);
            EXPECT_TRUE(dlg->btSave->isEnabled()) << "a new record can be saved at once";
            EXPECT_EQ(dlg->taData->value(c.parentColumn).toInt(), c.parent);
            EXPECT_EQ(parentBox->currentText(), c.parentShown);
            typeInto(edName, QStringLiteral("Новое"));
            dlg->btSave->click();
        });
        int key = -1;
        ASSERT_TRUE(c.run(&key));
        const int stored = dlg->taData->value(SchemaInfo::instance().table(c.table)->key).toInt();
        EXPECT_GT(stored, 0);
        if (c.table != QStringLiteral("DeviceUnit")) {
            EXPECT_EQ(key, stored) << "the caller receives the new key";
        }
        EXPECT_EQ(column(c.table, c.parentColumn, stored).toInt(), c.parent);
        EXPECT_TRUE(boxes.isEmpty());
    }
    EXPECT_EQ(scalar("select count(*) from Department where DprtName = 'Новое'").toInt(), 1);
    EXPECT_EQ(scalar("select count(*) from Workplace where WrkpName = 'Новое'").toInt(), 1);
    EXPECT_EQ(
        scalar("select count(*) from DeviceUnit where DevcName = 'Новое' and DevcIdKind is null").toInt(), 1);
}

TEST_F(PlacementDialogsTest, ANameIsRequiredAndSavedWithoutItsEdgeBlanks) {
    struct Case {
        const char *name;
        TBaseEditDG *dialog;
        std::function<bool()> run;
        QString message, table, column;
    };
    const QVector<Case> cases = {
        {"department", TDepartmentEditDG::Instance(), [&] { return TDepartmentEditDG::Run(-1, sub); },
         TDepartmentEditDG::NameMessage, "Department", "DprtName"},
        {"workplace", TWorkplaceEditDG::Instance(), [&] { return TWorkplaceEditDG::Run(-1, sub); },
         TWorkplaceEditDG::NameMessage, "Workplace", "WrkpName"},
        {"device", TDeviceEditDG::Instance(), [&] { return TDeviceEditDG::Run(-1, wp2); },
         TDeviceEditDG::NameMessage, "DeviceUnit", "DevcName"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        boxes.clear();
        auto *edName = c.dialog->findChild<DBEdit *>(QStringLiteral("edName"));
        ASSERT_TRUE(edName);
        onModal([&](QDialog &d) {
            for (const QString &typed : {QString(), QStringLiteral("   ")}) {
                SCOPED_TRACE(typed.toStdString());
                boxes.clear();
                typeInto(edName, typed);
                c.dialog->btSave->click();
                EXPECT_EQ(texts(MessageKind::Error), QStringList{c.message});
                EXPECT_EQ(d.result(), QDialog::Rejected) << "the dialog has not ended";
                EXPECT_TRUE(c.dialog->taData->isEditing());
                EXPECT_EQ(edName->text(), typed) << "what was typed stays";
            }
            clearBox(edName);
            typeInto(edName, QStringLiteral("  Новое имя  "));
            c.dialog->btSave->click();
        });
        ASSERT_TRUE(c.run());
        EXPECT_EQ(
            scalar(QStringLiteral("select count(*) from %1 where %2 = 'Новое имя'").arg(c.table, c.column))
                .toInt(),
            1);
    }
}

TEST_F(PlacementDialogsTest, NewDeviceListsTheWorkplacesOfItsDepartmentAndNoKind) {
    TDeviceEditDG *dlg = TDeviceEditDG::Instance();
    onModal([&](QDialog &) {
        EXPECT_EQ(keys(dmLookUp->taWork), (QList<int>{wp, wp2})) << "the workplaces of Бухгалтерия";
        EXPECT_EQ(dlg->lcWorkplace->currentText(), QStringLiteral("Кассир"));
        EXPECT_EQ(dlg->lcKind->currentIndex(), -1);
        EXPECT_EQ(dlg->cbUsed->currentText(), QStringLiteral("Используется"))
            << "a new device is in use unless the user chooses otherwise";
    });
    EXPECT_FALSE(TDeviceEditDG::Run(-1, wp));
    EXPECT_EQ(scalar("select count(*) from DeviceUnit").toInt(), 2) << "nothing saved";
}

TEST_F(PlacementDialogsTest, EmptiedTextsAndSelectorsAreStoredAsNull) {
    struct Case {
        const char *name;
        TBaseEditDG *dialog;
        std::function<bool()> run;
        QString table;
        int key;
        QStringList cleared;   // controls emptied by the user (texts, or Delete in a selector)
        QStringList nullAfter; // columns that hold NULL afterwards
        QString kept;          // a column that keeps its value
    };
    const QVector<Case> cases = {
        {"department to the top level",
         TDepartmentEditDG::Instance(),
         [&] { return TDepartmentEditDG::Run(sub, 0); },
         "Department",
         sub,
         {"cbHight"},
         {"DprtIdHigher", "Synonym"},
         "DprtName"},
        {"workplace",
         TWorkplaceEditDG::Instance(),
         [&] { return TWorkplaceEditDG::Run(wp, 0); },
         "Workplace",
         wp,
         {"edPhone", "edSynonym", "lcUser"},
         {"Phone", "Synonym", "User"},
         "WrkpIdDepartment"},
        {"device",
         TDeviceEditDG::Instance(),
         [&] { return TDeviceEditDG::Run(pc, 0); },
         "DeviceUnit",
         pc,
         {"edDomain", "edNumb"},
         {"Domain", "DevcNumber"},
         "DevcIdKind"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const QVariant kept = column(c.table, c.kept, c.key);
        onModal([&](QDialog &) {
            for (const QString &name : c.cleared) {
                QWidget *w = c.dialog->findChild<QWidget *>(name);
                ASSERT_TRUE(w) << name.toStdString();
                if (auto *edit = qobject_cast<QLineEdit *>(w))
                    clearBox(edit);
                else
                    QTest::keyClick(w, Qt::Key_Delete);
            }
            c.dialog->btSave->click();
        });
        ASSERT_TRUE(c.run());
        for (const QString &col : c.nullAfter)
            EXPECT_TRUE(column(c.table, col, c.key).isNull()) << col.toStdString();
        EXPECT_EQ(column(c.table, c.kept, c.key), kept);
    }
    EXPECT_TRUE(boxes.isEmpty());
}

TEST_F(PlacementDialogsTest, ASuperiorInsideItsOwnBranchIsRefusedAndTheEditStaysOpen) {
    struct Case {
        const char *name;
        int parent;
    };
    const int deeper = insert("Department", {{"DprtName", "Сейф"}, {"DprtIdHigher", subsub}});
    const QVector<Case> cases = {
        {"the department itself", sub}, {"a department below it", subsub}, {"two levels below it", deeper}};
    TDepartmentEditDG *dlg = TDepartmentEditDG::Instance();
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        boxes.clear();
        onModal([&](QDialog &d) {
            typeInto(dlg->edName, QStringLiteral("!"));
            chooseKey(dlg->cbHight, c.parent);
            dlg->btSave->click();
            EXPECT_EQ(texts(MessageKind::Error), QStringList{TDepartmentEditDG::ParentMessage});
            EXPECT_EQ(d.result(), QDialog::Rejected) << "the dialog has not ended";
            EXPECT_TRUE(dlg->taData->isEditing()) << "nothing the user typed is lost";
            EXPECT_EQ(dlg->edName->text(), QStringLiteral("Бухгалтерия!"));
            EXPECT_EQ(column("Department", "DprtIdHigher", sub).toInt(), dep) << "nothing written";
            EXPECT_EQ(column("Department", "DprtName", sub).toString(), QStringLiteral("Бухгалтерия"));

            // A superior outside the branch goes through.
            chooseKey(dlg->cbHight, other);
            dlg->btSave->click();
        });
        ASSERT_TRUE(TDepartmentEditDG::Run(sub, 0));
        EXPECT_EQ(column("Department", "DprtIdHigher", sub).toInt(), other);
        EXPECT_EQ(column("Department", "DprtName", sub).toString(), QStringLiteral("Бухгалтерия!"));
        EXPECT_EQ(boxes.size(), 1);
        cn().execute(
            "update Department set DprtIdHigher = :D, DprtName = 'Бухгалтерия' where IdDepartment = :S",
            {{"D", dep}, {"S", sub}});
    }
}

TEST_F(PlacementDialogsTest, OneDepartmentFindFillsTheFieldOfWhicheverDialogOpenedIt) {
    TDepartmentEditDG *department = TDepartmentEditDG::Instance();
    TWorkplaceEditDG *workplace = TWorkplaceEditDG::Instance();
    TDepartmentFindDG *find = TDepartmentFindDG::Instance();

    int choose = other;
    QString text = QStringLiteral("склад");
    onModal([&](QDialog &d) {
        if (&d == find) {
            findAndChoose(*find, text, choose);
            return;
        }
        auto *edit = static_cast<TBaseEditDG *>(&d);
        edit->findChild<QPushButton *>(QStringLiteral("btFind"))->click();
        edit->btSave->click();
    });
    ASSERT_TRUE(TDepartmentEditDG::Run(sub, 0));
    EXPECT_EQ(department->cbHight->currentText(), QStringLiteral("Склад"));
    EXPECT_EQ(column("Department", "DprtIdHigher", sub).toInt(), other);

    choose = dep;
    text = QStringLiteral("Управление");
    ASSERT_TRUE(TWorkplaceEditDG::Run(wp, 0));
    EXPECT_EQ(workplace->lcHigher->currentText(), QStringLiteral("Управление"));
    EXPECT_EQ(column("Workplace", "WrkpIdDepartment", wp).toInt(), dep);
    EXPECT_EQ(column("Department", "DprtIdHigher", sub).toInt(), other)
        << "the first caller's field is left alone";
    EXPECT_EQ(department->taData->value("DprtIdHigher").toInt(), other);

    EXPECT_EQ(PropertyStore(QStringLiteral("Department.Find"))
                  .read(QStringLiteral("edFind.<P>.Items"))
                  .toStringList(),
              (QStringList{QStringLiteral("склад"), QStringLiteral("Управление")}));
    EXPECT_TRUE(boxes.isEmpty());
}

TEST_F(PlacementDialogsTest, DeviceSelectorsListDeviceKindsAndTheWorkplacesOfTheDepartment) {
    TDeviceEditDG *dlg = TDeviceEditDG::Instance();
    TWorkplaceFindDG *find = TWorkplaceFindDG::Instance();

    // A device whose kind is not a device kind shows no kind.
    onModal([&](QDialog &) {
        EXPECT_EQ(keys(dmLookUp->taKind), (QList<int>{kindPc, kindPrinter}));
        EXPECT_EQ(dlg->lcKind->count(), 2);
        EXPECT_EQ(dlg->lcKind->currentIndex(), -1);
        EXPECT_EQ(dlg->lcWorkplace->currentText(), QStringLiteral("Главбух"));
    });
    EXPECT_FALSE(TDeviceEditDG::Run(printer, 0));

    // A workplace of another department chosen through the search: the list follows it.
    onModal([&](QDialog &d) {
        if (&d == find) {
            findAndChoose(*find, QStringLiteral("Приёмная"), wpDep);
            return;
        }
        EXPECT_EQ(dlg->lcKind->currentText(), QStringLiteral("Компьютер"));
        EXPECT_EQ(keys(dmLookUp->taWork), (QList<int>{wp, wp2}));
        dlg->btFind->click();
        EXPECT_EQ(keys(dmLookUp->taWork), (QList<int>{wpDep}));
        EXPECT_EQ(dlg->lcWorkplace->currentText(), QStringLiteral("Приёмная"));
        chooseKey(dlg->lcKind, kindPrinter);
        dlg->btSave->click();
    });
    ASSERT_TRUE(TDeviceEditDG::Run(pc, 0));
    EXPECT_EQ(column("DeviceUnit", "DevcIdWorkplace", pc).toInt(), wpDep);
    EXPECT_EQ(column("DeviceUnit", "DevcIdKind", pc).toInt(), kindPrinter);
    EXPECT_EQ(PropertyStore(QStringLiteral("Workplace.Find"))
                  .read(QStringLiteral("edFind.<P>.Items"))
                  .toStringList(),
              QStringList{QStringLiteral("Приёмная")});
    EXPECT_TRUE(boxes.isEmpty());
}

TEST_F(PlacementDialogsTest, TheKindListOpensOnTheShownKindAndFillsTheDevicesKind) {
    TDeviceEditDG *dlg = TDeviceEditDG::Instance();
    TKindListDG *list = TKindListDG::Instance();
    int opened = 0;
    onModal([&](QDialog &d) {
        if (&d == list) {
            opened = list->taKind->value("IdKind").toInt();
            ASSERT_TRUE(list->taKind->locate("IdKind", kindPrinter));
            list->btBack->click();
            return;
        }
        dlg->btKind->click();
        EXPECT_EQ(dlg->lcKind->currentText(), QStringLiteral("Принтер"));
        dlg->btSave->click();
    });
    ASSERT_TRUE(TDeviceEditDG::Run(pc, 0));
    EXPECT_EQ(opened, kindPc) << "the list opens on the kind the selector shows";
    EXPECT_EQ(column("DeviceUnit", "DevcIdKind", pc).toInt(), kindPrinter);
    EXPECT_TRUE(boxes.isEmpty());
}

// A kind made in the kind list and chosen there is in the dialog's kind box at once, selected,
// and the device is saved with it; what was typed meanwhile stays.
TEST_F(PlacementDialogsTest, AKindMadeInTheKindListIsChosenInTheBoxAtOnce) {
    TDeviceEditDG *dlg = TDeviceEditDG::Instance();
    TKindListDG *list = TKindListDG::Instance();
    TKindEditDG *kindDialog = TKindEditDG::Instance();
    onModal([&](QDialog &d) {
        if (&d == kindDialog) {
            typeInto(kindDialog->DBEdit1, QStringLiteral("Сканер"));
            kindDialog->btSave->click();
            return;
        }
        if (&d == list) {
            list->btInsert->click();
            ASSERT_EQ(list->taKind->value("KindName").toString(), QStringLiteral("Сканер"));
            list->btBack->click();
            return;
        }
        typeInto(dlg->edName, QStringLiteral("Сканер бухгалтерии"));
        dlg->btKind->click();
        EXPECT_EQ(dlg->lcKind->currentText(), QStringLiteral("Сканер"));
        EXPECT_EQ(dlg->edName->text(), QStringLiteral("Сканер бухгалтерии"));
        EXPECT_GE(dlg->lcKind->findText(QStringLiteral("Компьютер")), 0) << "the other device kinds stay";
        dlg->btSave->click();
    });
    ASSERT_TRUE(TDeviceEditDG::Run(-1, wp));
    const int device = cn().scalar("select max(IdDevice) from DeviceUnit").toInt();
    EXPECT_EQ(cn().scalar("select KindName from Kind k join DeviceUnit d on d.DevcIdKind = k.IdKind "
                          "where d.IdDevice = :D",
                          {{"D", device}})
                  .toString(),
              QStringLiteral("Сканер"));
    EXPECT_EQ(column("DeviceUnit", "Used", device).toInt(), DeviceInUse);
    EXPECT_TRUE(boxes.isEmpty());
}

TEST_F(PlacementDialogsTest, StateOfUseStoresItsCode) {
    TDeviceEditDG *dlg = TDeviceEditDG::Instance();
    const QVector<std::pair<int, QString>> expected = {{1, "Используется"},
                                                       {2, "Хранится"},
                                                       {3, "Восстановление"},
                                                       {4, "Новый компьютер"},
                                                       {-1, "Не используется"}};
    ASSERT_EQ(DeviceUseStates(), expected);
    for (int i = 0; i < expected.size(); ++i) {
        SCOPED_TRACE(i);
        onModal([&](QDialog &) {
            ASSERT_EQ(dlg->cbUsed->itemText(i), expected[i].second);
            emit dlg->cbUsed->activated(i);
            dlg->btSave->click();
        });
        ASSERT_TRUE(TDeviceEditDG::Run(pc, 0));
        EXPECT_EQ(column("DeviceUnit", "Used", pc).toInt(), expected[i].first);
        QString shown;
        onModal([&](QDialog &) { shown = dlg->cbUsed->currentText(); });
        TDeviceEditDG::Run(pc, 0);
        EXPECT_EQ(shown, expected[i].second);
    }
    cn().execute("update DeviceUnit set Used = 7 where IdDevice = :D", {{"D", pc}});
    int index = 0;
    onModal([&](QDialog &) { index = dlg->cbUsed->currentIndex(); });
    TDeviceEditDG::Run(pc, 0);
    EXPECT_EQ(index, -1) << "an unknown code shows no state";
}

TEST_F(PlacementDialogsTest, AWorkplaceAddedFromTheSearchNeedsADepartmentAndCanBeChosenAtOnce) {
    TDeviceEditDG *device = TDeviceEditDG::Instance();
    TWorkplaceFindDG *find = TWorkplaceFindDG::Instance();
    TWorkplaceEditDG *workplace = TWorkplaceEditDG::Instance();
    int added = 0;
    onModal([&](QDialog &d) {
        if (&d == workplace) {
            EXPECT_EQ(workplace->lcHigher->currentIndex(), -1) << "no department until the user picks one";
            typeInto(workplace->edName, QStringLiteral("Кассы у входа"));
            typeInto(workplace->edPhone, QStringLiteral("555"));
            workplace->btSave->click();
            EXPECT_EQ(texts(MessageKind::Error), QStringList{TWorkplaceEditDG::DepartmentMessage});
            EXPECT_EQ(d.result(), QDialog::Rejected) << "still open";
            EXPECT_EQ(workplace->edName->text(), QStringLiteral("Кассы у входа"));
            chooseKey(workplace->lcHigher, dep);
            workplace->btSave->click();
            added = workplace->taData->value("IdWorkplace").toInt();
        } else if (&d == find) {
            EXPECT_FALSE(find->btInsert->isHidden());
            find->edFind->setEditText(QStringLiteral("касс"));
            find->flushFind();
            EXPECT_EQ(keys(find->taFind), QList<int>{wp});
            find->btInsert->click();
            ASSERT_GT(added, 0);
            EXPECT_EQ(keys(find->taFind), (QList<int>{wp, added})) << "found by the same text";
            EXPECT_EQ(find->taFind->value("ID").toInt(), added) << "the list stands on the new workplace";
            ASSERT_TRUE(find->btBack->isEnabled());
            find->btBack->click();
        } else {
            device->btFind->click();
            EXPECT_EQ(device->lcWorkplace->currentText(), QStringLiteral("Кассы у входа"));
            device->btSave->click();
        }
    });
    ASSERT_TRUE(TDeviceEditDG::Run(pc, 0));
    EXPECT_EQ(column("Workplace", "WrkpIdDepartment", added).toInt(), dep);
    EXPECT_EQ(column("Workplace", "Phone", added).toString(), QStringLiteral("555"));
    EXPECT_EQ(column("DeviceUnit", "DevcIdWorkplace", pc).toInt(), added);
    EXPECT_EQ(boxes.size(), 1);
}

// Another workstation (a second connection) gets in the way of a save: the dialog says what
// happened, keeps everything typed, and the user mends it and saves again, or cancels.
TEST_F(PlacementDialogsTest, AFailedSaveKeepsWhatWasTypedAndCanBeRetried) {
    struct Case {
        const char *name;
        TBaseEditDG *dialog;
        std::function<bool()> run;
        std::function<void(Connection &other)> meanwhile; // after the typing, before "Записать"
        QString message;                                  // the box after the first "Записать"
        // After the failure: what the user (or the other workstation) does before pressing
        // "Записать" again; false when the user can only cancel.
        std::function<bool(Connection &other)> mend;
        std::function<void()> check; // once the dialog has ended
    };
    const QVector<Case> cases = {
        {"another workstation changed the department", TDepartmentEditDG::Instance(),
         [&] { return TDepartmentEditDG::Run(sub, 0); },
         [&](Connection &o) {
             o.execute("update Department set Synonym = 'Расчёты', RowVersion = RowVersion + 1 "
                       "where IdDepartment = :D",
                       {{"D", sub}});
         },
         TBaseEditDG::ChangedMessage,
         [&](Connection &) {
             auto *synonym = TDepartmentEditDG::Instance()->edSynonym;
             EXPECT_EQ(synonym->text(), QStringLiteral("Расчёты"))
                 << "the other workstation's change is read in";
             return true;
         },
         [&] {
             EXPECT_EQ(column("Department", "DprtName", sub).toString(), QStringLiteral("Бухгалтерия 2"));
             EXPECT_EQ(column("Department", "Synonym", sub).toString(), QStringLiteral("Расчёты"))
                 << "both changes are kept";
         }},
        {"another workstation removed the device", TDeviceEditDG::Instance(),
         [&] { return TDeviceEditDG::Run(pc, 0); },
         [&](Connection &o) {
             o.execute("delete from DeviceUnit where IdDevice = :D", {{"D", pc}});
         },
         TBaseEditDG::RemovedMessage, [&](Connection &) { return false; },
         [&] { EXPECT_FALSE(column("DeviceUnit", "IdDevice", pc).isValid()); }},
        {"another workstation removed the new workplace's department", TWorkplaceEditDG::Instance(),
         [&] { return TWorkplaceEditDG::Run(-1, other); },
         [&](Connection &o) {
             o.execute("delete from Department where IdDepartment = :D", {{"D", other}});
         },
         TBaseEditDG::ParentGoneMessage.arg(QStringLiteral("Подразделение")),
         [&](Connection &) {
             OpenWithParams(*dmLookUp->taDepart);
             chooseKey(TWorkplaceEditDG::Instance()->lcHigher, dep);
             return true;
         },
         [&] {
             EXPECT_EQ(scalar("select WrkpIdDepartment from Workplace where WrkpName = '2'").toInt(), dep);
         }},
        {"the database is busy with another workstation's change", TDeviceEditDG::Instance(),
         [&] { return TDeviceEditDG::Run(printer, 0); },
         [&](Connection &o) {
             cn().execute("PRAGMA busy_timeout = 0"); // no waiting in a test
             o.execute("BEGIN IMMEDIATE");
         },
         QStringLiteral("База данных занята"),
         [&](Connection &o) {
             o.execute("ROLLBACK");
             return true;
         },
         [&] {
             EXPECT_EQ(column("DeviceUnit", "DevcName", printer).toString(), QStringLiteral("Лазерный 2"));
         }},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        boxes.clear();
        Connection otherStation;
        otherStation.open(url());
        auto *edName = c.dialog->findChild<DBEdit *>(QStringLiteral("edName"));
        bool retried = false;
        onModal([&](QDialog &d) {
            QSignalSpy ended(&d, &QDialog::finished);
            typeInto(edName, QStringLiteral(" 2"));
            const QString typed = edName->text();
            c.meanwhile(otherStation);
            c.dialog->btSave->click();
            const QStringList shown = texts(MessageKind::Exception);
            ASSERT_EQ(shown.size(), 1);
            EXPECT_TRUE(shown.front().startsWith(c.message)) << shown.front().toStdString();
            EXPECT_EQ(boxes.size(), 1);
            EXPECT_EQ(ended.count(), 0) << "the dialog stays open";
            EXPECT_TRUE(c.dialog->taData->isEditing());
            EXPECT_EQ(edName->text(), typed) << "what was typed stays";
            retried = c.mend(otherStation);
            if (retried)
                c.dialog->btSave->click();
            else
                c.dialog->btCancel->click();
            EXPECT_EQ(ended.count(), 1);
        });
        EXPECT_EQ(c.run(), retried);
        EXPECT_EQ(boxes.size(), 1) << "the retry went through without a further box";
        c.check();
    }
    EXPECT_EQ(column("Department", "DprtName", dep).toString(), QStringLiteral("Управление"));
}

TEST_F(PlacementDialogsTest, ChoosingADeviceLoadsTheDevicesOfItsDepartment) {
    const int model = insert("Model", {{"ModlKind", kindDisk}, {"ModlName", "WD"}});
    const int element = insert("CompleteSet", {{"CmplIdDevice", pc}, {"CmplIdModel", model}});
    DataSet record(&cn());
    record.setCommand(
        QStringLiteral("select IdComponent, CmplIdDevice from CompleteSet where IdComponent = :ID"));
    OpenWithParams(record, {TypedValue::Int(element)});

    TDeviceFindDG *find = TDeviceFindDG::Instance();
    onModal([&](QDialog &) { findAndChoose(*find, QStringLiteral("лазерный"), printer); });
    ASSERT_TRUE(TDeviceFindDG::Run(record.fieldByName("CmplIdDevice")));
    EXPECT_EQ(record.value("CmplIdDevice").toInt(), printer);
    EXPECT_TRUE(record.isEditing());
    EXPECT_EQ(keys(dmLookUp->taDevice), (QList<int>{pc, printer})) << "the devices of Бухгалтерия";
    EXPECT_EQ(
        PropertyStore(QStringLiteral("Device.Find")).read(QStringLiteral("edFind.<P>.Items")).toStringList(),
        QStringList{QStringLiteral("лазерный")});

    // Leaving without a choice changes nothing.
    record.cancel();
    onModal([&](QDialog &) { find->btExit->click(); });
    EXPECT_FALSE(TDeviceFindDG::Run(record.fieldByName("CmplIdDevice")));
    EXPECT_EQ(record.value("CmplIdDevice").toInt(), pc);
    EXPECT_TRUE(boxes.isEmpty());
}

TEST_F(PlacementDialogsTest, ControlsFollowTheTabOrder) {
    struct Case {
        QDialog *dialog;
        QStringList order;
    };
    const QVector<Case> cases = {
        {TDepartmentEditDG::Instance(), {"cbHight", "btFind", "edName", "edSynonym", "btSave", "btCancel"}},
        {TWorkplaceEditDG::Instance(),
         {"lcHigher", "edName", "edSynonym", "lcUser", "edPhone", "btCancel", "btSave", "btFind"}},
        {TDeviceEditDG::Instance(),
         {"lcWorkplace", "btFind", "lcKind", "edName", "edNumb", "edDepr", "edDomain", "cbUsed",
          "edPrevention", "cbPreventionExpress", "cbReport", "moDescription", "btSave", "btCancel",
          "DBCheckBoxEh1"}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.dialog->windowTitle().toStdString());
        QStringList seen;
        QWidget *w = c.dialog->findChild<QWidget *>(c.order.front());
        for (int i = 0; w && i < 500 && seen.size() < c.order.size(); ++i, w = w->nextInFocusChain())
            if (c.order.contains(w->objectName()) && (seen.isEmpty() || seen.back() != w->objectName()))
                seen << w->objectName();
        EXPECT_EQ(seen, c.order);
    }
    EXPECT_EQ(TDeviceEditDG::Instance()->btKind->focusPolicy(), Qt::NoFocus)
        << "the kind list button is no tab stop";
    const QStringList titles = {TDepartmentEditDG::Instance()->windowTitle(),
                                TWorkplaceEditDG::Instance()->windowTitle(),
                                TDeviceEditDG::Instance()->windowTitle()};
    EXPECT_EQ(titles, (QStringList{"Подразделение", "Рабочее место", "Устройство"}));
}

TEST(MonthYearText, NamesTheMonthAndTheYear) {
    const std::pair<QDate, QString> cases[] = {
        {QDate(2015, 3, 15), QStringLiteral("март 2015 года")},
        {QDate(1999, 12, 31), QStringLiteral("декабрь 1999 года")},
        {QDate(2000, 1, 1), QStringLiteral("январь 2000 года")},
        {QDate(2021, 5, 9), QStringLiteral("май 2021 года")},
        {QDate(7, 8, 1), QStringLiteral("август 7 года")},
        {QDate(), QString()},
    };
    for (const auto &[date, text] : cases)
        EXPECT_EQ(MonthYearText(date), text) << date.toString(Qt::ISODate).toStdString();
}

} // namespace
