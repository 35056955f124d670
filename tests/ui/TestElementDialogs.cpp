// The element, move, model, firm and document dialogs over a real database, driven through the
// modal and message seams: how the kind and model boxes follow each other, moving an element (by
// the dialogs and by dragging it onto a device) with its history, the firm short name, model names,
// the document date search and the lists' positioning after a change.
#include "AppTest.h"
#include "TestDatabase.h"
#include "data/DataSet.h"
#include "data/TessalADO.h"
#include "data/TessalDialog.h"
#include "dialogs/dgDocumentEdit.h"
#include "dialogs/dgDocumentKindEdit.h"
#include "dialogs/dgDocumentKindList.h"
#include "dialogs/dgDocumentList.h"
#include "dialogs/dgElementEdit.h"
#include "dialogs/dgElementMoveEdit.h"
#include "dialogs/dgElementMoveList.h"
#include "dialogs/dgFirmEdit.h"
#include "dialogs/dgFirmList.h"
#include "dialogs/dgKindEdit.h"
#include "dialogs/dgKindList.h"
#include "dialogs/dgModelEdit.h"
#include "dialogs/dgModelFind.h"
#include "dialogs/dgModelList.h"
#include "dialogs/dgTrademarkEdit.h"
#include "dialogs/dgTrademarkList.h"
#include "model/dmChainData.h"
#include "placement/ElementDrag.h"
#include "placement/fmLayout.h"
#include "server/Schema.h"
#include "ui/DataControls.h"
#include "ui/DataGrid.h"
#include "ui/Seams.h"

#include <QApplication>
#include <QComboBox>
#include <QDateEdit>
#include <QDropEvent>
#include <QHeaderView>
#include <QLineEdit>
#include <QMap>
#include <QMimeData>
#include <QPushButton>
#include <QTest>
#include <QTreeView>

#include <memory>

namespace {

// What the user typing a whole text into a box amounts to.
void typeText(QLineEdit *box, const QString &text) {
    box->setText(text);
    emit box->textEdited(text);
}

// Modal dialogs are driven by the drivers registered under their object names; a dialog without a
// driver ends as it is (cancelled).
class ElementDialogTest : public AppTest {
protected:
    ModalHandler modalHandler() override {
        return [this](QDialog &d) {
            ++runs[d.objectName()];
            if (const auto drive = drivers.value(d.objectName()))
                drive(d);
            return d.result();
        };
    }
    void SetUp() override {
        AppTest::SetUp();
        if (HasFatalFailure())
            return;
        for (const char *section : {"Model.Find", "Device.Find"})
            PropertyStore(QString::fromLatin1(section))
                .write(QStringLiteral("edFind.<P>.Items"), QStringList());
    }
    void TearDown() override {
        view.reset();
        dialogs.reset();
        AppTest::TearDown();
    }

    void onModal(const QString &dialog, std::function<void(QDialog &)> drive) {
        drivers[dialog] = std::move(drive);
    }

    // Two departments; the first with a workplace holding a computer and a printer, the second with
    // a server. Kinds of equipment and materials with models; one element on the computer.
    void fill() {
        dep = insert("Department", {{"DprtName", "Бухгалтерия"}});
        dep2 = insert("Department", {{"DprtName", "Склад"}});
        wp = insert("Workplace", {{"WrkpIdDepartment", dep}, {"WrkpName", "Кассир"}});
        wp2 = insert("Workplace", {{"WrkpIdDepartment", dep2}, {"WrkpName", "Серверная"}});
        pc = insert("DeviceUnit", {{"DevcIdWorkplace", wp}, {"DevcName", "ПК"}});
        printer = insert("DeviceUnit", {{"DevcIdWorkplace", wp}, {"DevcName", "Принтер"}});
        server = insert("DeviceUnit", {{"DevcIdWorkplace", wp2}, {"DevcName", "Сервер"}});
        disk = insert("Kind", {{"KindType", "H"}, {"KindName", "Диск"}, {"KindOrder", 1}});
        memory = insert("Kind", {{"KindType", "H"}, {"KindName", "Память"}, {"KindOrder", 2}});
        toner = insert("Kind", {{"KindType", "M"}, {"KindName", "Тонер"}, {"KindOrder", 1}});
        wd = insert("Model", {{"ModlKind", disk},
                              {"ModlName", "WD Blue"},
                              {"ModlNumber", "WD Blue"},
                              {"ModlParametersValue", "1 ТБ"},
                              {"ModlWeight", 1}});
        seagate = insert(
            "Model",
            {{"ModlKind", disk}, {"ModlName", "Seagate"}, {"ModlNumber", "Seagate"}, {"ModlWeight", 2}});
        dimm = insert("Model", {{"ModlKind", memory},
                                {"ModlName", "DIMM 8"},
                                {"ModlNumber", "DIMM 8"},
                                {"ModlParametersValue", "8 ГБ"}});
        cartridge = insert("Model", {{"ModlKind", toner}, {"ModlName", "HP 12A"}, {"ModlNumber", "HP 12A"}});
        element = insert("CompleteSet", {{"CmplIdDevice", pc}, {"CmplIdModel", wd}, {"ModelKind", disk}});
    }

    int history(int el) {
        return scalar("select count(*) from ElementMove where IdComponent = :E", {{"E", el}}).toInt();
    }
    int deviceOf(int el) {
        return scalar("select CmplIdDevice from CompleteSet where IdComponent = :E", {{"E", el}}).toInt();
    }
    TCompleteSetEditDG *element_() { return TCompleteSetEditDG::Instance(); }
    QVariant field(const QString &name) { return element_()->taData->value(name); }

    QMap<QString, std::function<void(QDialog &)>> drivers;
    QMap<QString, int> runs;
    std::unique_ptr<TLayoutMainFM> view;
    int dep = 0, dep2 = 0, wp = 0, wp2 = 0, pc = 0, printer = 0, server = 0;
    int disk = 0, memory = 0, toner = 0, wd = 0, seagate = 0, dimm = 0, cartridge = 0, element = 0;
};

// ---------------------------------------------------------------------------------------------
// The element dialog

TEST_F(ElementDialogTest, ANewElementStandsOnTheDeviceAndIsSavedWithItsFirstHistoryLine) {
    fill();
    onModal("CompleteSetEditDG", [&](QDialog &) {
        EXPECT_EQ(field("CmplIdDevice").toInt(), printer);
        EXPECT_TRUE(field("CmplDateSet").toDateTime().isValid());
        EXPECT_TRUE(element_()->edModelNote->text().isEmpty());
        EXPECT_TRUE(element_()->btSave->isEnabled());
        EXPECT_EQ(dmLookUp->taKind->recordCount(), 1) << "the kinds of the type given";
        element_()->lcKind->choose(0);
        EXPECT_EQ(dmLookUp->taModel->recordCount(), 1) << "the toner's models";
        element_()->lcModel->choose(0);
        EXPECT_EQ(field("CmplIdModel").toInt(), cartridge);
        element_()->btSave->click();
    });
    ASSERT_TRUE(TCompleteSetEditDG::Run(-1, printer, "M"));
    const int saved = field("IdComponent").toInt();
    EXPECT_GT(saved, 0);
    EXPECT_EQ(deviceOf(saved), printer);
    EXPECT_EQ(history(saved), 1) << "the place it was saved at, with the saved key";
    EXPECT_TRUE(scalar("select CmplNumber from CompleteSet where IdComponent = :E", {{"E", saved}}).isNull());
}

TEST_F(ElementDialogTest, AFailedSaveWritesNoHistoryAndReportsTheFailure) {
    fill();
    onModal("CompleteSetEditDG", [&](QDialog &) {
        typeText(element_()->edNumberDIT, "123");
        // Another workstation deletes the element meanwhile.
        auto other = std::make_unique<Connection>();
        other->open(url());
        other->execute("delete from CompleteSet where IdComponent = :E", {{"E", element}});
        element_()->btSave->click();
    });
    EXPECT_FALSE(TCompleteSetEditDG::Run(element, -1, "H"));
    EXPECT_EQ(history(element), 0);
    EXPECT_EQ(texts(MessageKind::Exception).size(), 1);
}

// The hourglass shown while the element dialog loads is gone by the time the dialog shows, and
// stays gone over the dialogs opened from it.
TEST_F(ElementDialogTest, TheDialogShowsTheNormalCursor) {
    fill();
    const QCursor *overDialog = reinterpret_cast<const QCursor *>(1), *overList = overDialog;
    onModal("KindListDG", [&](QDialog &) { overList = QGuiApplication::overrideCursor(); });
    onModal("CompleteSetEditDG", [&](QDialog &) {
        overDialog = QGuiApplication::overrideCursor();
        element_()->sbKindClick();
    });
    EXPECT_FALSE(TCompleteSetEditDG::Run(element, -1, "H"));
    EXPECT_EQ(overDialog, nullptr);
    EXPECT_EQ(overList, nullptr);
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

TEST_F(ElementDialogTest, TheKindBoxFollowsTheModelChosenThroughEachButton) {
    fill();
    const int cd = insert("Kind", {{"KindType", "S"}, {"KindName", "Программа"}});
    const int office = insert("Model", {{"ModlKind", cd}, {"ModlName", "Офис"}, {"ModlNumber", "Офис"}});

    // Model list: positioned on the element's model among the kind's models; choosing another
    // model of another kind brings the kind box and the model list there.
    onModal("ModelListDG", [&](QDialog &) {
        TModelListDG *list = TModelListDG::Instance();
        EXPECT_EQ(list->selectedKind(), disk);
        EXPECT_EQ(list->taModel->value("IdModel").toInt(), wd);
        list->lcKind->setCurrentIndex(list->lcKind->findData(memory));
        ASSERT_TRUE(list->taModel->locate("IdModel", dimm));
        list->btBack->click();
    });
    onModal("CompleteSetEditDG", [&](QDialog &) {
        EXPECT_EQ(element_()->edModelNote->text(), QStringLiteral("1 ТБ"));
        element_()->sbModel->click();
        EXPECT_EQ(field("CmplIdModel").toInt(), dimm);
        EXPECT_EQ(field("ModelKind").toInt(), memory);
        EXPECT_EQ(element_()->lcKind->currentText(), QStringLiteral("Память"));
        EXPECT_EQ(element_()->lcModel->currentText(), QStringLiteral("DIMM 8"));
        EXPECT_EQ(element_()->edModelNote->text(), QStringLiteral("8 ГБ"));

        // Model find: a model of another type; the kind box then offers that type's kinds.
        onModal("ModelFindDG", [&](QDialog &d) {
            auto &find = static_cast<TModelFindDG &>(d);
            find.edFind->setEditText("Офис");
            find.flushFind();
            ASSERT_TRUE(find.taFind->locate("ID", office));
            find.btBack->click();
        });
        element_()->sbFindModel->click();
        EXPECT_EQ(field("CmplIdModel").toInt(), office);
        EXPECT_EQ(field("ModelKind").toInt(), cd);
        EXPECT_EQ(element_()->lcKind->currentText(), QStringLiteral("Программа"));
        EXPECT_EQ(element_()->lcModel->currentText(), QStringLiteral("Офис"));

        // Kind list: choosing a kind offers its models; the model of another kind shows nothing.
        onModal("KindListDG", [&](QDialog &) {
            TKindListDG *kinds = TKindListDG::Instance();
            kinds->SelectType("H");
            kinds->Reload(disk);
            kinds->btBack->click();
        });
        element_()->sbKind->click();
        EXPECT_EQ(field("ModelKind").toInt(), disk);
        EXPECT_EQ(element_()->lcKind->currentText(), QStringLiteral("Диск"));
        EXPECT_EQ(dmLookUp->taModel->recordCount(), 2);
        EXPECT_TRUE(element_()->lcModel->currentText().isEmpty());
        EXPECT_TRUE(element_()->edModelNote->text().isEmpty());
        element_()->btCancel->click();
    });
    EXPECT_FALSE(TCompleteSetEditDG::Run(element, -1, "H"));
    EXPECT_EQ(scalar("select CmplIdModel from CompleteSet where IdComponent = :E", {{"E", element}}).toInt(),
              wd);
}

TEST_F(ElementDialogTest, ChoosingNothingWritesNothing) {
    fill();
    onModal("ModelFindDG", [&](QDialog &d) {
        auto &find = static_cast<TModelFindDG &>(d);
        find.edFind->setEditText("нет такой модели");
        find.flushFind();
        find.btBack->click(); // disabled: nothing is chosen
        d.reject();
    });
    onModal("CompleteSetEditDG", [&](QDialog &) {
        element_()->sbFindModel->click();
        EXPECT_EQ(field("CmplIdModel").toInt(), wd);
        EXPECT_FALSE(element_()->btSave->isEnabled()) << "the record was not touched";
    });
    TCompleteSetEditDG::Run(element, -1, "H");
    EXPECT_EQ(runs.value("ModelFindDG"), 1);
}

TEST_F(ElementDialogTest, ClearEmptiesTheDocumentOfABrowsedRecordButKeepsThePrice) {
    fill();
    const int doc = insert("Document", {{"DocNumber", "17"}});
    cn().execute("update CompleteSet set DocumentId = :D, DocumentPosition = 2, Price = '1500.5' where "
                 "IdComponent = :E",
                 {{"D", doc}, {"E", element}});
    onModal("CompleteSetEditDG", [&](QDialog &) {
        EXPECT_FALSE(element_()->btSave->isEnabled());
        EXPECT_FALSE(element_()->lcDoc->currentText().isEmpty());
        element_()->btClear->click();
        EXPECT_TRUE(element_()->btSave->isEnabled());
        EXPECT_TRUE(element_()->lcDoc->currentText().isEmpty());
        element_()->btSave->click();
    });
    ASSERT_TRUE(TCompleteSetEditDG::Run(element, -1, "H"));
    const ResultSet row =
        cn().query("select DocumentId, DocumentPosition, Price from CompleteSet where IdComponent = :E",
                   {{"E", element}});
    EXPECT_TRUE(row.rows[0][0].isNull());
    EXPECT_TRUE(row.rows[0][1].isNull());
    EXPECT_EQ(normalizeValue(FieldType::Money, row.rows[0][2]).toString(), QStringLiteral("1500.5000"));
}

TEST_F(ElementDialogTest, TheManufactureDateIsShownAsMonthAndYear) {
    fill();
    onModal("CompleteSetEditDG", [&](QDialog &) {
        EXPECT_TRUE(element_()->edDateManText->text().isEmpty()) << "no date, no text";
        element_()->edDateMan->setDate(QDate(2015, 3, 14));
        EXPECT_EQ(element_()->edDateManText->text(), QStringLiteral("март 2015 года"));
    });
    TCompleteSetEditDG::Run(element, -1, "H");
}

// ---------------------------------------------------------------------------------------------
// The move list

TEST_F(ElementDialogTest, TheMoveListSaysTrueOnlyAfterAMove) {
    fill();
    onModal("ElementMoveListDG", [&](QDialog &d) { static_cast<TBASEListDG &>(d).btExit->click(); });
    EXPECT_FALSE(TElementMoveListDG::Run(element));

    onModal("ElementMoveEditDG", [&](QDialog &) {
        TElementMoveEditDG *move = TElementMoveEditDG::Instance();
        EXPECT_EQ(dmLookUp->taDevice->recordCount(), 2) << "the devices of the element's department";
        move->lcDevice->choose(move->lcDevice->findText("Принтер — Кассир"));
        move->btSave->click();
    });
    onModal("ElementMoveListDG", [&](QDialog &d) {
        TElementMoveListDG *list = TElementMoveListDG::Instance();
        EXPECT_FALSE(list->btEdit->isVisible() || list->btBack->isVisible());
        list->btInsert->click();
        EXPECT_EQ(list->taMove->recordCount(), 1) << "the history is read again at once";
        static_cast<TBASEListDG &>(d).btExit->click();
    });
    EXPECT_TRUE(TElementMoveListDG::Run(element));
    EXPECT_EQ(deviceOf(element), printer);
}

TEST_F(ElementDialogTest, TheDeviceFindReachesADeviceOfAnotherDepartment) {
    fill();
    onModal("DeviceFindDG", [&](QDialog &d) {
        auto &find = static_cast<TBASEFindDG &>(d);
        find.edFind->setEditText("Сервер");
        find.flushFind();
        ASSERT_TRUE(find.taFind->locate("ID", server));
        find.btBack->click();
    });
    onModal("ElementMoveEditDG", [&](QDialog &) {
        TElementMoveEditDG *move = TElementMoveEditDG::Instance();
        move->btFind->click();
        EXPECT_EQ(move->lcDevice->currentText(), QStringLiteral("Сервер — Серверная"));
        move->btSave->click();
    });
    EXPECT_TRUE(TElementMoveEditDG::Run(element));
    EXPECT_EQ(deviceOf(element), server);
    const QString place =
        scalar("select Place from ElementMove where IdComponent = :E", {{"E", element}}).toString();
    EXPECT_TRUE(place.contains("ПК")) << place.toStdString() << ": the place the element left";
}

// ---------------------------------------------------------------------------------------------
// Firms

TEST_F(ElementDialogTest, AFirmKeepsAShortNameOfItsOwnOnlyWithoutATrademark) {
    const int mark = insert("Trademark", {{"Name", "Ромашка"}});
    const int own = insert("Client", {{"ClntNameFull", "ООО Своя"}, {"ClntNameShort", "Своя"}});
    const int branded = insert("Client", {{"ClntNameFull", "ООО Марка"}, {"ClntNameShort", "Марка"}});
    struct Case {
        int firm;
        QVariant trademark; // invalid: left as it is
        QString shortName;
    } cases[] = {
        {-1, QVariant(), FirmShortNamePlaceholder},
        {-1, mark, FirmShortNamePlaceholder},
        {own, QVariant(), QStringLiteral("Своя")},
        {branded, mark, FirmShortNamePlaceholder},
    };
    for (const Case &c : cases) {
        onModal("FirmEditDG", [&](QDialog &) {
            TFirmEditDG *firm = TFirmEditDG::Instance();
            typeText(firm->edName, c.firm < 0 ? QStringLiteral("ООО Новая") : firm->edName->text() + "!");
            if (c.trademark.isValid())
                firm->cbTrade->choose(firm->cbTrade->findText("Ромашка"));
            firm->btSave->click();
        });
        ASSERT_TRUE(TFirmEditDG::Run(c.firm)) << c.firm;
        const int id = TFirmEditDG::Instance()->taData->value("IdClient").toInt();
        EXPECT_EQ(scalar("select ClntNameShort from Client where IdClient = :C", {{"C", id}}).toString(),
                  c.shortName)
            << c.firm;
    }
}

TEST_F(ElementDialogTest, QuotesPutTheSelectedNameInGuillemets) {
    onModal("FirmEditDG", [&](QDialog &) {
        TFirmEditDG *firm = TFirmEditDG::Instance();
        typeText(firm->edName, "Фирма 'ООО Ромашка'");
        firm->edName->setSelection(6, 13);
        firm->btQuotes->click();
        EXPECT_EQ(firm->taData->value("ClntNameFull").toString(), QStringLiteral("Фирма «ООО Ромашка»"));
        firm->btSave->click();
    });
    ASSERT_TRUE(TFirmEditDG::Run(-1));
}

TEST_F(ElementDialogTest, TheFirmListStaysBeforeARemovedFirmAndChoosesOnlyWithAField) {
    const int a = insert("Client", {{"ClntNameFull", "Альфа"}});
    const int b = insert("Client", {{"ClntNameFull", "Бета"}});
    insert("Client", {{"ClntNameFull", "Гамма"}});
    TFirmListDG *list = TFirmListDG::Instance();
    onModal("FirmListDG", [&](QDialog &) {
        EXPECT_FALSE(list->btBack->isEnabled()) << "browsing: nothing to choose into";
        ASSERT_TRUE(list->taClient->locate("ID", b));
        list->btDelete->click();
        EXPECT_EQ(list->taClient->value("ID").toInt(), a);
        list->taClient->first();
        list->btDelete->click();
        EXPECT_EQ(list->taClient->value("ClientName").toString(), QStringLiteral("Гамма"));
    });
    TFirmListDG::Run(-1, nullptr);
    EXPECT_EQ(texts(MessageKind::Warning).first(), QStringLiteral("Вы хотите удалить \"Бета\"?"));
    EXPECT_EQ(scalar("select count(*) from Client").toInt(), 1);
}

TEST_F(ElementDialogTest, AMarkOrFirmAddedInItsListShowsInTheBoxThatOpenedIt) {
    fill();
    // The list adds a row through its edit dialog and chooses it.
    const auto addInList = [&](const QString &list, const QString &editor, std::function<QLineEdit *()> name,
                               const QString &text) {
        onModal(list, [this](QDialog &d) {
            auto *l = static_cast<TBASEListDG *>(&d);
            l->btInsert->click();
            l->btBack->click();
        });
        onModal(editor, [=](QDialog &d) {
            typeText(name(), text);
            static_cast<TBaseEditDG &>(d).btSave->click();
        });
    };
    addInList(
        "TrademarkListDG", "TrademarkEditDG", [] { return TTrademarkEditDG::Instance()->DBEdit2; }, "Гамма");
    onModal("FirmEditDG", [&](QDialog &) {
        TFirmEditDG *firm = TFirmEditDG::Instance();
        firm->sbModel->click();
        EXPECT_EQ(firm->cbTrade->currentText(), QStringLiteral("Гамма"));
        firm->btCancel->click();
    });
    TFirmEditDG::Run(-1);

    const auto firmName = [] { return TFirmEditDG::Instance()->edName; };
    addInList("FirmListDG", "FirmEditDG", firmName, "ООО Новая");
    onModal("DocumentEditDG", [&](QDialog &) {
        TDocumentEditDG *doc = TDocumentEditDG::Instance();
        doc->sbProd->click();
        EXPECT_TRUE(doc->lcProd->currentText().contains("ООО Новая"))
            << doc->lcProd->currentText().toStdString();
        doc->btCancel->click();
    });
    TDocumentEditDG::Run(-1);

    addInList("FirmListDG", "FirmEditDG", firmName, "ООО Третья");
    onModal("ModelEditDG", [&](QDialog &) {
        TModelEditDG *model = TModelEditDG::Instance();
        model->btFirm->click();
        EXPECT_TRUE(model->lcProd->currentText().contains("ООО Третья"))
            << model->lcProd->currentText().toStdString();
        model->btCancel->click();
    });
    TModelEditDG::Run(-1, toner);
    EXPECT_EQ(runs.value("TrademarkEditDG") + runs.value("FirmEditDG"), 4) << "every list added its row";
}

// ---------------------------------------------------------------------------------------------
// Models

TEST_F(ElementDialogTest, AModelWithoutAProducerIsNamedByItsNumberAlone) {
    fill();
    const int firm = insert("Client", {{"ClntNameFull", "Hewlett-Packard"}});
    struct Case {
        QVariant producer;
        bool nameOnly;
        bool storedNameOnly;
        QString name;
    } cases[] = {
        {QVariant(), false, true, "LJ 1020"},
        {firm, false, false, "Hewlett-Packard LJ 1020"},
        {firm, true, true, "LJ 1020"},
    };
    for (const Case &c : cases) {
        onModal("ModelEditDG", [&](QDialog &) {
            TModelEditDG *model = TModelEditDG::Instance();
            EXPECT_EQ(model->taData->value("ModlKind").toInt(), toner);
            typeText(model->edNumber, "LJ 1020");
            if (c.producer.isValid())
                model->lcProd->choose(model->lcProd->findText("Hewlett-Packard"));
            if (model->DBCheckBox1->isChecked() != c.nameOnly)
                model->DBCheckBox1->click();
            model->btSave->click();
        });
        ASSERT_TRUE(TModelEditDG::Run(-1, toner));
        const int id = TModelEditDG::Instance()->taData->value("IdModel").toInt();
        const ResultSet row =
            cn().query("select ModlName, ModlNameOnly from Model where IdModel = :M", {{"M", id}});
        EXPECT_EQ(row.rows[0][0].toString(), c.name);
        EXPECT_EQ(row.rows[0][1].toBool(), c.storedNameOnly) << c.name.toStdString();
    }
}

TEST_F(ElementDialogTest, TheModelListOrdersByWeightOrNameAndMovesOnlyByWeight) {
    fill();
    TModelListDG *list = TModelListDG::Instance();
    onModal("ModelListDG", [&](QDialog &) {
        EXPECT_EQ(list->sort(), TModelListDG::msWeight);
        EXPECT_TRUE(list->btUp->isEnabled());
        EXPECT_EQ(list->taModel->value("IdModel").toInt(), seagate);
        list->btUp->click();
        EXPECT_EQ(list->taModel->value("IdModel").toInt(), seagate) << "stays on the moved model";
        EXPECT_EQ(list->taModel->recNo(), 0);
        emit list->grList->horizontalHeader()->sectionClicked(0);
        EXPECT_EQ(list->sort(), TModelListDG::msName);
        EXPECT_FALSE(list->btUp->isEnabled());
        EXPECT_EQ(list->taModel->recNo(), 0) << "Seagate before WD Blue by name";
        emit list->grList->horizontalHeader()->sectionClicked(1);
        EXPECT_EQ(list->sort(), TModelListDG::msWeight);
        EXPECT_TRUE(list->btDown->isEnabled());
    });
    EXPECT_FALSE(TModelListDG::Run(seagate, nullptr, -1));

    // A model added under another kind is shown under that kind.
    onModal("ModelEditDG", [&](QDialog &) {
        TModelEditDG *model = TModelEditDG::Instance();
        typeText(model->edNumber, "DDR5");
        model->lcKind->choose(model->lcKind->findText("Память"));
        model->btSave->click();
    });
    onModal("ModelListDG", [&](QDialog &) {
        list->btInsert->click();
        EXPECT_EQ(list->selectedKind(), memory);
        EXPECT_EQ(list->taModel->value("ModlName").toString(), QStringLiteral("DDR5"));
    });
    TModelListDG::Run(wd, nullptr, disk);
}

// ---------------------------------------------------------------------------------------------
// Documents

// The model list's kind button: the kind chosen there, of any type and new ones included, becomes
// the kind the list shows; leaving with "Выход" keeps the kind. Without a model the list offers the
// equipment kinds, never the device kinds, which have no models.
TEST_F(ElementDialogTest, TheModelListShowsTheKindChosenThroughItsKindButton) {
    fill();
    insert("Kind", {{"KindType", "D"}, {"KindName", "Компьютер"}, {"KindOrder", 1}});
    TModelListDG *list = TModelListDG::Instance();
    TKindListDG *kinds = TKindListDG::Instance();
    const auto offered = [list] {
        QStringList names;
        for (int i = 0; i < list->lcKind->count(); ++i)
            names << list->lcKind->itemText(i);
        return names;
    };
    onModal("ModelListDG", [&](QDialog &) {
        EXPECT_EQ(offered(), (QStringList{"Диск", "Память"}));
        EXPECT_EQ(list->selectedKind(), disk);
    });
    TModelListDG::Run(-1, nullptr, -1);

    onModal("KindEditDG", [&](QDialog &) {
        typeText(TKindEditDG::Instance()->DBEdit1, "Видеокарта");
        TKindEditDG::Instance()->btSave->click();
    });
    struct Case {
        const char *name;
        std::function<void(QDialog &)> inKindList;
        QString shown;       // the kind the list shows afterwards
        QStringList offered; // the kinds its selector offers
        int models;
    };
    const Case cases[] = {
        {"a kind of another type",
         [&](QDialog &) {
             kinds->SelectType("M");
             kinds->Reload(toner);
             kinds->btBack->click();
         },
         "Тонер",
         {"Тонер"},
         1},
        {"a kind made there",
         [&](QDialog &) {
             kinds->btInsert->click();
             kinds->btBack->click();
         },
         "Видеокарта",
         {"Диск", "Память", "Видеокарта"},
         0},
        {"nothing chosen", [&](QDialog &d) { d.reject(); }, "Диск", {"Диск", "Память", "Видеокарта"}, 2},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        boxes.clear();
        onModal("KindListDG", c.inKindList);
        onModal("ModelListDG", [&](QDialog &) {
            list->btKind->click();
            EXPECT_EQ(list->lcKind->currentText(), c.shown);
            EXPECT_EQ(offered(), c.offered);
            EXPECT_EQ(list->taModel->recordCount(), c.models);
        });
        TModelListDG::Run(wd, nullptr, -1);
        EXPECT_TRUE(boxes.isEmpty()) << (boxes.isEmpty() ? "" : boxes.front().text.toStdString());
    }
}

// Browsing the kinds of another type in the model list leaves the element dialog's kind box as it
// was when the list is left with "Выход".
TEST_F(ElementDialogTest, TheElementKeepsItsKindWhenTheModelListBrowsedAnotherType) {
    fill();
    TModelListDG *list = TModelListDG::Instance();
    onModal("KindListDG", [&](QDialog &) {
        TKindListDG::Instance()->SelectType("M");
        TKindListDG::Instance()->Reload(toner);
        TKindListDG::Instance()->btBack->click();
    });
    onModal("ModelListDG", [&](QDialog &d) {
        list->btKind->click();
        EXPECT_EQ(list->selectedKind(), toner);
        d.reject();
    });
    onModal("CompleteSetEditDG", [&](QDialog &) {
        element_()->sbModel->click();
        EXPECT_EQ(element_()->lcKind->currentText(), QStringLiteral("Диск"));
        EXPECT_EQ(element_()->lcModel->currentText(), QStringLiteral("WD Blue"));
        EXPECT_EQ(field("ModelKind").toInt(), disk);
        element_()->btCancel->click();
    });
    TCompleteSetEditDG::Run(element, -1, "H");
    EXPECT_EQ(runs.value("ModelListDG"), 1);
}

// The model list opened for a kind shows the kinds of the type the kind has now: one moved to
// another type, or removed, since the kind selector last read its kinds is not offered among the
// kinds of its old type.
TEST_F(ElementDialogTest, TheModelListOffersTheKindsOfTheTypeTheKindHasNow) {
    fill();
    TModelListDG *list = TModelListDG::Instance();
    const auto offered = [list] {
        QStringList names;
        for (int i = 0; i < list->lcKind->count(); ++i)
            names << list->lcKind->itemText(i);
        return names;
    };
    struct Case {
        const char *name;
        QString change; // what another workplace does before the list opens again
        int kind;
        QStringList offered;
        int selected, models;
        int chainKind; // what the chain holds afterwards, as setting the kind there stores it
        QString chainType;
    };
    // One after another: the kind removed is one of the equipment kinds, the one moved then the
    // only one left of them.
    const Case cases[] = {
        {"unchanged", {}, disk, {"Диск", "Память"}, disk, 2, disk, "H"},
        {"removed", "delete from Kind where IdKind = :K", memory, {"Диск"}, disk, 2, 0, "D"},
        {"moved to another type",
         "update Kind set KindType = 'M' where IdKind = :K",
         disk,
         {"Тонер", "Диск"},
         disk,
         2,
         disk,
         "M"},
    };
    cn().execute("delete from Model where ModlKind = :K", {{"K", memory}});
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        TModelListDG::Run(-1, nullptr, c.kind); // the selector reads the kinds of its type now
        if (!c.change.isEmpty())
            cn().execute(c.change, {{"K", c.kind}});
        onModal("ModelListDG", [&](QDialog &) {
            EXPECT_EQ(offered(), c.offered);
            EXPECT_EQ(list->selectedKind(), c.selected);
            EXPECT_EQ(list->taModel->recordCount(), c.models);
            EXPECT_EQ(dmChain->Kind(), c.chainKind);
            EXPECT_EQ(dmChain->KindType(), c.chainType);
        });
        TModelListDG::Run(-1, nullptr, c.kind);
        drivers.remove("ModelListDG");
    }
}

// In the model dialog a kind chosen in the kind list is shown at once, and a producer typed by a
// name the firm list does not hold becomes a firm when the model is saved: under the trademark of
// that name (made when missing), or the firm that already bears the name.
TEST_F(ElementDialogTest, TheModelDialogTakesANewKindAndANewProducerByName) {
    fill();
    const int hp = insert("Client", {{"ClntNameFull", "Hewlett-Packard"}});
    const int dell = insert("Trademark", {{"Name", "Dell"}});
    TModelEditDG *model = TModelEditDG::Instance();
    onModal("KindListDG", [&](QDialog &) {
        TKindListDG::Instance()->SelectType("M");
        TKindListDG::Instance()->Reload(toner);
        TKindListDG::Instance()->btBack->click();
    });
    struct Case {
        const char *typed;
        QString firm;  // the producer's full name afterwards
        QVariant mark; // its trademark's key (Invalid: a new one of the typed name)
        int newFirms;
        QString name; // the model's name
    };
    const Case cases[] = {
        {"Lenovo", "Lenovo", QVariant(), 1, "Lenovo M70"},
        {"hewlett-PACKARD", "Hewlett-Packard", QVariant(0), 0, "Hewlett-Packard M70"},
        {"Dell", "Dell", dell, 1, "Dell M70"},
        {"lenovo", "Lenovo", QVariant(), 0, "Lenovo M70"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.typed);
        const int firms = scalar("select count(*) from Client").toInt();
        onModal("ModelEditDG", [&](QDialog &) {
            model->btKind->click();
            EXPECT_EQ(model->lcKind->currentText(), QStringLiteral("Тонер"));
            typeText(model->edNumber, "M70");
            model->lcProd->lineEdit()->setText(QString::fromUtf8(c.typed));
            emit model->lcProd->lineEdit()->editingFinished();
            EXPECT_EQ(model->lcProd->currentText().compare(QString::fromUtf8(c.typed), Qt::CaseInsensitive),
                      0)
                << "the typed name stays";
            model->btSave->click();
        });
        ASSERT_TRUE(TModelEditDG::Run(-1, disk));
        const int id = model->taData->value("IdModel").toInt();
        const ResultSet row = cn().query(
            "select m.ModlName, m.ModlKind, c.ClntNameFull, c.Trademark, t.Name from Model m join Client c "
            "on "
            "c.IdClient = m.ModlIdProducer left join Trademark t on t.ID = c.Trademark where m.IdModel = :M",
            {{"M", id}});
        ASSERT_EQ(row.rows.size(), 1u);
        EXPECT_EQ(row.rows[0][0].toString(), c.name);
        EXPECT_EQ(row.rows[0][1].toInt(), toner);
        EXPECT_EQ(row.rows[0][2].toString(), c.firm);
        if (!c.mark.isValid())
            EXPECT_EQ(row.rows[0][4].toString(), c.firm) << "a trademark of the firm's name";
        else if (c.mark.toInt() == 0)
            EXPECT_TRUE(row.rows[0][3].isNull()) << "the firm as it was";
        else
            EXPECT_EQ(row.rows[0][3].toInt(), c.mark.toInt());
        EXPECT_EQ(scalar("select count(*) from Client").toInt(), firms + c.newFirms);
        EXPECT_TRUE(model->lcProd->newText().isEmpty());
    }
    EXPECT_EQ(scalar("select count(*) from Trademark where Name = 'Lenovo'").toInt(), 1);
    EXPECT_EQ(scalar("select count(*) from Client where IdClient = :C", {{"C", hp}}).toInt(), 1);
    EXPECT_TRUE(texts(MessageKind::Exception).isEmpty());
}

// The rows are fitted to their text when they are shown, not at every reload of an unseen list.
TEST_F(ElementDialogTest, TheModelRowsInViewFitTheirText) {
    fill();
    cn().execute("update Model set ModlParametersValue = :P where IdModel = :M",
                 {{"P", QStringLiteral("SATA III, 7200 об/мин, кэш 256 МБ, три года гарантии, для серверов "
                                       "и рабочих станций")},
                  {"M", wd}});
    TModelListDG::Run(-1, nullptr, disk);
    TModelListDG *dlg = TModelListDG::Instance();
    ASSERT_TRUE(dlg->taModel->locate("IdModel", wd));
    const int wrapped = dlg->taModel->recNo();
    ASSERT_TRUE(dlg->taModel->locate("IdModel", seagate));
    const int plain = dlg->taModel->recNo();
    const int oneLine = dlg->grList->rowHeight(plain);
    EXPECT_EQ(dlg->grList->rowHeight(wrapped), oneLine) << "nothing measured while not shown";

    dlg->show();
    EXPECT_GT(dlg->grList->rowHeight(wrapped), dlg->grList->rowHeight(plain))
        << "the long parameters wrap into a taller row";
    dlg->taModel->locate("IdModel", wd);
    dlg->Reload(-1);
    EXPECT_GT(dlg->grList->rowHeight(dlg->taModel->recNo()), dlg->grList->rowHeight(plain))
        << "and again after a reload";
    dlg->hide();
}

TEST_F(ElementDialogTest, ANewDocumentStartsWithTodayAndWaitsForAChange) {
    if (scalar("select count(*) from DocKind where ID = 'N'").toInt() == 0)
        insert("DocKind", {{"ID", "N"}, {"Name", "Накладная"}});
    onModal("DocumentEditDG", [&](QDialog &) {
        TDocumentEditDG *doc = TDocumentEditDG::Instance();
        EXPECT_EQ(doc->taData->value("DocKind").toString(), QStringLiteral("N"));
        EXPECT_EQ(doc->taData->value("DocDate").toDate(), QDate::currentDate());
        EXPECT_FALSE(doc->btSave->isEnabled());
        typeText(doc->edNumber, "42");
        EXPECT_TRUE(doc->btSave->isEnabled());
        doc->btSave->click();
    });
    ASSERT_TRUE(TDocumentEditDG::Run(-1));
    EXPECT_EQ(scalar("select DocNumber from Document").toString(), QStringLiteral("42"));
}

TEST_F(ElementDialogTest, TheDateSearchLandsOnTheNewestDocumentOnOrBeforeTheDay) {
    // Newest first: 20.03, 10.03 (two), 01.03.
    const auto doc = [&](const QDate &d) {
        return insert("Document", {{"DocDate", QDateTime(d, QTime(0, 0))}});
    };
    const int d1 = doc(QDate(2024, 3, 1));
    const int d10a = doc(QDate(2024, 3, 10));
    const int d10b = doc(QDate(2024, 3, 10));
    const int d20 = doc(QDate(2024, 3, 20));
    struct Case {
        int from;
        QDate day;
        int lands;
    } cases[] = {
        {d1, QDate(2024, 4, 1), d20},     // later than all: the first row
        {d20, QDate(2023, 1, 1), d1},     // earlier than all: the last row
        {d20, QDate(2024, 3, 10), d10b},  // on a day: its newest document
        {d10a, QDate(2024, 3, 10), d10a}, // on a row of that day: stays
        {d20, QDate(2024, 3, 15), d10b},  // between days: the newest earlier one
        {d1, QDate(2024, 3, 15), d10b},   // from an earlier row: searched from the top
    };
    TDocumentListDG *list = TDocumentListDG::Instance();
    onModal("DocumentListDG", [&](QDialog &) {
        for (const Case &c : cases) {
            ASSERT_TRUE(list->taDocument->locate("ID", c.from));
            list->FindDate(c.day);
            EXPECT_EQ(list->taDocument->value("ID").toInt(), c.lands) << c.day.toString().toStdString();
        }
        list->edDateFind->setDate(QDate(2024, 3, 2));
        EXPECT_EQ(list->taDocument->value("ID").toInt(), d1) << "the picker searches as it changes";
    });
    TDocumentListDG::Run(nullptr);
}

TEST_F(ElementDialogTest, DeletingADocumentLandsOnTheNextOrOnTheFirst) {
    const auto doc = [&](int day) {
        return insert("Document", {{"DocDate", QDateTime(QDate(2024, 1, day), QTime())}});
    };
    const int oldest = doc(1);
    const int middle = doc(2);
    const int newest = doc(3);
    TDocumentListDG *list = TDocumentListDG::Instance();
    onModal("DocumentListDG", [&](QDialog &) {
        ASSERT_TRUE(list->taDocument->locate("ID", middle));
        list->btDelete->click();
        EXPECT_EQ(list->taDocument->value("ID").toInt(), oldest) << "the row after the removed one";
        list->btDelete->click();
        EXPECT_EQ(list->taDocument->value("ID").toInt(), newest) << "the last removed: the first row";
    });
    TDocumentListDG::Run(nullptr);
    EXPECT_EQ(scalar("select count(*) from Document").toInt(), 1);
}

TEST_F(ElementDialogTest, DocumentKindsAreListedByUse) {
    insert("DocKind", {{"ID", "A"}, {"Name", "Акт"}});
    insert("DocKind", {{"ID", "B"}, {"Name", "Договор"}});
    insert("DocKind", {{"ID", "C"}, {"Name", "Счёт"}});
    for (const char *kind : {"C", "B", "B"})
        insert("Document", {{"DocKind", kind}});
    TDocumentKindListDG *list = TDocumentKindListDG::Instance();
    onModal("DocumentKindListDG", [&](QDialog &) {
        QStringList codes;
        for (int r = 0; r < list->taDocKind->recordCount(); ++r) {
            const QString code =
                list->taDocKind->valueAt(r, list->taDocKind->fieldByName("ID")->index()).toString();
            if (QStringLiteral("ABC").contains(code))
                codes << code;
        }
        EXPECT_EQ(codes, QStringList({"B", "C", "A"}));
    });
    TDocumentKindListDG::Run(-1, nullptr);
}

// ---------------------------------------------------------------------------------------------
// Moving on both engines: the history line and the new device go together or not at all.

class ElementMoveTest : public ElementDialogTest, public ::testing::WithParamInterface<Engine> {
protected:
    void SetUp() override {
        ElementDialogTest::SetUp();
        if (HasFatalFailure() || GetParam() == Engine::SQLite)
            return;
        pg = std::make_unique<TestDatabase>(Engine::PostgreSQL);
        QString why;
        if (!pg->available(&why)) {
            if (qEnvironmentVariableIsSet("VELMORA_TEST_REQUIRE_PG"))
                FAIL() << "PostgreSQL is required: " << why.toStdString();
            GTEST_SKIP() << why.toStdString();
        }
        // The program's connection moves over to the schema of this test.
        cn().close();
        cn().open(pg->url());
        cn().execute(QStringLiteral("SET search_path TO %1, public").arg(schemaOf(*pg)));
        Schema::prepare(cn());
    }
    void TearDown() override {
        ElementDialogTest::TearDown();
        pg.reset();
    }
    // Another workstation on the same database.
    std::unique_ptr<Connection> other() {
        if (pg)
            return pg->connect();
        auto c = std::make_unique<Connection>();
        c->open(url());
        return c;
    }
    static QString schemaOf(TestDatabase &db) {
        return db.cn().scalar(QStringLiteral("select current_schema()")).toString();
    }
    std::unique_ptr<TestDatabase> pg;
};

TEST_P(ElementMoveTest, ARefusedMoveLeavesTheElementAndItsHistoryAsTheyWere) {
    fill();
    onModal("ElementMoveEditDG", [&](QDialog &) {
        TElementMoveEditDG *move = TElementMoveEditDG::Instance();
        move->lcDevice->choose(move->lcDevice->findText("Принтер — Кассир"));
        // Another workstation moves the element to the server meanwhile.
        other()->execute("update CompleteSet set CmplIdDevice = :D where IdComponent = :E",
                         {{"D", server}, {"E", element}});
        move->btSave->click();
    });
    EXPECT_FALSE(TElementMoveEditDG::Run(element));
    EXPECT_EQ(deviceOf(element), server);
    EXPECT_EQ(history(element), 0) << "no history line for a move that did not happen";
    EXPECT_EQ(texts(MessageKind::Exception).size(), 1);

    // The next move goes through, with exactly one line.
    onModal("ElementMoveEditDG", [&](QDialog &) { TElementMoveEditDG::Instance()->btSave->click(); });
    EXPECT_TRUE(TElementMoveEditDG::Run(element, printer));
    EXPECT_EQ(deviceOf(element), printer);
    EXPECT_EQ(history(element), 1);
}

// The history line is written after the element in the same transaction. When only that step
// fails, the element's write is taken back as well; the record must then still be the one typed
// and being edited, or a second "Записать" would end the dialog as saved with nothing written.
TEST_P(ElementMoveTest, AFailedHistoryStepKeepsTheTypedElementForASecondSave) {
    fill();
    const QString refusal = QStringLiteral("Журнал перемещений недоступен");
    const auto refuseHistory = [&](bool refuse) {
        if (GetParam() == Engine::SQLite) {
            cn().execute(refuse ? QStringLiteral("CREATE TRIGGER RefuseHistory BEFORE INSERT ON ElementMove "
                                                 "BEGIN SELECT RAISE(ABORT, '%1'); END")
                                      .arg(refusal)
                                : QStringLiteral("DROP TRIGGER RefuseHistory"));
            return;
        }
        if (refuse) {
            cn().execute(QStringLiteral("CREATE OR REPLACE FUNCTION refuse_history() RETURNS trigger "
                                        "LANGUAGE plpgsql AS $$ BEGIN RAISE EXCEPTION '%1'; END $$")
                             .arg(refusal));
            cn().execute(QStringLiteral("CREATE TRIGGER refuse_history BEFORE INSERT ON ElementMove FOR EACH "
                                        "ROW EXECUTE FUNCTION refuse_history()"));
        } else {
            cn().execute(QStringLiteral("DROP TRIGGER refuse_history ON ElementMove"));
        }
    };
    const auto stored = [&](const QString &number) {
        return scalar("select count(*) from CompleteSet where CmplNumber = :N", {{"N", number}}).toInt();
    };
    struct Case {
        const char *what;
        int key, device;
        QString number;
    };
    for (const Case &c : {Case{"a new element", -1, printer, QStringLiteral("А-17")},
                          Case{"a changed element", element, -1, QStringLiteral("Б-18")}}) {
        SCOPED_TRACE(c.what);
        boxes.clear();
        const int elements = scalar("select count(*) from CompleteSet").toInt();
        refuseHistory(true);
        onModal("CompleteSetEditDG", [&](QDialog &d) {
            TCompleteSetEditDG *dlg = element_();
            if (c.key < 0) {
                dlg->lcKind->choose(0);
                dlg->lcModel->choose(0);
            }
            typeText(dlg->edNumberDIT, c.number);
            dlg->btSave->click();
            const QStringList shown = texts(MessageKind::Exception);
            ASSERT_EQ(shown.size(), 1);
            EXPECT_TRUE(shown.front().contains(refusal)) << shown.front().toStdString();
            EXPECT_EQ(d.result(), QDialog::Rejected) << "the dialog stays open";
            EXPECT_TRUE(dlg->taData->isEditing());
            EXPECT_TRUE(dlg->btSave->isEnabled());
            EXPECT_EQ(dlg->edNumberDIT->text(), c.number);
            EXPECT_EQ(dlg->taData->value("IdComponent").isNull(), c.key < 0) << "no key of a row rolled back";
            EXPECT_EQ(stored(c.number), 0);
            EXPECT_EQ(scalar("select count(*) from CompleteSet").toInt(), elements);

            refuseHistory(false);
            dlg->btSave->click();
        });
        ASSERT_TRUE(TCompleteSetEditDG::Run(c.key, c.device, "H"));
        const int saved = field("IdComponent").toInt();
        EXPECT_EQ(stored(c.number), 1);
        EXPECT_EQ(history(saved), 1) << "one line, from the second save";
        EXPECT_EQ(scalar("select count(*) from CompleteSet").toInt(), elements + (c.key < 0 ? 1 : 0));
        EXPECT_EQ(texts(MessageKind::Exception).size(), 1);
    }
}

TEST_P(ElementMoveTest, DraggingAnElementOntoADeviceMovesItThroughTheMoveDialog) {
    fill();
    view = std::make_unique<TLayoutMainFM>();
    view->runElementMove = [](int compSet, int device) { return TElementMoveEditDG::Run(compSet, device); };
    view->resize(800, 600);
    view->show();
    view->SelectedKind();
    view->FindNode("V", pc);
    view->tvPlace->expandAll();
    ASSERT_EQ(view->taSet->value("ID").toInt(), element);

    const auto drop = [&](int device, QEvent::Type type) {
        const QModelIndex node = view->treeModel->find(device > 0 ? "V" : "W", std::abs(device));
        const QPoint at = view->tvPlace->visualRect(node).center();
        std::unique_ptr<QMimeData> data(ElementDragDrop::mimeData(element));
        // A drag enters the tree, here below its last node, before it moves or drops on a node.
        QDragEnterEvent enter(QPoint(5, view->tvPlace->viewport()->height() - 2), Qt::MoveAction, data.get(),
                              Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(view->tvPlace->viewport(), &enter);
        EXPECT_TRUE(enter.isAccepted()) << "the tree takes part in the drag wherever it is entered";
        std::unique_ptr<QDropEvent> e;
        if (type == QEvent::DragMove)
            e = std::make_unique<QDragMoveEvent>(at, Qt::MoveAction, data.get(), Qt::LeftButton,
                                                 Qt::NoModifier);
        else
            e = std::make_unique<QDropEvent>(at, Qt::MoveAction, data.get(), Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(view->tvPlace->viewport(), e.get());
        QCoreApplication::processEvents();
        return e->isAccepted();
    };
    EXPECT_FALSE(drop(pc, QEvent::DragMove)) << "not onto the device it stands on";
    EXPECT_FALSE(drop(-wp, QEvent::DragMove)) << "not onto a workplace";
    EXPECT_TRUE(drop(printer, QEvent::DragMove));

    // The move dialog comes prepared for the printer; leaving it moves nothing.
    onModal("ElementMoveEditDG", [&](QDialog &) {
        EXPECT_EQ(TElementMoveEditDG::Instance()->lcDevice->currentText(),
                  QStringLiteral("Принтер — Кассир"));
        TElementMoveEditDG::Instance()->btCancel->click();
    });
    EXPECT_TRUE(drop(printer, QEvent::Drop));
    EXPECT_EQ(deviceOf(element), pc);
    EXPECT_EQ(history(element), 0);

    onModal("ElementMoveEditDG", [&](QDialog &) { TElementMoveEditDG::Instance()->btSave->click(); });
    EXPECT_TRUE(drop(printer, QEvent::Drop));
    EXPECT_EQ(runs.value("ElementMoveEditDG"), 2);
    EXPECT_EQ(deviceOf(element), printer);
    EXPECT_EQ(history(element), 1);
    EXPECT_FALSE(HasRecords(*view->taSet)) << "the set of the computer is read again";
}

VELMORA_BOTH_ENGINES(ElementMoveTest);

} // namespace
