// The base edit, list and find dialogs and the data-aware controls, over a real database: small
// concrete dialogs the way the catalogue dialogs build on the bases, driven through the modal seam.
#include "AppTest.h"
#include "TestDatabase.h"
#include "data/DataSet.h"
#include "data/Errors.h"
#include "data/TessalADO.h"
#include "data/TessalDialog.h"
#include "data/dmTessalData.h"
#include "dialogs/dgBaseEdit.h"
#include "dialogs/dgBaseFind.h"
#include "dialogs/dgBaseList.h"
#include "ui/DataControls.h"
#include "ui/DataGrid.h"
#include "ui/Seams.h"

#include <QCompleter>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QVBoxLayout>

#include <memory>

namespace {

const QString ConflictText = QStringLiteral(
    "Запись изменена или удалена другим пользователем. Обновите данные и повторите изменение.");
const QString FindHint = QStringLiteral("Наименование, дополнительные названия");

// An edit dialog as the catalogue dialogs make them: a command with the key as its parameter and
// controls in the content area; `ownSave` stands for a concrete save handler that ends with the base save.
class RecordEdit : public TBaseEditDG {
public:
    explicit RecordEdit(const QString &command) { taData->setCommand(command); }
    template <class Control> Control *add(Control *control, const char *name) {
        control->setObjectName(QString::fromLatin1(name));
        contentLayout()->addWidget(control);
        return control;
    }
    bool Run(int key, const std::function<void(DataSet &)> &preset = {}) { return runEdit(key, preset); }
    void btSaveClick() override {
        if (ownSave)
            ownSave();
        TBaseEditDG::btSaveClick();
    }
    std::function<void()> ownSave;
};

std::unique_ptr<RecordEdit> departmentEdit() {
    auto d = std::make_unique<RecordEdit>(QStringLiteral("select * from Department where IdDepartment =:ID"));
    d->add(new DBEdit(d->taData, QStringLiteral("DprtName")), "edName");
    d->add(new DBEdit(d->taData, QStringLiteral("Synonym")), "edSynonym");
    return d;
}

class DepartmentFind : public TBASEFindDG {
public:
    DepartmentFind() {
        setFindProcedure(QStringLiteral("FindDepartment;1"));
        setSection(QStringLiteral("Test.Find"));
        setPlaceholder(FindHint);
    }
    bool Run(Field *field) { return runFind(field); }
};

class DepartmentList : public TBASEListDG {
public:
    explicit DepartmentList(
        const QString &command = QStringLiteral("select * from Department order by IdDepartment")) {
        taDepart = new DataSet(&dmTessal->cnGeneral, this);
        taDepart->setCommand(command);
        taDepart->setReadOnly(true);
        setListDataSet(taDepart);
    }
    DataSet *taDepart;
};

// Boxes are answered yes; no chain or lookup module.
class BaseDialogTest : public AppTest {
protected:
    BaseDialogTest() : AppTest({.chain = false, .lookup = false}) {}
    void SetUp() override {
        AppTest::SetUp();
        if (HasFatalFailure())
            return;
        PropertyStore(QStringLiteral("Test.Find")).write(QStringLiteral("edFind.<P>.Items"), QStringList());
    }
    // Runs `drive` inside the next modal run of any dialog, then reports the dialog's result.
    void onModal(std::function<void(QDialog &)> drive) {
        SetModalHandler([drive = std::move(drive)](QDialog &d) {
            drive(d);
            return d.result();
        });
    }
    // Key by key, as a user types (Cyrillic too, which QTest::keyClicks cannot map to keys).
    QStringList exceptionTexts() const {
        QStringList out;
        for (const MessageRequest &r : boxes)
            if (r.kind == MessageKind::Exception)
                out << r.text;
        return out;
    }
};

// ---------------------------------------------------------------------------------------------
// Edit dialog

TEST_F(BaseDialogTest, EditOnAMissingKeyStartsANewRecordThatCanBeSavedAtOnce) {
    const int top = insert("Department", {{"DprtName", "Управление"}});
    std::unique_ptr<RecordEdit> dlg(departmentEdit());
    auto *edName = dlg->findChild<DBEdit *>(QStringLiteral("edName"));
    ASSERT_TRUE(edName);
    EXPECT_FALSE(dlg->btSave->isEnabled()) << "disabled until there is something to save";

    bool savedAtOnce = false;
    onModal([&](QDialog &) {
        savedAtOnce = dlg->btSave->isEnabled();
        EXPECT_EQ(dlg->taData->state(), DataSetState::Insert);
        EXPECT_EQ(dlg->taData->value("DprtIdHigher").toInt(), top);
        typeInto(edName, QStringLiteral("Склад"));
        dlg->btSave->click();
    });
    EXPECT_TRUE(dlg->Run(-1, [top](DataSet &ds) { ds.fieldByName("DprtIdHigher")->setValue(top); }));
    EXPECT_TRUE(savedAtOnce);
    const int id = dlg->taData->value("IdDepartment").toInt();
    EXPECT_GT(id, top) << "the new key is read back";
    EXPECT_EQ(scalar("select DprtName from Department where IdDepartment = :I", {{"I", id}}).toString(),
              QStringLiteral("Склад"));
    EXPECT_EQ(scalar("select DprtIdHigher from Department where IdDepartment = :I", {{"I", id}}).toInt(),
              top);
    EXPECT_FALSE(dlg->btSave->isEnabled());
    EXPECT_TRUE(boxes.isEmpty());
}

TEST_F(BaseDialogTest, EditStoresEmptiedAndEmptyTextsAsNull) {
    const int dep = insert("Department", {{"DprtName", "Склад"}, {"Synonym", "Основной"}});
    const int blank = insert("Department", {{"DprtName", "Архив"}, {"Synonym", ""}});
    std::unique_ptr<RecordEdit> dlg(departmentEdit());
    auto *edName = dlg->findChild<DBEdit *>(QStringLiteral("edName"));
    auto *edSynonym = dlg->findChild<DBEdit *>(QStringLiteral("edSynonym"));

    onModal([&](QDialog &) {
        EXPECT_EQ(edSynonym->text(), QStringLiteral("Основной"));
        EXPECT_FALSE(dlg->btSave->isEnabled()) << "an unchanged record has nothing to save";
        clearBox(edSynonym);
        EXPECT_TRUE(dlg->btSave->isEnabled()) << "the first change puts the record into editing";
        dlg->btSave->click();
    });
    ASSERT_TRUE(dlg->Run(dep));
    EXPECT_TRUE(
        scalar("select Synonym is null from Department where IdDepartment = :I", {{"I", dep}}).toBool());
    EXPECT_EQ(scalar("select DprtName from Department where IdDepartment = :I", {{"I", dep}}).toString(),
              QStringLiteral("Склад"));

    // A text that was already empty is stored as Null too, whichever field was changed.
    onModal([&](QDialog &) {
        typeInto(edName, QStringLiteral("ы"));
        dlg->btSave->click();
    });
    ASSERT_TRUE(dlg->Run(blank));
    EXPECT_TRUE(
        scalar("select Synonym is null from Department where IdDepartment = :I", {{"I", blank}}).toBool());
    EXPECT_EQ(scalar("select DprtName from Department where IdDepartment = :I", {{"I", blank}}).toString(),
              QStringLiteral("Архивы"));
    EXPECT_TRUE(boxes.isEmpty());
}

TEST_F(BaseDialogTest, EditFailedSaveKeepsTheDialogOpenWithEverythingTyped) {
    struct Case {
        const char *name;
        // Spoils the save after the user typed "Новое" and before "Записать" is pressed.
        std::function<void(RecordEdit &, int dep, Connection &other)> spoil;
        QString message;
        QString nameInDatabase; // what the database holds afterwards
        bool rowRemains = true;
    };
    const QVector<Case> cases = {
        {"a check before posting refuses",
         [](RecordEdit &d, int, Connection &) {
             d.taData->beforePost = [](DataSet &) { throw AppError(QStringLiteral("Operation aborted")); };
         },
         "Operation aborted.", "Склад"},
        {"the dialog's own save handler throws before the base save",
         [](RecordEdit &d, int, Connection &) {
             d.ownSave = [] { throw AppError(QStringLiteral("Укажите подразделение")); };
         },
         "Укажите подразделение.", "Склад"},
        {"another workstation saved the same department first",
         [](RecordEdit &, int dep, Connection &other) {
             std::unique_ptr<RecordEdit> first(departmentEdit());
             first->taData->setConnection(&other);
             OpenWithParams(*first->taData, {TypedValue::Int(dep)});
             typeInto(first->findChild<DBEdit *>(QStringLiteral("edName")), QStringLiteral("1"));
             first->btSave->click();
             EXPECT_EQ(first->result(), QDialog::Accepted);
         },
         ExceptionText(TBaseEditDG::ChangedMessage), "Склад1"},
        {"another workstation removed the department",
         [](RecordEdit &, int dep, Connection &other) {
             other.execute(QStringLiteral("delete from Department where IdDepartment = :I"), {{"I", dep}});
         },
         ExceptionText(TBaseEditDG::RemovedMessage), QString(), false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        boxes.clear();
        const int dep = insert("Department", {{"DprtName", "Склад"}});
        const int untouched = insert("Department", {{"DprtName", "Другое"}});
        Connection other;
        other.open(url());
        std::unique_ptr<RecordEdit> dlg(departmentEdit());
        auto *edName = dlg->findChild<DBEdit *>(QStringLiteral("edName"));
        onModal([&](QDialog &d) {
            QSignalSpy ended(&d, &QDialog::finished);
            clearBox(edName);
            typeInto(edName, QStringLiteral("Новое"));
            c.spoil(*dlg, dep, other);
            dlg->btSave->click();
            EXPECT_EQ(exceptionTexts(), QStringList{c.message});
            EXPECT_EQ(boxes.size(), 1);
            EXPECT_EQ(ended.count(), 0) << "the dialog stays open";
            EXPECT_TRUE(dlg->taData->isEditing()) << "the record is still being edited";
            EXPECT_TRUE(dlg->btSave->isEnabled()) << "and can be saved again";
            EXPECT_EQ(edName->text(), QStringLiteral("Новое")) << "what the user typed stays";
            dlg->btCancel->click();
        });
        EXPECT_FALSE(dlg->Run(dep));
        const QVariant stored =
            scalar("select DprtName from Department where IdDepartment = :I", {{"I", dep}});
        EXPECT_EQ(stored.isValid(), c.rowRemains);
        if (c.rowRemains) {
            EXPECT_EQ(stored.toString(), c.nameInDatabase);
        }
        EXPECT_EQ(
            scalar("select DprtName from Department where IdDepartment = :I", {{"I", untouched}}).toString(),
            QStringLiteral("Другое"));
    }
}

TEST_F(BaseDialogTest, EditCancelDropsTheChangesAndTheCloseBoxKeepsThemUntilTheNextRun) {
    const int dep = insert("Department", {{"DprtName", "Склад"}});
    std::unique_ptr<RecordEdit> dlg(departmentEdit());
    auto *edName = dlg->findChild<DBEdit *>(QStringLiteral("edName"));

    onModal([&](QDialog &) {
        typeInto(edName, QStringLiteral("ы"));
        dlg->btCancel->click();
    });
    EXPECT_FALSE(dlg->Run(dep));
    EXPECT_FALSE(dlg->taData->isEditing());
    EXPECT_EQ(edName->text(), QStringLiteral("Склад"));

    // The close box on a changed record asks first; "Отмена" there goes back to the dialog, which
    // stays open with the record as typed until the next Run reopens it.
    const SaveChangesHandler before =
        SetSaveChangesHandler([](QWidget *) { return SaveChangesAnswer::GoBack; });
    bool stillOpen = false;
    onModal([&](QDialog &d) {
        d.show();
        typeInto(edName, QStringLiteral("ы"));
        d.close(); // the close box
        stillOpen = d.isVisible();
        d.hide();
    });
    EXPECT_FALSE(dlg->Run(dep));
    SetSaveChangesHandler(before);
    EXPECT_TRUE(stillOpen);
    EXPECT_TRUE(dlg->taData->isEditing()) << "the close box does not run the cancel handler";

    bool showsDatabase = false;
    onModal([&](QDialog &) {
        showsDatabase = edName->text() == QStringLiteral("Склад") && !dlg->btSave->isEnabled();
    });
    EXPECT_FALSE(dlg->Run(dep));
    EXPECT_TRUE(showsDatabase) << "the next run reopens the record";
    EXPECT_EQ(scalar("select DprtName from Department where IdDepartment = :I", {{"I", dep}}).toString(),
              QStringLiteral("Склад"));
    EXPECT_TRUE(boxes.isEmpty());
}

// Escape and the close box end an unchanged dialog at once; on a changed one they ask "Сохранить
// изменения?": save (as "Записать"), discard (as "Отменить") or go back to the dialog.
TEST_F(BaseDialogTest, EditEscapeOrCloseBoxOnChangesAsksWhetherToSave) {
    const int dep = insert("Department", {{"DprtName", "Склад"}});
    std::unique_ptr<RecordEdit> dlg(departmentEdit());
    auto *edName = dlg->findChild<DBEdit *>(QStringLiteral("edName"));
    using A = SaveChangesAnswer;
    const struct {
        const char *what;
        bool escape; // else the close box
        QString typed;
        A answer;
        bool asked, saved, open;
        const char *stored;
    } cases[] = {
        {"escape, nothing changed", true, {}, A::Save, false, false, false, "Склад"},
        {"close box, nothing changed", false, {}, A::Save, false, false, false, "Склад"},
        {"escape, save", true, QStringLiteral(" 2"), A::Save, true, true, false, "Склад 2"},
        {"close box, save", false, QStringLiteral("3"), A::Save, true, true, false, "Склад 23"},
        {"escape, discard", true, QStringLiteral("4"), A::Discard, true, false, false, "Склад 23"},
        {"close box, discard", false, QStringLiteral("5"), A::Discard, true, false, false, "Склад 23"},
        {"escape, go back", true, QStringLiteral("6"), A::GoBack, true, false, true, "Склад 23"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        int asked = 0;
        const SaveChangesHandler before = SetSaveChangesHandler([&](QWidget *) {
            ++asked;
            return c.answer;
        });
        bool open = false;
        QString shown;
        onModal([&](QDialog &d) {
            d.show();
            if (!c.typed.isEmpty()) {
                edName->end(false);
                typeInto(edName, c.typed);
            }
            if (c.escape)
                QTest::keyClick(edName, Qt::Key_Escape);
            else
                d.close();
            open = d.isVisible();
            shown = edName->text();
            d.hide();
        });
        EXPECT_EQ(dlg->Run(dep), c.saved);
        SetSaveChangesHandler(before);
        EXPECT_EQ(asked, c.asked ? 1 : 0);
        EXPECT_EQ(open, c.open);
        if (c.open) {
            EXPECT_TRUE(shown.endsWith(c.typed)) << "what was typed stays";
        }
        EXPECT_EQ(scalar("select DprtName from Department where IdDepartment = :I", {{"I", dep}}).toString(),
                  QString::fromUtf8(c.stored));
    }
    // A new record, the first of its list: what was typed is a change too.
    int asked = 0;
    const SaveChangesHandler before = SetSaveChangesHandler([&](QWidget *) {
        ++asked;
        return SaveChangesAnswer::GoBack;
    });
    bool open = false;
    onModal([&](QDialog &d) {
        d.show();
        typeInto(edName, QStringLiteral("Бухгалтерия"));
        QTest::keyClick(edName, Qt::Key_Escape);
        open = d.isVisible();
        d.hide();
    });
    EXPECT_FALSE(dlg->Run(-1));
    SetSaveChangesHandler(before);
    EXPECT_EQ(asked, 1);
    EXPECT_TRUE(open);
    EXPECT_TRUE(boxes.isEmpty());
}

// Enter in a single-line box saves like "Записать"; in a multi-line box it starts a new line.
TEST_F(BaseDialogTest, EditEnterInASingleLineBoxSaves) {
    const int dep = insert("Department", {{"DprtName", "Склад"}});
    std::unique_ptr<RecordEdit> dlg(departmentEdit());
    auto *edName = dlg->findChild<DBEdit *>(QStringLiteral("edName"));
    auto *meSynonym = dlg->add(new DBMemo(dlg->taData, QStringLiteral("Synonym")), "meSynonym");
    const struct {
        const char *what;
        QWidget *box;
        bool saves;
    } cases[] = {{"one line", edName, true}, {"several lines", meSynonym, false}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        bool open = false;
        onModal([&](QDialog &d) {
            d.show();
            c.box->setFocus();
            typeInto(c.box, QStringLiteral("ы"));
            QTest::keyClick(c.box, Qt::Key_Return);
            open = d.isVisible();
            if (open)
                dlg->btCancel->click();
        });
        EXPECT_EQ(dlg->Run(dep), c.saves);
        EXPECT_EQ(open, !c.saves);
    }
    EXPECT_EQ(scalar("select DprtName from Department where IdDepartment = :I", {{"I", dep}}).toString(),
              QStringLiteral("Склады"));
    EXPECT_TRUE(scalar("select Synonym from Department where IdDepartment = :I", {{"I", dep}}).isNull());
    EXPECT_TRUE(boxes.isEmpty());
}

// A date box holding a day that does not exist refuses the save with a message, once, and keeps
// everything typed; corrected, the record saves.
TEST_F(BaseDialogTest, EditWithADateThatIsNoDateIsNotSavedAndKeepsTheText) {
    const int dep = insert("Department", {{"DprtName", "Цех"}});
    const int wp = insert("Workplace", {{"WrkpIdDepartment", dep}, {"WrkpName", "Мастер"}});
    const int pc = insert("DeviceUnit", {{"DevcIdWorkplace", wp}, {"DevcName", "ПК"}});
    RecordEdit dlg(QStringLiteral("select * from DeviceUnit where IdDevice = :ID"));
    auto *edName = dlg.add(new DBEdit(dlg.taData, QStringLiteral("DevcName")), "edName");
    auto *edDate = dlg.add(new DBDateEdit(dlg.taData, QStringLiteral("Prevention")), "edDate");
    bool open = false;
    QString name, date;
    onModal([&](QDialog &d) {
        d.show();
        edName->end(false);
        typeInto(edName, QStringLiteral(" 7"));
        edDate->setFocus();
        typeInto(edDate, QStringLiteral("31.02.2025"));
        QTest::keyClick(edDate, Qt::Key_Return); // leaves the box and asks to save
        dlg.btSave->click();
        open = d.isVisible();
        name = edName->text();
        date = edDate->text();
        clearBox(edDate);
        typeInto(edDate, QStringLiteral("28.02.2025"));
        dlg.btSave->click();
    });
    EXPECT_TRUE(dlg.Run(pc));
    EXPECT_TRUE(open);
    EXPECT_EQ(name, QStringLiteral("ПК 7"));
    EXPECT_EQ(date, QStringLiteral("31.02.2025"));
    ASSERT_EQ(boxes.size(), 1) << "one message for the one text";
    EXPECT_TRUE(boxes[0].text.contains(QStringLiteral("не дата")));
    EXPECT_EQ(
        scalar("select Prevention from DeviceUnit where IdDevice = :I", {{"I", pc}}).toDateTime().date(),
        QDate(2025, 2, 28));
    EXPECT_EQ(scalar("select DevcName from DeviceUnit where IdDevice = :I", {{"I", pc}}).toString(),
              QStringLiteral("ПК 7"));
}

TEST_F(BaseDialogTest, EditVisualSuspendsAndResumesTheControls) {
    const int dep = insert("Department", {{"DprtName", "Склад"}});
    std::unique_ptr<RecordEdit> dlg(departmentEdit());
    auto *edName = dlg->findChild<DBEdit *>(QStringLiteral("edName"));
    auto *laName = dlg->add(new DBText(dlg->taData, QStringLiteral("DprtName")), "laName");
    OpenWithParams(*dlg->taData, {TypedValue::Int(dep)});
    ASSERT_EQ(edName->text(), QStringLiteral("Склад"));

    EXPECT_TRUE(dlg->Visual());
    dlg->setVisual(false);
    dlg->setVisual(false); // the same value: nothing
    EnsureEditing(*dlg->taData);
    dlg->taData->fieldByName("DprtName")->setValue(QStringLiteral("Первое"));
    dlg->taData->fieldByName("DprtName")->setValue(QStringLiteral("Второе"));
    EXPECT_EQ(edName->text(), QStringLiteral("Склад")) << "suspended";
    EXPECT_FALSE(dlg->btSave->isEnabled());

    dlg->setVisual(true);
    EXPECT_FALSE(dlg->taData->controlsDisabled()) << "one resume for one suspension";
    EXPECT_EQ(edName->text(), QStringLiteral("Второе"));
    EXPECT_EQ(laName->text(), QStringLiteral("Второе"));
    EXPECT_TRUE(dlg->btSave->isEnabled());

    // A batch inside an edit that was already going on changes no state at all: the controls
    // must still show the values once resumed.
    dlg->setVisual(false);
    dlg->taData->fieldByName("DprtName")->setValue(QStringLiteral("Третье"));
    dlg->setVisual(true);
    EXPECT_EQ(edName->text(), QStringLiteral("Третье"));
    dlg->setVisual(true);
    EXPECT_FALSE(dlg->taData->controlsDisabled());
}

// ---------------------------------------------------------------------------------------------
// List dialog

TEST_F(BaseDialogTest, ListChooseNeedsATargetFieldAndAChooseHandler) {
    insert("Department", {{"DprtName", "Склад"}});
    DataSet target(&cn());
    target.setCommand(QStringLiteral("select * from Workplace"));
    target.open();
    target.append();
    Field *field = target.fieldByName("WrkpIdDepartment");

    struct Case {
        bool field, handler, enabled;
    };
    for (const Case &c : {Case{false, false, false}, Case{false, true, false}, Case{true, false, false},
                          Case{true, true, true}}) {
        SCOPED_TRACE(testing::Message() << "field " << c.field << ", handler " << c.handler);
        DepartmentList dlg;
        dlg.taDepart->open();
        if (c.handler)
            dlg.setChooseHandler([&dlg] { dlg.SetBackValue(dlg.taDepart->value("IdDepartment")); });
        EXPECT_FALSE(dlg.btBack->isEnabled()) << "disabled at start";
        dlg.setField(c.field ? field : nullptr);
        EXPECT_EQ(dlg.btBack->isEnabled(), c.enabled);
        dlg.setField(c.field ? field : nullptr); // the same again
        EXPECT_EQ(dlg.btBack->isEnabled(), c.enabled);
        dlg.setField(nullptr);
        EXPECT_FALSE(dlg.btBack->isEnabled());
    }
}

TEST_F(BaseDialogTest, ListChooseWritesTheCurrentKeyIntoTheTargetField) {
    insert("Department", {{"DprtName", "Склад"}});
    const int second = insert("Department", {{"DprtName", "Архив"}});
    const int dep = insert("Department", {{"DprtName", "Цех"}});
    const int wp = insert("Workplace", {{"WrkpIdDepartment", dep}, {"WrkpName", "Кассир"}});
    DataSet target(&cn());
    target.setCommand(QStringLiteral("select * from Workplace where IdWorkplace = :ID"));
    OpenWithParams(target, {TypedValue::Int(wp)});

    DepartmentList dlg;
    dlg.setChooseHandler([&dlg] { dlg.SetBackValue(dlg.taDepart->value("IdDepartment")); });
    dlg.setField(target.fieldByName("WrkpIdDepartment"));
    onModal([&](QDialog &) {
        dlg.taDepart->locate("IdDepartment", second);
        dlg.btBack->click();
    });
    dlg.taDepart->open();
    EXPECT_EQ(RunModal(dlg), QDialog::Accepted);
    EXPECT_EQ(target.state(), DataSetState::Edit) << "a browsing target is put into editing";
    EXPECT_EQ(target.value("WrkpIdDepartment").toInt(), second);
    EXPECT_EQ(dlg.rememberedKey(), second);
}

TEST_F(BaseDialogTest, ListButtonsFollowTheListDataSet) {
    DepartmentList dlg(
        QStringLiteral("select * from Department where DprtName like :N order by IdDepartment"));
    auto state = [&] {
        return QVector<bool>{dlg.btInsert->isEnabled(), dlg.btEdit->isEnabled(), dlg.btDelete->isEnabled()};
    };
    EXPECT_EQ(state(), (QVector<bool>{false, false, false})) << "closed";
    EXPECT_TRUE(dlg.btFind->isHidden());
    insert("Department", {{"DprtName", "Склад"}});
    OpenWithParams(*dlg.taDepart, {TypedValue::Text("нет такого")});
    EXPECT_EQ(state(), (QVector<bool>{true, false, false})) << "open and empty";
    OpenWithParams(*dlg.taDepart, {TypedValue::Text("%")});
    EXPECT_EQ(state(), (QVector<bool>{true, true, true})) << "open with rows";
    // A double click on a row is "Изменить".
    int edits = 0;
    QObject::connect(dlg.btEdit, &QPushButton::clicked, [&] { ++edits; });
    emit dlg.grList->doubleClicked(dlg.grList->model()->index(0, 0));
    EXPECT_EQ(edits, 1);
    dlg.taDepart->close();
    EXPECT_EQ(state(), (QVector<bool>{false, false, false})) << "closed again";
    emit dlg.grList->doubleClicked(dlg.grList->model()->index(0, 0));
    EXPECT_EQ(edits, 1) << "nothing to change";
}

TEST_F(BaseDialogTest, ListRemembersTheKeyOfTheCurrentRowOnEveryClose) {
    insert("Department", {{"DprtName", "Склад"}});
    const int b = insert("Department", {{"DprtName", "Архив"}});
    struct Case {
        const char *name;
        QString command;
        int row;
        int key;
    };
    const QVector<Case> cases = {
        {"a key", "select IdDepartment, DprtName from Department order by IdDepartment", 1, b},
        {"a first field that is no number", "select DprtName, IdDepartment from Department", 0, 0},
        {"no rows", "select IdDepartment, DprtName from Department where 1 = 0", -1, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        DepartmentList dlg(c.command);
        dlg.taDepart->open();
        dlg.taDepart->setRecNo(c.row);
        onModal([&](QDialog &d) {
            d.show();
            d.close(); // the close box ends with Cancel and remembers too
        });
        EXPECT_EQ(RunModal(dlg), QDialog::Rejected);
        EXPECT_EQ(dlg.rememberedKey(), c.key);
    }
}

// A catalogue list is the base configured: "Добавить" and "Изменить" run the edit dialog and
// stand on the key it saved, a delete asks first and stands on the row before, a delete the
// database refuses says why and keeps the row, a row that may not go cannot be deleted, and
// "Выбрать" writes the current key.
TEST_F(BaseDialogTest, ListCatalogueAddsChangesDeletesAndChooses) {
    const int a = insert("Department", {{"DprtName", "Архив"}});
    const int b = insert("Department", {{"DprtName", "Бухгалтерия"}});
    const int c = insert("Department", {{"DprtName", "Цех"}});
    const int wp = insert("Workplace", {{"WrkpIdDepartment", c}, {"WrkpName", "Кассир"}}); // keeps c
    DepartmentList dlg;
    QVariantList given; // the keys the edit dialog was opened on
    int saves = -1;     // the key the edit dialog saves; -1: it is cancelled
    ListCatalogue cat;
    cat.list = dlg.taDepart;
    cat.keyField = QStringLiteral("IdDepartment");
    cat.nameField = QStringLiteral("DprtName");
    cat.edit = [&](const QVariant &key) -> std::optional<QVariant> {
        given << key;
        return saves < 0 ? std::nullopt : std::optional<QVariant>(saves);
    };
    cat.remove = [](DataSet &list) {
        DeleteByKey(QStringLiteral("Department"), *list.fieldByName(QStringLiteral("IdDepartment")),
                    QStringLiteral("IdDepartment"));
    };
    cat.refusedText = QStringLiteral("Не удалось удалить «%1».\n%2");
    cat.nothingToChoose = QStringLiteral("Выбирать нечего");
    dlg.setCatalogue(cat);
    dlg.reloadList(b);
    const auto current = [&] { return dlg.taDepart->value("IdDepartment").toInt(); };
    ASSERT_EQ(current(), b);

    // Added elsewhere, as the edit dialog would: the list is read again and stands on it.
    saves = insert("Department", {{"DprtName", "Склад"}});
    dlg.btInsert->click();
    ASSERT_EQ(given.size(), 1);
    EXPECT_FALSE(given[0].isValid()) << "a new row";
    EXPECT_EQ(dlg.taDepart->recordCount(), 4);
    EXPECT_EQ(current(), saves);
    // A cancelled change moves nothing.
    dlg.taDepart->locate("IdDepartment", a);
    saves = -1;
    dlg.btEdit->click();
    EXPECT_EQ(given.value(1).toInt(), a);
    EXPECT_EQ(current(), a);

    struct Case {
        const char *what;
        int row;
        bool answer;
        int rowsAfter, currentAfter;
        QString box;
    } cases[] = {
        {"answered no", b, false, 4, b, QStringLiteral("Удалить «Бухгалтерия»?")},
        {"answered yes", b, true, 3, a, QStringLiteral("Удалить «Бухгалтерия»?")},
        {"refused: a workplace keeps it", c, true, 3, c, QStringLiteral("Не удалось удалить «Цех».")},
    };
    for (const Case &k : cases) {
        SCOPED_TRACE(k.what);
        boxes.clear();
        answer = k.answer;
        ASSERT_TRUE(dlg.taDepart->locate("IdDepartment", k.row));
        dlg.btDelete->click();
        EXPECT_EQ(dlg.taDepart->recordCount(), k.rowsAfter);
        EXPECT_EQ(current(), k.currentAfter);
        ASSERT_FALSE(boxes.isEmpty());
        EXPECT_TRUE(boxes.last().text.startsWith(k.box)) << boxes.last().text.toStdString();
    }
    EXPECT_EQ(scalar("select count(*) from Workplace where IdWorkplace = :W", {{"W", wp}}).toInt(), 1);

    // A row the catalogue keeps cannot be deleted; the others can.
    cat.canDelete = [c](const DataSet &list) { return list.value("IdDepartment").toInt() != c; };
    dlg.setCatalogue(cat);
    dlg.taDepart->locate("IdDepartment", c);
    EXPECT_FALSE(dlg.btDelete->isEnabled());
    boxes.clear();
    dlg.btDelete->click();
    EXPECT_TRUE(boxes.isEmpty()) << "not even asked";
    dlg.taDepart->locate("IdDepartment", a);
    EXPECT_TRUE(dlg.btDelete->isEnabled());

    // "Выбрать" writes the current key into the caller's field.
    DataSet target(&cn());
    target.setCommand(QStringLiteral("select * from Workplace where IdWorkplace = :ID"));
    OpenWithParams(target, {TypedValue::Int(wp)});
    dlg.setField(target.fieldByName("WrkpIdDepartment"));
    ASSERT_TRUE(dlg.btBack->isEnabled());
    dlg.btBack->click();
    EXPECT_EQ(target.value("WrkpIdDepartment").toInt(), a);
}

// ---------------------------------------------------------------------------------------------
// Find dialog

TEST_F(BaseDialogTest, FindSearchesOnAPauseInTypingAndAnEmptyBoxListsNothing) {
    insert("Department", {{"DprtName", "Бухгалтерия"}});
    insert("Department", {{"DprtName", "Склад"}});
    insert("Department", {{"DprtName", "Цех"}, {"Synonym", "Производство"}});
    DepartmentFind dlg;
    QLineEdit *box = dlg.edFind->lineEdit();
    int searches = 0; // opens of the find procedure's dataset
    QObject::connect(dlg.taFind, &DataSet::stateChanged, [&] {
        if (dlg.taFind->isActive())
            ++searches;
    });
    EXPECT_EQ(dlg.windowTitle(), QStringLiteral("Поиск"));
    EXPECT_EQ(dlg.size(), QSize(533, 369));
    EXPECT_EQ(dlg.edFind->toolTip(), FindHint);
    EXPECT_EQ(box->placeholderText(), FindHint);
    EXPECT_EQ(dlg.tmFind->interval(), TBASEFindDG::TypingPauseMs);

    onModal([&](QDialog &) {
        SCOPED_TRACE("shown with an empty box");
        EXPECT_EQ(box->text(), QString()) << "the hint is a placeholder, not text";
        EXPECT_TRUE(dlg.showsPlaceholder());
        EXPECT_EQ(searches, 0) << "nothing to search for";
        EXPECT_FALSE(HasRecords(*dlg.taFind));
        EXPECT_FALSE(dlg.btBack->isEnabled());

        typeInto(box, QStringLiteral("ск"));
        EXPECT_EQ(box->text(), QStringLiteral("ск")) << "typing never mixes with the placeholder";
        EXPECT_FALSE(dlg.showsPlaceholder());
        EXPECT_TRUE(dlg.findPending());
        EXPECT_EQ(searches, 0) << "no search while the user is typing";
        ASSERT_TRUE(QTest::qWaitFor([&] { return !dlg.findPending(); }));
        EXPECT_EQ(searches, 1) << "one search once the typing paused";
        EXPECT_EQ(dlg.taFind->recordCount(), 1);
        EXPECT_EQ(dlg.taFind->value("Name").toString(), QStringLiteral("Склад"));
        EXPECT_TRUE(dlg.btBack->isEnabled());

        typeInto(box, QStringLiteral("ыы"));
        dlg.flushFind();
        EXPECT_EQ(searches, 2);
        EXPECT_EQ(dlg.taFind->recordCount(), 0);
        EXPECT_FALSE(dlg.btBack->isEnabled()) << "nothing found, nothing to choose";

        clearBox(box);
        EXPECT_TRUE(dlg.showsPlaceholder());
        EXPECT_FALSE(dlg.findPending());
        EXPECT_FALSE(HasRecords(*dlg.taFind)) << "an emptied box lists nothing";
        typeInto(box, QStringLiteral("   "));
        dlg.flushFind();
        EXPECT_EQ(searches, 2) << "and calls no procedure, blanks alone neither";
        EXPECT_FALSE(dlg.btBack->isEnabled());

        clearBox(box);
        typeInto(box, QStringLiteral("произв"));
        dlg.flushFind();
        EXPECT_EQ(dlg.taFind->recordCount(), 1) << "further names are searched too";
    });
    EXPECT_FALSE(dlg.Run(nullptr));
    EXPECT_TRUE(boxes.isEmpty());
}

TEST_F(BaseDialogTest, FindShowsAtMostTheRowLimitAndSaysWhenThereWereMore) {
    cn().execute(
        QStringLiteral("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < %1) "
                       "INSERT INTO Department (DprtName) SELECT 'Отдел ' || i FROM n")
            .arg(FindRowLimit + 5));
    insert("Department", {{"DprtName", "Склад"}});
    DepartmentFind dlg;
    onModal([&](QDialog &) {
        dlg.edFind->setEditText(QStringLiteral("отдел"));
        dlg.flushFind();
        ASSERT_GT(dlg.taFind->recordCount(), FindRowLimit);
        EXPECT_FALSE(dlg.grList->isRowHidden(FindRowLimit - 1));
        for (int row = FindRowLimit; row < dlg.taFind->recordCount(); ++row)
            EXPECT_TRUE(dlg.grList->isRowHidden(row)) << row;
        EXPECT_FALSE(dlg.laMore->isHidden());
        EXPECT_EQ(dlg.laMore->text(), TBASEFindDG::MoreFoundText.arg(FindRowLimit));

        dlg.edFind->setEditText(QStringLiteral("склад"));
        dlg.flushFind();
        EXPECT_EQ(dlg.taFind->recordCount(), 1);
        EXPECT_TRUE(dlg.laMore->isHidden()) << "all found rows are shown";
    });
    dlg.Run(nullptr);
    EXPECT_TRUE(boxes.isEmpty());
}

TEST_F(BaseDialogTest, FindChoosesByDoubleClickOrEnterAsByTheButton) {
    const int first = insert("Department", {{"DprtName", "Склад 1"}});
    const int second = insert("Department", {{"DprtName", "Склад 2"}});
    RecordEdit workplace(QStringLiteral("SELECT * FROM Workplace WHERE IdWorkplace = :ID"));
    OpenWithParams(*workplace.taData, {TypedValue::Int(-1)});
    workplace.taData->append();
    Field *target = workplace.taData->fieldByName("WrkpIdDepartment");
    DepartmentFind dlg;
    struct Case {
        const char *name;
        std::function<void()> choose; // on the second found row
    };
    const Case cases[] = {
        {"double click", [&] { emit dlg.grList->doubleClicked(dlg.grList->model()->index(1, 0)); }},
        {"Enter on the list", [&] { QTest::keyClick(dlg.grList, Qt::Key_Return); }},
        {"Enter in the box once the search ran",
         [&] { QTest::keyClick(dlg.edFind->lineEdit(), Qt::Key_Enter); }},
        {"the button", [&] { dlg.btBack->click(); }},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        target->clear();
        onModal([&](QDialog &) {
            dlg.edFind->setEditText(QStringLiteral("склад"));
            dlg.flushFind();
            dlg.taFind->setRecNo(1);
            c.choose();
        });
        EXPECT_TRUE(dlg.Run(target));
        EXPECT_EQ(target->asInt(), second);
    }
    // Enter while the search has not run yet runs it first and chooses nothing yet.
    onModal([&](QDialog &d) {
        dlg.edFind->setEditText(QStringLiteral("склад 1"));
        ASSERT_TRUE(dlg.findPending());
        QTest::keyClick(dlg.edFind->lineEdit(), Qt::Key_Return);
        EXPECT_FALSE(dlg.findPending());
        EXPECT_EQ(d.result(), QDialog::Rejected) << "not chosen yet";
        QTest::keyClick(dlg.edFind->lineEdit(), Qt::Key_Return);
    });
    EXPECT_TRUE(dlg.Run(target));
    EXPECT_EQ(target->asInt(), first);
    EXPECT_TRUE(boxes.isEmpty());
}

TEST_F(BaseDialogTest, FindHistoryKeepsTheNewest16InTheOrderFirstChosen) {
    for (int i = 1; i <= 17; ++i)
        insert("Department", {{"DprtName", QStringLiteral("Отдел %1").arg(i)}});
    QStringList chosen;
    for (int i = 1; i <= 17; ++i)
        chosen << QStringLiteral("Отдел %1").arg(i);

    {
        DepartmentFind dlg;
        auto choose = [&](const QString &text) {
            dlg.edFind->setEditText(text);
            dlg.flushFind();
            ASSERT_TRUE(dlg.btBack->isEnabled()) << text.toStdString();
            dlg.btBack->click();
            EXPECT_EQ(dlg.result(), QDialog::Accepted);
        };
        for (const QString &t : chosen)
            choose(t);
        EXPECT_EQ(dlg.history(), chosen.mid(1)) << "the oldest line gave way";

        choose(QStringLiteral("Отдел 5"));
        choose(QStringLiteral("  отдел 9 "));
        EXPECT_EQ(dlg.history(), chosen.mid(1)) << "texts already there keep their place";
        EXPECT_EQ(dlg.edFind->currentText(), QStringLiteral("  отдел 9 "))
            << "the search text stays in the box";
    }

    // Stored on close, read again when a dialog of the same section is shown.
    DepartmentFind again;
    QStringList shown;
    onModal([&](QDialog &) { shown = again.history(); });
    again.Run(nullptr);
    EXPECT_EQ(shown, chosen.mid(1));
    EXPECT_TRUE(boxes.isEmpty());
}

TEST_F(BaseDialogTest, FindSharedByTwoEditDialogsFillsEachOnesOwnField) {
    const int top = insert("Department", {{"DprtName", "Управление"}});
    const int shop = insert("Department", {{"DprtName", "Цех"}});
    DepartmentFind find;

    std::unique_ptr<RecordEdit> department(departmentEdit());
    auto *btFindHigher = department->add(new QPushButton, "btFind");
    RecordEdit workplace(QStringLiteral("SELECT * FROM Workplace WHERE IdWorkplace = :ID"));
    workplace.add(new DBEdit(workplace.taData, QStringLiteral("WrkpName")), "edName");
    auto *btFindDepartment = workplace.add(new QPushButton, "btFind");

    // Each dialog's button opens the one find dialog with its own field.
    QObject::connect(btFindHigher, &QPushButton::clicked,
                     [&] { find.Run(department->taData->fieldByName("DprtIdHigher")); });
    QObject::connect(btFindDepartment, &QPushButton::clicked,
                     [&] { find.Run(workplace.taData->fieldByName("WrkpIdDepartment")); });

    int wanted = 0;
    SetModalHandler([&](QDialog &d) {
        if (&d == &find) {
            find.edFind->setEditText(wanted == top ? QStringLiteral("управ") : QStringLiteral("цех"));
            find.flushFind();
            EXPECT_EQ(find.taFind->value("ID").toInt(), wanted);
            find.btBack->click();
        } else {
            auto &edit = static_cast<RecordEdit &>(d);
            typeInto(edit.findChild<DBEdit *>(QStringLiteral("edName")), QStringLiteral("Новый"));
            edit.findChild<QPushButton *>(QStringLiteral("btFind"))->click();
            edit.btSave->click();
        }
        return d.result();
    });

    wanted = top;
    ASSERT_TRUE(department->Run(-1));
    const int newDepartment = department->taData->value("IdDepartment").toInt();
    EXPECT_EQ(
        scalar("select DprtIdHigher from Department where IdDepartment = :I", {{"I", newDepartment}}).toInt(),
        top);
    wanted = shop;
    ASSERT_TRUE(workplace.Run(-1, [](DataSet &ds) { ds.fieldByName("WrkpIdDepartment")->setValue(0); }));
    wanted = shop;
    ASSERT_TRUE(department->Run(newDepartment)) << "the department dialog again, after the workplace dialog";

    EXPECT_EQ(
        scalar("select DprtIdHigher from Department where IdDepartment = :I", {{"I", newDepartment}}).toInt(),
        shop);
    EXPECT_EQ(scalar("select WrkpIdDepartment from Workplace where WrkpName = 'Новый'").toInt(), shop);
    EXPECT_EQ(find.history(), (QStringList{"управ", "цех"}));
    EXPECT_TRUE(boxes.isEmpty());
}

TEST_F(BaseDialogTest, FindFailureIsShownAndLeavesTheListEmpty) {
    insert("Department", {{"DprtName", "Склад"}});
    DepartmentFind dlg;
    dlg.setFindProcedure(QStringLiteral("NoSuchFind;1"));
    onModal([&](QDialog &) {
        typeInto(dlg.edFind->lineEdit(), QStringLiteral("с"));
        dlg.flushFind();
        EXPECT_FALSE(dlg.taFind->isActive());
        EXPECT_FALSE(dlg.btBack->isEnabled());
    });
    EXPECT_FALSE(dlg.Run(nullptr));
    EXPECT_EQ(exceptionTexts().size(), 1) << "the typed character; an empty box searches nothing";
}

// ---------------------------------------------------------------------------------------------
// Data-aware controls

TEST_F(BaseDialogTest, ControlTextsFollowTheRecordAndNeverExceedTheField) {
    insert("Department", {{"DprtName", "Склад"}, {"Synonym", "Основной"}});
    insert("Department", {{"DprtName", "Архив"}});
    DataSet ds(&cn());
    ds.setCommand(QStringLiteral("select * from Department order by IdDepartment"));
    DBEdit edName(&ds, QStringLiteral("DprtName"));
    DBText laName(&ds, QStringLiteral("DprtName"));
    DBMemo moSynonym(&ds, QStringLiteral("Synonym"));
    EXPECT_TRUE(edName.text().isEmpty()) << "bound while the dataset is closed";
    EXPECT_TRUE(edName.isReadOnly());

    ds.open();
    EXPECT_EQ(edName.text(), QStringLiteral("Склад"));
    EXPECT_EQ(laName.text(), QStringLiteral("Склад"));
    EXPECT_EQ(moSynonym.toPlainText(), QStringLiteral("Основной"));
    EXPECT_FALSE(edName.isReadOnly());
    EXPECT_EQ(edName.maxLength(), 100);

    ds.next();
    EXPECT_EQ(edName.text(), QStringLiteral("Архив"));
    EXPECT_EQ(moSynonym.toPlainText(), QString());

    typeInto(&edName, QStringLiteral("ы"));
    EXPECT_EQ(ds.state(), DataSetState::Edit);
    EXPECT_EQ(ds.value("DprtName").toString(), QStringLiteral("Архивы"));
    EXPECT_EQ(laName.text(), QStringLiteral("Архивы"));
    ds.cancel();
    EXPECT_EQ(edName.text(), QStringLiteral("Архив"));

    // Reopened: new fields behind the same names.
    ds.close();
    EXPECT_TRUE(edName.text().isEmpty());
    ds.open();
    ds.last();
    typeInto(&moSynonym, QStringLiteral("Старый"));
    ds.post();
    EXPECT_EQ(scalar("select Synonym from Department where DprtName = 'Архив'").toString(),
              QStringLiteral("Старый"));

    // Nothing longer than the field, whether typed or pasted.
    struct Limit {
        const char *field;
        int size;
    };
    for (const Limit &l : {Limit{"DprtName", 100}, Limit{"Synonym", 150}}) {
        SCOPED_TRACE(l.field);
        DBEdit edit(&ds, QString::fromLatin1(l.field));
        DBMemo memo(&ds, QString::fromLatin1(l.field));
        EXPECT_EQ(edit.maxLength(), l.size);
        ds.first();
        clearBox(&edit);
        typeInto(&edit, QString(l.size + 3, u'я'));
        EXPECT_EQ(ds.value(QString::fromLatin1(l.field)).toString().size(), l.size);
        memo.selectAll();
        memo.insertPlainText(QString(l.size + 20, u'ю'));
        EXPECT_EQ(memo.toPlainText().size(), l.size);
        EXPECT_EQ(ds.value(QString::fromLatin1(l.field)).toString(), QString(l.size, u'ю'));
        ds.cancel();
    }
    EXPECT_TRUE(boxes.isEmpty());
}

TEST_F(BaseDialogTest, ControlAmountsAreEditedWithTheDecimalComma) {
    const int dep = insert("Department", {{"DprtName", "Цех"}});
    const int wp = insert("Workplace", {{"WrkpIdDepartment", dep}, {"WrkpName", "Мастер"}});
    const int pc = insert("DeviceUnit", {{"DevcIdWorkplace", wp}, {"DevcName", "ПК"}});
    const int kind = insert("Kind", {{"KindType", "H"}, {"KindName", "Диск"}});
    const int model = insert("Model", {{"ModlKind", kind}, {"ModlName", "WD"}, {"ModlNumber", "WD"}});
    const int el = insert("CompleteSet", {{"CmplIdDevice", pc}, {"CmplIdModel", model}, {"ModelKind", kind}});
    DataSet ds(&cn());
    ds.setCommand(QStringLiteral("select * from CompleteSet where IdComponent = :ID"));
    DBEdit price(&ds, QStringLiteral("Price"));
    const struct {
        const char *stored, *shown;
    } cases[] = {{"5400.5", "5400,50"}, {"0", "0,00"}, {"-12.3456", "-12,3456"}, {"7.1200", "7,12"}};
    for (const auto &c : cases) {
        cn().execute("update CompleteSet set Price = :P where IdComponent = :E",
                     {{"P", c.stored}, {"E", el}});
        OpenWithParams(ds, {TypedValue::Int(el)});
        EXPECT_EQ(price.text(), QString::fromLatin1(c.shown)) << c.stored;
    }
    clearBox(&price);
    typeInto(&price, QStringLiteral("1234,5"));
    ds.post();
    EXPECT_EQ(Money::toUnits(scalar("select Price from CompleteSet where IdComponent = :E", {{"E", el}})),
              12345000);
}

TEST_F(BaseDialogTest, ControlCheckBoxAndDateStoreValuesAndNull) {
    const int dep = insert("Department", {{"DprtName", "Цех"}});
    const int wp = insert("Workplace", {{"WrkpIdDepartment", dep}, {"WrkpName", "Мастер"}});
    const int pc = insert("DeviceUnit", {{"DevcIdWorkplace", wp}, {"DevcName", "ПК"}});
    DataSet ds(&cn());
    ds.setCommand(QStringLiteral("select * from DeviceUnit where IdDevice = :ID"));
    DBCheckBox cbReport(&ds, QStringLiteral("DevcPrinting"), QStringLiteral("Отчёт"));
    DBDateEdit edPrevention(&ds, QStringLiteral("Prevention"));
    OpenWithParams(ds, {TypedValue::Int(pc)});

    EXPECT_FALSE(cbReport.isChecked()) << "Null shows unchecked";
    EXPECT_TRUE(edPrevention.text().isEmpty()) << "Null shows an empty box";
    EXPECT_EQ(edPrevention.placeholderText(), QStringLiteral("—"));
    EXPECT_FALSE(edPrevention.date().isValid());
    EXPECT_EQ(ds.state(), DataSetState::Browse);

    cbReport.click();
    EXPECT_EQ(ds.state(), DataSetState::Edit);
    EXPECT_EQ(ds.value("DevcPrinting"), QVariant(true));

    typeInto(&edPrevention, QStringLiteral("5.3.2015"));
    QTest::keyClick(&edPrevention, Qt::Key_Return);
    EXPECT_EQ(ds.value("Prevention").toDateTime(), QDateTime(QDate(2015, 3, 5), QTime(0, 0)));
    EXPECT_EQ(edPrevention.text(), QStringLiteral("05.03.2015"));

    clearBox(&edPrevention);
    EXPECT_TRUE(ds.value("Prevention").isNull()) << "emptying the box stored Null";
    typeInto(&edPrevention, QStringLiteral("31.02.2015"));
    QTest::keyClick(&edPrevention, Qt::Key_Return);
    EXPECT_TRUE(ds.value("Prevention").isNull()) << "no such day: nothing is stored";
    EXPECT_EQ(edPrevention.text(), QStringLiteral("31.02.2015")) << "the text stays to be corrected";
    ASSERT_EQ(boxes.size(), 1);
    EXPECT_EQ(boxes[0].kind, MessageKind::Error);
    EXPECT_TRUE(boxes[0].text.contains(QStringLiteral("«31.02.2015» — не дата")))
        << boxes[0].text.toStdString();
    QTest::keyClick(&edPrevention, Qt::Key_Return);
    EXPECT_EQ(boxes.size(), 1) << "said once for one text";
    boxes.clear();
    clearBox(&edPrevention);
    ds.post();
    EXPECT_EQ(scalar("select DevcPrinting from DeviceUnit where IdDevice = :I", {{"I", pc}}).toInt(), 1);
    EXPECT_TRUE(
        scalar("select Prevention is null from DeviceUnit where IdDevice = :I", {{"I", pc}}).toBool());

    edPrevention.setDate(QDate(2020, 12, 31)); // picked from the calendar
    cbReport.click();
    ds.post();
    OpenWithParams(ds, {TypedValue::Int(pc)});
    EXPECT_EQ(edPrevention.date(), QDate(2020, 12, 31));
    EXPECT_FALSE(cbReport.isChecked());
    edPrevention.clearDate();
    EXPECT_EQ(ds.state(), DataSetState::Edit) << "Null from a browsing record puts it into editing";
    ds.post();
    EXPECT_TRUE(
        scalar("select Prevention is null from DeviceUnit where IdDevice = :I", {{"I", pc}}).toBool());
    EXPECT_TRUE(boxes.isEmpty());
}

TEST_F(BaseDialogTest, ControlNumberEditTakesOnlyNumbersAndStoresNullForAnEmptyBox) {
    const int dep = insert("Department", {{"DprtName", "Цех"}});
    const int wp = insert("Workplace", {{"WrkpIdDepartment", dep}, {"WrkpName", "Мастер"}});
    const int pc = insert("DeviceUnit", {{"DevcIdWorkplace", wp}, {"DevcName", "ПК"}, {"Used", 1}});
    DataSet ds(&cn());
    ds.setCommand(QStringLiteral("select * from DeviceUnit where IdDevice = :ID"));
    DBEdit edUsed(&ds, QStringLiteral("Used")); // smallint
    OpenWithParams(ds, {TypedValue::Int(pc)});
    EXPECT_EQ(edUsed.text(), QStringLiteral("1"));

    clearBox(&edUsed);
    EXPECT_TRUE(ds.value("Used").isNull()) << "an empty box is Null, not 0";
    typeInto(&edUsed, QStringLiteral("-x1"));
    EXPECT_EQ(edUsed.text(), QStringLiteral("-1"));
    EXPECT_EQ(ds.value("Used"), QVariant(-1));
    clearBox(&edUsed);
    typeInto(&edUsed, QStringLiteral("70000"));
    EXPECT_EQ(edUsed.text(), QStringLiteral("7000")) << "beyond a smallint";
    ds.post();
    EXPECT_EQ(scalar("select Used from DeviceUnit where IdDevice = :I", {{"I", pc}}).toInt(), 7000);
    EXPECT_TRUE(boxes.isEmpty());
}

class LookupControlTest : public BaseDialogTest {
protected:
    void SetUp() override {
        BaseDialogTest::SetUp();
        account = insert("Department", {{"DprtName", "Бухгалтерия"}});
        store = insert("Department", {{"DprtName", "Склад"}});
        shop = insert("Department", {{"DprtName", "Цех"}});
        wp = insert("Workplace", {{"WrkpIdDepartment", store}, {"WrkpName", "Кладовщик"}});
        list = std::make_unique<DataSet>(&cn());
        list->setCommand(QStringLiteral("select IdDepartment as ID, DprtName as Name from Department "
                                        "where IdDepartment <> :Hidden order by DprtName"));
        data = std::make_unique<DataSet>(&cn());
        data->setCommand(QStringLiteral("select * from Workplace where IdWorkplace = :ID"));
        combo = std::make_unique<DBLookupCombo>(data.get(), QStringLiteral("WrkpIdDepartment"));
        combo->setListSource(list.get());
        OpenWithParams(*list, {TypedValue::Int(0)});
        OpenWithParams(*data, {TypedValue::Int(wp)});
    }
    void TearDown() override {
        combo.reset();
        data.reset();
        list.reset();
        BaseDialogTest::TearDown();
    }
    int account = 0, store = 0, shop = 0, wp = 0;
    std::unique_ptr<DataSet> list, data;
    std::unique_ptr<DBLookupCombo> combo;
};

TEST_F(LookupControlTest, ControlLookupShowsTheTextOfItsKeyAndTheListFollows) {
    EXPECT_EQ(combo->currentText(), QStringLiteral("Склад"));
    EXPECT_EQ(list->value("ID").toInt(), store) << "the list's current row follows the selector";

    OpenWithParams(*list, {TypedValue::Int(store)});
    EXPECT_EQ(combo->currentIndex(), -1) << "a key the list does not hold shows no text";
    EXPECT_EQ(combo->currentText(), QString());

    OpenWithParams(*list, {TypedValue::Int(0)});
    EXPECT_EQ(combo->currentText(), QStringLiteral("Склад")) << "the reopened list shows it again";

    EnsureEditing(*data);
    data->fieldByName("WrkpIdDepartment")->setValue(shop);
    EXPECT_EQ(combo->currentText(), QStringLiteral("Цех"));
    EXPECT_EQ(list->value("ID").toInt(), shop);
    data->cancel();
    EXPECT_EQ(combo->currentText(), QStringLiteral("Склад"));
    EXPECT_EQ(data->state(), DataSetState::Browse) << "showing values writes nothing";
}

TEST_F(LookupControlTest, ControlLookupWritesTheChosenKeyAndDeleteEmptiesIt) {
    combo->choose(combo->findText(QStringLiteral("Бухгалтерия")));
    EXPECT_EQ(data->state(), DataSetState::Edit);
    EXPECT_EQ(data->value("WrkpIdDepartment").toInt(), account);
    EXPECT_EQ(list->value("ID").toInt(), account);

    QTest::keyClick(combo.get(), Qt::Key_Delete);
    EXPECT_EQ(data->value("WrkpIdDepartment").toInt(), account) << "clearing is off unless enabled";
    combo->setClearOnDelete(true);
    QTest::keyClick(combo.get(), Qt::Key_Delete);
    EXPECT_TRUE(data->value("WrkpIdDepartment").isNull());
    EXPECT_EQ(combo->currentIndex(), -1);

    // Typing to search: the drop-down offers what contains the text, whatever its case; the
    // complete name, in any case, chooses its row.
    combo->setSearchEnabled(true);
    QLineEdit *box = combo->lineEdit();
    ASSERT_TRUE(box);
    combo->completer()->setCompletionPrefix(QStringLiteral("КЛА"));
    EXPECT_EQ(combo->completer()->completionCount(), 1);
    EXPECT_EQ(combo->completer()->currentCompletion(), QStringLiteral("Склад"));
    typeInto(box, QStringLiteral("цех"));
    emit box->editingFinished();
    EXPECT_EQ(data->value("WrkpIdDepartment").toInt(), shop);
    EXPECT_EQ(box->text(), QStringLiteral("Цех"));
    // What the box shows by itself does not narrow the list; what is typed does.
    box->selectAll();
    QTest::keyClick(box, Qt::Key_Backspace);
    typeInto(box, QStringLiteral("кла"));
    EXPECT_EQ(combo->completer()->completionPrefix(), QStringLiteral("кла"));
    EXPECT_EQ(combo->completer()->completionCount(), 1);
    emit box->editingFinished();
    EXPECT_EQ(box->text(), QStringLiteral("Цех"));

    typeInto(box, QStringLiteral("абв"));
    QTest::keyClick(box, Qt::Key_Delete); // edits the typed text, not the field
    EXPECT_EQ(data->value("WrkpIdDepartment").toInt(), shop);
    emit box->editingFinished();
    EXPECT_EQ(box->text(), QStringLiteral("Цех")) << "a text that names no row gives way";
    QTest::keyClick(box, Qt::Key_Delete);
    EXPECT_TRUE(data->value("WrkpIdDepartment").isNull());
    EXPECT_TRUE(boxes.isEmpty());
}

} // namespace
