// The kind and trademark dialogs over a real database, driven through the modal and message seams:
// the type the kind list shows, deleting, moving, adding under another type, finding, and the
// trademark list with its editor.
#include "AppTest.h"
#include "TestDatabase.h"
#include "data/DataSet.h"
#include "data/TessalADO.h"
#include "data/TessalDialog.h"
#include "data/dmTessalData.h"
#include "dialogs/dgKindEdit.h"
#include "dialogs/dgKindFind.h"
#include "dialogs/dgKindList.h"
#include "dialogs/dgTrademarkEdit.h"
#include "dialogs/dgTrademarkList.h"
#include "model/dmChainData.h"
#include "ui/DataControls.h"
#include "ui/DataGrid.h"
#include "ui/Seams.h"

#include <QComboBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QMap>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>

#include <memory>

namespace {

// No lookup module; modal dialogs are driven by the drivers registered under their object names.
class KindDialogTest : public AppTest {
protected:
    KindDialogTest() : AppTest({.lookup = false}) {}
    ModalHandler modalHandler() override {
        return [this](QDialog &d) {
            const auto drive = drivers.value(d.objectName());
            if (drive)
                drive(d);
            return d.result();
        };
    }
    void SetUp() override {
        AppTest::SetUp();
        if (HasFatalFailure())
            return;
        PropertyStore(QStringLiteral("Kind.Find")).write(QStringLiteral("edFind.<P>.Items"), QStringList());
    }
    void TearDown() override {
        target.reset();
        AppTest::TearDown();
    }
    // Inserts through another connection (a second workstation).
    static int insertInto(Connection &c, const QString &table, const QVariantMap &values) {
        return insertRow(c, table, values).toInt();
    }
    int kind(const QString &type, const QString &name, const QString &shortName = {}) {
        return insert("Kind", {{"KindType", type}, {"KindName", name}, {"ShortName", shortName}});
    }
    bool kindExists(int id) {
        return scalar("select count(*) from Kind where IdKind = :K", {{"K", id}}).toInt() == 1;
    }

    // Key by key, as a user types (QTest::keyClicks maps ASCII only).
    // What the next modal run of the dialog with that object name does.
    void onModal(const QString &dialog, std::function<void(QDialog &)> drive) {
        drivers[dialog] = std::move(drive);
    }

    // A record of another table with a key field, standing for the calling dialog's record.
    Field *targetField(const QString &command, int key, const QString &field) {
        target = std::make_unique<DataSet>(&cn());
        target->setCommand(command);
        OpenWithParams(*target, {TypedValue::Int(key)});
        return target->fieldByName(field);
    }

    TKindListDG *kindList() { return TKindListDG::Instance(); }
    int currentKind() { return kindList()->taKind->value("IdKind").toInt(); }
    QList<int> listedKinds() {
        QList<int> ids;
        DataSet *ds = kindList()->taKind;
        for (int r = 0; r < ds->recordCount(); ++r)
            ids << ds->valueAt(r, ds->fieldByName("IdKind")->index()).toInt();
        return ids;
    }

    QMap<QString, std::function<void(QDialog &)>> drivers;
    std::unique_ptr<DataSet> target;
};

// ---------------------------------------------------------------------------------------------
// Kind list

TEST_F(KindDialogTest, KindListShowsTheTypeOfTheKindItOpensOn) {
    const int disk = kind("H", "Диск");
    const int toner = kind("M", "Тонер");
    const int paper = kind("M", "Бумага");
    const int pc = kind("D", "Компьютер");
    struct Case {
        int id;
        QString type;
        int current;
    } cases[] = {
        {paper, "M: Материалы", paper},
        {disk, "H: Комплектующие", disk},
        {9999, "D: Устройства", pc}, // no such kind: the device kinds, the first one current
    };
    for (const Case &c : cases) {
        onModal("KindListDG", [&](QDialog &) {
            EXPECT_EQ(kindList()->cbType->currentText(), c.type) << c.id;
            EXPECT_EQ(currentKind(), c.current) << c.id;
        });
        EXPECT_FALSE(TKindListDG::Run(c.id, nullptr, "D"));
    }

    // -1 reopens on the kind that was current when the list was last closed, under its type.
    onModal("KindListDG", [&](QDialog &) {
        kindList()->taKind->locate("IdKind", toner);
        kindList()->btExit->click();
    });
    TKindListDG::Run(paper);
    onModal("KindListDG", [&](QDialog &) {
        EXPECT_EQ(kindList()->TypeLetter(), QStringLiteral("M"));
        EXPECT_EQ(currentKind(), toner);
    });
    TKindListDG::Run(-1);
    EXPECT_TRUE(boxes.isEmpty());
}

TEST_F(KindDialogTest, KindListTypeSelectorListsTheKindsOfThatType) {
    const int pc = kind("D", "Компьютер");
    const int disk = kind("H", "Диск");
    const int memory = kind("H", "Память");
    TKindListDG *dlg = kindList();
    onModal("KindListDG", [&](QDialog &) {
        ASSERT_EQ(dlg->cbType->count(), 4);
        EXPECT_EQ(dlg->cbType->itemText(0), QStringLiteral("D: Устройства"));
        EXPECT_EQ(dlg->cbType->itemText(1), QStringLiteral("H: Комплектующие"));
        EXPECT_EQ(dlg->cbType->itemText(2), QStringLiteral("M: Материалы"));
        EXPECT_EQ(dlg->cbType->itemText(3), QStringLiteral("S: Программы"));
        EXPECT_EQ(listedKinds(), QList<int>{pc});
        dlg->cbType->setCurrentIndex(1);
        EXPECT_EQ(listedKinds(), (QList<int>{disk, memory}));
        EXPECT_EQ(currentKind(), disk) << "the previous kind is not of this type: the first row";
        dlg->cbType->setCurrentIndex(3);
        EXPECT_TRUE(listedKinds().isEmpty());
    });
    TKindListDG::Run(pc);
    EXPECT_TRUE(boxes.isEmpty());
}

TEST_F(KindDialogTest, KindListOffersDeleteOnlyForAKindNothingUses) {
    const int withModel = kind("D", "Принтер");
    const int withDevice = kind("D", "Компьютер");
    const int unused = kind("D", "Сканер");
    insert("Model", {{"ModlKind", withModel}, {"ModlName", "HP 1020"}});
    const int dep = insert("Department", {{"DprtName", "Склад"}});
    const int wp = insert("Workplace", {{"WrkpIdDepartment", dep}, {"WrkpName", "Стол"}});
    insert("DeviceUnit", {{"DevcIdWorkplace", wp}, {"DevcName", "ПК"}, {"DevcIdKind", withDevice}});

    TKindListDG *dlg = kindList();
    onModal("KindListDG", [&](QDialog &) {
        const struct {
            int id;
            bool deletable;
        } cases[] = {{withModel, false}, {withDevice, false}, {unused, true}, {withModel, false}};
        for (const auto &c : cases) {
            ASSERT_TRUE(dlg->taKind->locate("IdKind", c.id));
            EXPECT_EQ(dlg->btDelete->isEnabled(), c.deletable) << c.id;
            EXPECT_TRUE(dlg->btEdit->isEnabled());
        }
        dlg->cbType->setCurrentIndex(3); // no programs
        EXPECT_FALSE(dlg->btDelete->isEnabled());
        EXPECT_FALSE(dlg->btEdit->isEnabled());
        EXPECT_TRUE(dlg->btInsert->isEnabled());
    });
    TKindListDG::Run(withModel);
}

TEST_F(KindDialogTest, KindListDeleteAsksFirstAndMovesToThePreviousKind) {
    for (const bool confirmed : {false, true}) {
        SCOPED_TRACE(confirmed ? "confirmed" : "cancelled");
        cn().execute("delete from Kind");
        boxes.clear();
        const int first = kind("S", "Офис");
        const int second = kind("S", "Антивирус");
        const int third = kind("S", "Браузер");
        const int fourth = kind("S", "Почта");
        answer = confirmed;
        TKindListDG *dlg = kindList();
        onModal("KindListDG", [&](QDialog &) { dlg->btDelete->click(); });
        TKindListDG::Run(third);

        ASSERT_EQ(texts(MessageKind::Warning), QStringList{QStringLiteral("Удалить «Браузер»?")});
        EXPECT_EQ(kindExists(third), !confirmed);
        EXPECT_EQ(listedKinds(), confirmed ? (QList<int>{first, second, fourth})
                                           : (QList<int>{first, second, third, fourth}));
        EXPECT_EQ(currentKind(), confirmed ? second : third);
        EXPECT_EQ(boxes.size(), 1);
    }

    // The first kind has no previous one: the new first row becomes current.
    cn().execute("delete from Kind");
    boxes.clear();
    answer = true;
    const int a = kind("H", "Диск");
    const int b = kind("H", "Память");
    onModal("KindListDG", [&](QDialog &) { kindList()->btDelete->click(); });
    TKindListDG::Run(a);
    EXPECT_FALSE(kindExists(a));
    EXPECT_EQ(currentKind(), b);
}

TEST_F(KindDialogTest, KindListReportsADeleteTheDatabaseRefusesAndKeepsTheKind) {
    const int first = kind("D", "Компьютер");
    const int printer = kind("D", "Принтер");
    const int last = kind("D", "Сканер");
    TKindListDG *dlg = kindList();
    onModal("KindListDG", [&](QDialog &) {
        ASSERT_TRUE(dlg->btDelete->isEnabled()) << "nothing used the kind when the list was read";
        // Another workstation gives the kind a model meanwhile.
        Connection other;
        other.open(url());
        insertInto(other, "Model", {{"ModlKind", printer}, {"ModlName", "HP 1020"}});
        other.close();

        dlg->btDelete->click();
        EXPECT_EQ(currentKind(), printer) << "the list stays on the kind";
        EXPECT_EQ(listedKinds(), (QList<int>{first, printer, last}));
        EXPECT_EQ(dlg->taKind->value("UsesModel").toInt(), 1) << "the list shows the new user";
        EXPECT_FALSE(dlg->btDelete->isEnabled());
    });
    TKindListDG::Run(printer);

    EXPECT_TRUE(kindExists(printer));
    EXPECT_EQ(texts(MessageKind::Warning), QStringList{QStringLiteral("Удалить «Принтер»?")});
    EXPECT_EQ(
        texts(MessageKind::Error),
        QStringList{QStringLiteral("Тип «Принтер» нельзя удалить: его уже используют модели, устройства или "
                                   "комплектующие.")});
    EXPECT_TRUE(texts(MessageKind::Exception).isEmpty());
}

TEST_F(KindDialogTest, KindListMovesAKindAndStaysOnIt) {
    struct Case {
        const char *what;
        int moved; // index of the kind moved
        const char *button;
        QList<int> order; // indexes of the kinds afterwards
    } cases[] = {
        {"middle up", 1, "btUp", {1, 0, 2}}, {"middle down", 1, "btDown", {0, 2, 1}},
        {"first up", 0, "btUp", {0, 1, 2}},  {"last down", 2, "btDown", {0, 1, 2}},
        {"last up", 2, "btUp", {0, 2, 1}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        cn().execute("delete from Kind");
        const QList<int> ids = {kind("D", "Компьютер"), kind("D", "Монитор"), kind("D", "Принтер")};
        kind("H", "Диск"); // another type is never mixed in
        TKindListDG *dlg = kindList();
        onModal("KindListDG", [&](QDialog &) {
            dlg->findChild<QPushButton *>(QString::fromLatin1(c.button))->click();
            QList<int> expected;
            for (int i : c.order)
                expected << ids[i];
            EXPECT_EQ(listedKinds(), expected);
            EXPECT_EQ(currentKind(), ids[c.moved]);
        });
        TKindListDG::Run(ids[c.moved]);
    }
    EXPECT_TRUE(boxes.isEmpty());
}

TEST_F(KindDialogTest, KindListMoveButtonsCarryTheirHints) {
    TKindListDG *dlg = kindList();
    EXPECT_EQ(dlg->btUp->toolTip(), QStringLiteral("Поднять на одну\nстрочку вверх"));
    EXPECT_EQ(dlg->btDown->toolTip(), QStringLiteral("Опустить на одну\nстрочку вниз"));
    EXPECT_EQ(dlg->windowTitle(), QStringLiteral("Тип устройств"));
    // Up and down on an empty type do nothing and show nothing.
    dlg->SelectType("S");
    dlg->Reload(-1);
    dlg->btUp->click();
    dlg->btDown->click();
    EXPECT_TRUE(boxes.isEmpty());
}

TEST_F(KindDialogTest, AddingAKindUnderAnotherTypeSwitchesTheList) {
    const int pc = kind("D", "Компьютер");
    kind("S", "Офис");
    TKindListDG *dlg = kindList();
    TKindEditDG *edit = TKindEditDG::Instance();
    onModal("KindEditDG", [&](QDialog &) {
        EXPECT_EQ(edit->cbType->currentText(), QStringLiteral("D: Устройства"))
            << "added under the list's type";
        EXPECT_EQ(edit->windowTitle(), QStringLiteral("Тип"));
        edit->cbType->setCurrentIndex(3);
        typeInto(edit->DBEdit1, QStringLiteral("Антивирус"));
        typeInto(edit->DBEdit2, QStringLiteral("АВ"));
        edit->btSave->click();
    });
    onModal("KindListDG", [&](QDialog &) {
        dlg->btInsert->click();
        EXPECT_EQ(dlg->cbType->currentText(), QStringLiteral("S: Программы"));
        EXPECT_EQ(dlg->taKind->value("KindName").toString(), QStringLiteral("Антивирус"));
        EXPECT_EQ(dlg->taKind->value("ShortName").toString(), QStringLiteral("АВ"));
        EXPECT_EQ(listedKinds().size(), 2);
    });
    TKindListDG::Run(pc);
    EXPECT_EQ(scalar("select KindType from Kind where KindName = 'Антивирус'").toString(),
              QStringLiteral("S"));
    EXPECT_TRUE(boxes.isEmpty());

    // Changing a kind's type moves the list along with it; a cancelled edit changes nothing.
    onModal("KindEditDG", [&](QDialog &) {
        edit->cbType->setCurrentIndex(1);
        edit->btSave->click();
    });
    onModal("KindListDG", [&](QDialog &) {
        dlg->btEdit->click();
        EXPECT_EQ(dlg->TypeLetter(), QStringLiteral("H"));
        EXPECT_EQ(currentKind(), pc);
    });
    TKindListDG::Run(pc);
    onModal("KindEditDG", [&](QDialog &) {
        edit->cbType->setCurrentIndex(2);
        edit->btCancel->click();
    });
    onModal("KindListDG", [&](QDialog &) {
        dlg->btEdit->click();
        EXPECT_EQ(dlg->TypeLetter(), QStringLiteral("H"));
        EXPECT_EQ(currentKind(), pc);
    });
    TKindListDG::Run(pc);
    EXPECT_EQ(scalar("select KindType from Kind where IdKind = :K", {{"K", pc}}).toString(),
              QStringLiteral("H"));
}

TEST_F(KindDialogTest, KindEditAsksForTheTypeAndTheNameAndKeepsWhatWasTyped) {
    TKindEditDG *edit = TKindEditDG::Instance();
    struct Case {
        const char *letter; // Run's type letter for the new kind
        const char *name;
        QString message;
    } cases[] = {
        {"*", "Сканер", QStringLiteral("Укажите вид: устройства, комплектующие, материалы или программы.")},
        {"D", "  ", QStringLiteral("Укажите наименование типа.")},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.letter);
        boxes.clear();
        onModal("KindEditDG", [&](QDialog &d) {
            EXPECT_EQ(edit->cbType->currentIndex(), KindTypes::indexOf(c.letter));
            typeInto(edit->DBEdit1, QString::fromUtf8(c.name));
            typeInto(edit->DBEdit2, QStringLiteral("Кр"));
            edit->btSave->click();
            EXPECT_EQ(texts(MessageKind::Error), QStringList{c.message});
            EXPECT_EQ(d.result(), QDialog::Rejected) << "the dialog stays open";
            EXPECT_EQ(edit->taData->value("ShortName").toString(), QStringLiteral("Кр"))
                << "nothing typed is lost";
            edit->btCancel->click();
        });
        EXPECT_FALSE(TKindEditDG::Run(-1, QString::fromLatin1(c.letter)));
    }
    EXPECT_EQ(scalar("select count(*) from Kind").toInt(), 0);
}

TEST_F(KindDialogTest, KindFindReturnsTheKeyAndTheListFollowsTheKindsType) {
    const int pc = kind("D", "Компьютер");
    const int toner = kind("M", "Тонер", "Тон");
    kind("M", "Бумага");
    TKindFindDG *find = TKindFindDG::Instance();
    auto chooseToner = [&](QDialog &) {
        typeInto(find->edFind->lineEdit(), QStringLiteral("Тонер"));
        find->flushFind();
        ASSERT_EQ(find->taFind->recordCount(), 1);
        find->btBack->click();
    };

    // The list's find button: the list switches to the materials, on the toner.
    TKindListDG *dlg = kindList();
    ASSERT_TRUE(dlg->btFind->isVisibleTo(dlg));
    onModal("KindFindDG", chooseToner);
    onModal("KindListDG", [&](QDialog &) {
        dlg->btFind->click();
        EXPECT_EQ(dlg->cbType->currentText(), QStringLiteral("M: Материалы"));
        EXPECT_EQ(currentKind(), toner);
    });
    TKindListDG::Run(pc);

    // Given a field, the find writes the chosen key into it.
    const int model = insert("Model", {{"ModlKind", pc}, {"ModlName", "Сборка"}});
    Field *f = targetField("select * from Model where IdModel = :ID", model, "ModlKind");
    onModal("KindFindDG", [&](QDialog &d) {
        find->edFind->lineEdit()->clear();
        chooseToner(d);
    });
    EXPECT_TRUE(TKindFindDG::Run(f));
    EXPECT_EQ(f->asInt(), toner);
    EXPECT_TRUE(target->isEditing());
    EXPECT_EQ(find->placeholder(), QStringLiteral("Наименование"));
    EXPECT_EQ(find->storFind.section(), QStringLiteral("Kind.Find"));
    EXPECT_TRUE(boxes.isEmpty());
}

TEST_F(KindDialogTest, KindListChoosesIntoTheCallersField) {
    const int pc = kind("D", "Компьютер");
    const int printer = kind("D", "Принтер");
    const int model = insert("Model", {{"ModlKind", pc}, {"ModlName", "Сборка"}});
    Field *f = targetField("select * from Model where IdModel = :ID", model, "ModlKind");
    TKindListDG *dlg = kindList();

    onModal("KindListDG", [&](QDialog &) { EXPECT_FALSE(dlg->btBack->isEnabled()) << "no field to fill"; });
    EXPECT_FALSE(TKindListDG::Run(pc));

    onModal("KindListDG", [&](QDialog &) {
        ASSERT_TRUE(dlg->btBack->isEnabled());
        dlg->taKind->locate("IdKind", printer);
        dlg->btBack->click();
    });
    EXPECT_TRUE(TKindListDG::Run(pc, f, "D"));
    EXPECT_EQ(f->asInt(), printer);
    EXPECT_TRUE(target->isEditing());
    target->post();
    EXPECT_EQ(scalar("select ModlKind from Model where IdModel = :M", {{"M", model}}).toInt(), printer);
}

// ---------------------------------------------------------------------------------------------
// Trademarks

TEST_F(KindDialogTest, TrademarkListAddsChangesChoosesAndDeletes) {
    const int hp = insert("Trademark", {{"Name", "HP"}});
    const int firm = insert("Client", {{"ClntNameFull", "Поставщик"}});
    Field *f = targetField("select * from Client where IdClient = :ID", firm, "Trademark");
    TTrademarkListDG *list = TTrademarkListDG::Instance();
    TTrademarkEditDG *edit = TTrademarkEditDG::Instance();
    auto names = [&] {
        QStringList out;
        for (int r = 0; r < list->taTrade->recordCount(); ++r)
            out << list->taTrade->valueAt(r, list->taTrade->fieldByName("Name")->index()).toString();
        return out;
    };

    onModal("TrademarkEditDG", [&](QDialog &) {
        EXPECT_EQ(edit->windowTitle(), QStringLiteral("Торговая марка"));
        typeInto(edit->DBEdit2, QStringLiteral("Canon"));
        edit->btSave->click();
    });
    onModal("TrademarkListDG", [&](QDialog &) {
        list->btInsert->click();
        EXPECT_EQ(names(), (QStringList{"Canon", "HP"})) << "by name";
        EXPECT_EQ(list->taTrade->value("Name").toString(), QStringLiteral("Canon")) << "on the new trademark";
        list->btBack->click();
    });
    EXPECT_EQ(TTrademarkListDG::Run(hp, f), QDialog::Accepted);
    const int canon = scalar("select ID from Trademark where Name = 'Canon'").toInt();
    EXPECT_EQ(f->asInt(), canon);
    target->post();

    // Renaming keeps the list on the renamed trademark, wherever the name sorts it.
    onModal("TrademarkEditDG", [&](QDialog &) {
        EXPECT_EQ(edit->DBEdit2->text(), QStringLiteral("Canon"));
        edit->DBEdit2->selectAll();
        typeInto(edit->DBEdit2, QStringLiteral("Xerox"));
        edit->btSave->click();
    });
    onModal("TrademarkListDG", [&](QDialog &) {
        EXPECT_EQ(list->taTrade->value("ID").toInt(), canon) << "-1 keeps the current trademark";
        list->btEdit->click();
        EXPECT_EQ(names(), (QStringList{"HP", "Xerox"}));
        EXPECT_EQ(list->taTrade->value("ID").toInt(), canon);
        EXPECT_EQ(list->taTrade->value("Ranking").toInt(), 1) << "one firm carries it";
    });
    EXPECT_EQ(TTrademarkListDG::Run(-1), QDialog::Rejected);

    // Deleting: the list's own question; cancelled nothing happens, confirmed the trademark goes.
    for (const bool confirmed : {false, true}) {
        boxes.clear();
        answer = confirmed;
        onModal("TrademarkListDG", [&](QDialog &) { list->btDelete->click(); });
        TTrademarkListDG::Run(hp);
        EXPECT_EQ(texts(MessageKind::Warning), QStringList{QStringLiteral("Вы хотите удалить \"HP\"?")});
        EXPECT_EQ(names(), confirmed ? QStringList{"Xerox"} : (QStringList{"HP", "Xerox"}));
        EXPECT_EQ(scalar("select count(*) from Trademark where ID = :T", {{"T", hp}}).toInt(),
                  confirmed ? 0 : 1);
    }

    // A trademark a firm carries is kept by the database: a clear message, the list unchanged.
    boxes.clear();
    onModal("TrademarkListDG", [&](QDialog &) { list->btDelete->click(); });
    TTrademarkListDG::Run(canon);
    EXPECT_EQ(texts(MessageKind::Error),
              QStringList{QStringLiteral(
                  "Торговую марку «Xerox» нельзя удалить, пока она указана у фирм (сейчас таких фирм: 1).")});
    EXPECT_EQ(names(), QStringList{"Xerox"});
    EXPECT_EQ(list->taTrade->value("ID").toInt(), canon);
    EXPECT_TRUE(texts(MessageKind::Exception).isEmpty());
}

TEST_F(KindDialogTest, TrademarkEditAsksForAName) {
    TTrademarkEditDG *edit = TTrademarkEditDG::Instance();
    onModal("TrademarkEditDG", [&](QDialog &d) {
        typeInto(edit->DBEdit2, QStringLiteral(" "));
        edit->btSave->click();
        EXPECT_EQ(d.result(), QDialog::Rejected) << "the dialog stays open";
        EXPECT_EQ(texts(MessageKind::Error),
                  QStringList{QStringLiteral("Укажите наименование торговой марки.")});
        edit->DBEdit2->selectAll();
        typeInto(edit->DBEdit2, QStringLiteral("Epson"));
        edit->btSave->click();
    });
    EXPECT_TRUE(TTrademarkEditDG::CheckRun(-1));
    EXPECT_EQ(scalar("select Name from Trademark").toString(), QStringLiteral("Epson"));
}

TEST_F(KindDialogTest, ListDialogsShowEveryColumnAtItsWidth) {
    kind("D", "Принтер", "Пр");
    insert("Trademark", {{"Name", "Epson"}});
    struct Case {
        const char *name;
        TBASEListDG *dialog;
        std::function<void()> reload;
        QMap<int, int> fixed; // column -> its width
        int stretched, atLeast;
    };
    const QVector<Case> cases = {
        {"kinds",
         TKindListDG::Instance(),
         [] { TKindListDG::Instance()->Reload(-1); },
         {{0, 137}, {2, 40}, {3, 40}},
         1,
         230},
        {"trademarks",
         TTrademarkListDG::Instance(),
         [] { TTrademarkListDG::Instance()->Reload(-1); },
         {{1, 52}},
         0,
         139},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        c.reload();
        c.dialog->show();
        QCoreApplication::processEvents();
        EXPECT_EQ(c.dialog->minimumSize(), c.dialog->maximumSize()) << "a fixed size";
        QHeaderView *header = c.dialog->grList->horizontalHeader();
        for (auto it = c.fixed.begin(); it != c.fixed.end(); ++it)
            EXPECT_EQ(header->sectionSize(it.key()), it.value()) << it.key();
        EXPECT_GE(header->sectionSize(c.stretched), c.atLeast);
        EXPECT_EQ(c.dialog->grList->horizontalScrollBar()->maximum(), 0) << "every column fits";
        c.dialog->hide();
    }
}

} // namespace
