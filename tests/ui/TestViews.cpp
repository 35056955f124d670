// The model placement, documents, consumables and search views over a real database, and the jumps
// between the tabs of the main window.
#include "AppTest.h"
#include "data/Settings.h"
#include "data/TessalADO.h"
#include "data/TessalSystem.h"
#include "model/Reports.h"
#include "network/fmNetComputer.h"
#include "network/fmNetUser.h"
#include "placement/fmLayout.h"
#include "shell/ReportLinks.h"
#include "shell/fmMain.h"
#include "ui/Actions.h"
#include "ui/DataGrid.h"
#include "ui/Fonts.h"
#include "views/ViewLinks.h"
#include "views/fmChangeList.h"
#include "views/fmDocumentList.h"
#include "views/fmModelList.h"
#include "views/fmSearch.h"

#include <QApplication>
#include <QComboBox>
#include <QDateEdit>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QTreeView>

#include <memory>

namespace {

class ViewsTest : public AppTest {
protected:
    void SetUp() override {
        AppTest::SetUp();
        if (HasFatalFailure())
            return;
        // Each test starts as a first run: nothing remembered from another test's database.
        PropertyStore(QStringLiteral("Model.Form")).write(QStringLiteral("taModel.<P>.Tag"), -1);
        PropertyStore(QStringLiteral("Search.Form")).write(QStringLiteral("cbFind.<P>.Items"), QStringList());
        PropertyStore(QStringLiteral("Document.Form")).write(QStringLiteral("tbDoc.dtDoc.<P>.Date"), QDate());
        ReportSettings{}.save();
        fill();
    }
    void TearDown() override {
        model.reset();
        docs.reset();
        change.reset();
        search.reset();
        AppTest::TearDown();
    }

    // Department, workplace, a computer and a printer; kinds and models of the three types; three
    // documents; elements with and without a document.
    void fill() {
        dep = insert("Department", {{"DprtName", "Управление"}});
        wp = insert("Workplace", {{"WrkpIdDepartment", dep}, {"WrkpName", "Кассир"}});
        pc = insert("DeviceUnit", {{"DevcIdWorkplace", wp}, {"DevcName", "ПК кассира"}});
        printer = insert("DeviceUnit", {{"DevcIdWorkplace", wp}, {"DevcName", "Принтер"}});
        kindH = insert("Kind", {{"KindType", "H"}, {"KindName", "Диск"}});
        kindM = insert("Kind", {{"KindType", "M"}, {"KindName", "Картридж"}});
        kindS = insert("Kind", {{"KindType", "S"}, {"KindName", "ОС"}});
        modelWd =
            insert("Model", {{"ModlKind", kindH}, {"ModlName", "WD Blue"}, {"ModlParametersValue", "1 ТБ"}});
        modelSea =
            insert("Model", {{"ModlKind", kindH}, {"ModlName", "Seagate"}, {"ModlParametersValue", "2 ТБ"}});
        modelM = insert("Model", {{"ModlKind", kindM}, {"ModlName", "HP 12A"}});
        modelS = insert("Model", {{"ModlKind", kindS}, {"ModlName", "Windows 10"}});
        // Weights in the other order than the names and the keys.
        cn().execute("UPDATE Model SET ModlWeight = 2 WHERE IdModel = :K", {{"K", modelWd}});
        cn().execute("UPDATE Model SET ModlWeight = 1 WHERE IdModel = :K", {{"K", modelSea}});
        client = insert("Client", {{"ClntNameFull", "Ромашка"}});
        doc1 = insert("Document", {{"DocKind", "N"},
                                   {"DocNumber", "17"},
                                   {"DocDate", QDateTime(QDate(2024, 3, 5), QTime(0, 0))},
                                   {"DocClient", client}});
        doc2 = insert("Document", {{"DocKind", "N"},
                                   {"DocNumber", "18"},
                                   {"DocDate", QDateTime(QDate(2024, 4, 1), QTime(10, 30))},
                                   {"DocClient", client}});
        doc3 = insert("Document", {{"DocKind", "N"},
                                   {"DocNumber", "19"},
                                   {"DocDate", QDateTime(QDate(2024, 3, 20), QTime(0, 0))},
                                   {"DocClient", client}});
        e10 = element(pc, modelWd, kindH, doc1, 1, "100.5000");
        e11 = element(pc, modelSea, kindH, doc1, 2, "200.2500");
        e12 = element(printer, modelM, kindM, doc2, 1, "0.3333");
        e13 = element(pc, modelS, kindS, QVariant(), QVariant(), QVariant());
    }
    int element(int device, int model, int kind, const QVariant &doc, const QVariant &pos,
                const QVariant &price) {
        return insert("CompleteSet", {{"CmplIdDevice", device},
                                      {"CmplIdModel", model},
                                      {"ModelKind", kind},
                                      {"DocumentId", doc},
                                      {"DocumentPosition", pos},
                                      {"Price", price}});
    }

    std::unique_ptr<TModelListFM> model;
    std::unique_ptr<TDocumentListFM> docs;
    std::unique_ptr<TChangeListFM> change;
    std::unique_ptr<TSearchFM> search;
    int dep = 0, wp = 0, pc = 0, printer = 0, kindH = 0, kindM = 0, kindS = 0, modelWd = 0, modelSea = 0,
        modelM = 0, modelS = 0, client = 0, doc1 = 0, doc2 = 0, doc3 = 0, e10 = 0, e11 = 0, e12 = 0, e13 = 0;
};

int key(const DataSet &ds, const char *field) {
    return currentKey(ds, QString::fromLatin1(field));
}

// ---- model placement -------------------------------------------------------------------------

TEST_F(ViewsTest, ModelViewPositionsOnAnElementOfEachType) {
    model = std::make_unique<TModelListFM>();
    const struct {
        int *element, *kind, *model;
        const char *type;
    } cases[] = {{&e13, &kindS, &modelS, "S"},
                 {&e12, &kindM, &modelM, "M"},
                 {&e10, &kindH, &modelWd, "H"},
                 {&e11, &kindH, &modelSea, "H"}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.type);
        model->RefreshComponent(*c.element);
        EXPECT_EQ(model->kindType(), QString::fromLatin1(c.type));
        EXPECT_TRUE((c.type[0] == 'S'   ? model->acS
                     : c.type[0] == 'M' ? model->acM
                                        : model->acH)
                        ->isChecked());
        EXPECT_EQ(key(*model->taKind, "ID"), *c.kind);
        EXPECT_EQ(key(*model->taModel, "IdModel"), *c.model);
        EXPECT_EQ(key(*model->taSet, "IdComponent"), *c.element);
        EXPECT_EQ(model->taSet->value("HEXCode").toString(), ElementCodeText(*c.element));
    }
    // An element that is gone leaves the view where it was.
    model->RefreshComponent(999999);
    EXPECT_EQ(key(*model->taSet, "IdComponent"), e11);
    EXPECT_TRUE(boxes.isEmpty());
}

TEST_F(ViewsTest, ModelViewRemembersTheModelAcrossRuns) {
    model = std::make_unique<TModelListFM>();
    // Nothing remembered: the first kind of type H and its lightest model.
    EXPECT_EQ(model->kindType(), QStringLiteral("H"));
    EXPECT_EQ(key(*model->taModel, "IdModel"), modelSea);
    model->RefreshComponent(e13);
    EXPECT_EQ(model->rememberedModel(), modelS);
    model.reset();

    model = std::make_unique<TModelListFM>();
    EXPECT_EQ(model->kindType(), QStringLiteral("S"));
    EXPECT_TRUE(model->acS->isChecked());
    EXPECT_EQ(key(*model->taKind, "ID"), kindS);
    EXPECT_EQ(key(*model->taModel, "IdModel"), modelS);
}

TEST_F(ViewsTest, ModelViewSortsCharacteristicsByWeightNotByText) {
    model = std::make_unique<TModelListFM>();
    auto order = [&] {
        QList<int> keys;
        for (int r = 0; r < model->taModel->recordCount(); ++r)
            keys << model->taModel->valueAt(r, model->taModel->fieldByName("IdModel")->index()).toInt();
        return keys;
    };
    EXPECT_EQ(order(), (QList<int>{modelSea, modelWd}));
    EXPECT_EQ(model->grModel->sortMarkers(), (SortMarkers{{1, Qt::AscendingOrder}}));
    emit model->grModel->horizontalHeader()->sectionClicked(1);
    EXPECT_EQ(order(), (QList<int>{modelWd, modelSea}));
    EXPECT_EQ(key(*model->taModel, "IdModel"), modelSea) << "the current model stays current";
    emit model->grModel->horizontalHeader()->sectionClicked(2); // the note is not sortable
    EXPECT_EQ(model->grModel->sortMarkers(), (SortMarkers{{1, Qt::DescendingOrder}}));
}

// Each grid of the views sorts on its titles (by that column alone) and a double click on a row
// runs the grid's edit command, or its one command where it has no edit.
TEST_F(ViewsTest, GridsSortOnTheirTitlesAndADoubleClickRunsTheirCommand) {
    model = std::make_unique<TModelListFM>();
    docs = std::make_unique<TDocumentListFM>();
    change = std::make_unique<TChangeListFM>();
    model->RefreshComponent(e10);
    docs->RefreshDoc(doc1, 1);
    ASSERT_TRUE(change->taModel->locate(QStringLiteral("ID"), modelM));
    int edits = 0;
    model->links.completeSetEdit = [&](int, int, const QString &, int *, int *) {
        ++edits;
        return false;
    };
    docs->links.documentEdit = [&](int, int *) {
        ++edits;
        return false;
    };
    const struct {
        const char *what;
        QWidget *view;
        DataGrid *grid;
        int title;        // -1: a grid without titles
        const char *sort; // what the click asks of the dataset
        Action *command;
    } cases[] = {
        {"models: numbers", model.get(), model->grModel, 0, "ModlName;", nullptr},
        {"models: elements", model.get(), model->grPlace, -1, "", model->acElementEdit},
        {"documents", docs.get(), docs->grDoc, 3, "Sum;", docs->acEditDoc},
        {"positions", docs.get(), docs->grSpec, 4, "Price;", docs->acGoDevice},
        {"consumables", change.get(), change->grDevice, 1, "Number;", change->acGoDevice},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        c.view->resize(900, 700);
        c.view->show();
        QApplication::processEvents();
        if (c.title >= 0) {
            QHeaderView *h = c.grid->horizontalHeader();
            QTest::mouseClick(
                h->viewport(), Qt::LeftButton, Qt::NoModifier,
                QPoint(h->sectionViewportPosition(c.title) + h->sectionSize(c.title) / 2, h->height() / 2));
            EXPECT_EQ(c.grid->dataSet()->sort(), QString::fromLatin1(c.sort));
            EXPECT_EQ(c.grid->sortMarkers(), (SortMarkers{{c.title, Qt::AscendingOrder}}));
        }
        if (!c.command)
            continue;
        int triggered = 0;
        const QMetaObject::Connection counting =
            QObject::connect(c.command, &QAction::triggered, [&] { ++triggered; });
        ASSERT_GT(c.grid->dataSet()->recordCount(), 0);
        const QPoint cell = c.grid->visualRect(c.grid->currentIndex()).center();
        // A press and release, then the double click, as a mouse sends them.
        for (const auto &[type, buttons] : {std::pair{QEvent::MouseButtonPress, Qt::LeftButton},
                                            std::pair{QEvent::MouseButtonRelease, Qt::NoButton},
                                            std::pair{QEvent::MouseButtonDblClick, Qt::LeftButton},
                                            std::pair{QEvent::MouseButtonRelease, Qt::NoButton}}) {
            QMouseEvent e(type, cell, c.grid->viewport()->mapToGlobal(cell), Qt::LeftButton, buttons,
                          Qt::NoModifier);
            QApplication::sendEvent(c.grid->viewport(), &e);
        }
        QObject::disconnect(counting);
        EXPECT_EQ(triggered, 1);
    }
    EXPECT_EQ(edits, 2) << "the element and the document dialogs were asked for";
    EXPECT_TRUE(boxes.isEmpty()) << (boxes.isEmpty() ? "" : boxes[0].text.toStdString());
}

// The heavy face of the kind columns goes through the program's one font fallback in every grid
// that shows it: a Latin short name ("HDD") is drawn in the named face or one of its stand-ins,
// never in whatever face the system would substitute for a missing "Impact".
TEST_F(ViewsTest, KindCellsGetTheHeavyFaceThroughTheFallback) {
    cn().execute("UPDATE Kind SET ShortName = 'HDD' WHERE IdKind = :K", {{"K", kindH}});
    model = std::make_unique<TModelListFM>();
    docs = std::make_unique<TDocumentListFM>();
    model->RefreshComponent(e10);
    docs->RefreshDoc(doc1, 1);
    const struct {
        const char *what;
        DataGrid *grid;
        int column;
    } cases[] = {{"model view kinds", model->grKind, 0}, {"document positions", docs->grSpec, 1}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_GT(c.grid->model()->rowCount(), 0);
        const QModelIndex cell = c.grid->model()->index(0, c.column);
        const QVariant font = cell.data(Qt::FontRole);
        ASSERT_TRUE(font.isValid());
        const QFont f = font.value<QFont>();
        EXPECT_EQ(f.families(), FontFamilies(QStringLiteral("Impact")));
        const QFontInfo drawn(f);
        EXPECT_TRUE(FontFamilies(QStringLiteral("Impact")).contains(drawn.family(), Qt::CaseInsensitive))
            << drawn.family().toStdString();
    }
    EXPECT_EQ(docs->grSpec->model()->index(0, 1).data().toString(), QStringLiteral("HDD"));
}

TEST_F(ViewsTest, ModelViewFollowsAnEditedElementToItsNewModel) {
    model = std::make_unique<TModelListFM>();
    model->RefreshComponent(e10);
    QString typeSeen;
    model->links.completeSetEdit = [&](int compSet, int, const QString &type, int *saved, int *savedModel) {
        typeSeen = type;
        cn().execute("UPDATE CompleteSet SET CmplIdModel = :M WHERE IdComponent = :K",
                     {{"M", modelS}, {"K", compSet}});
        *saved = compSet;
        *savedModel = modelS;
        return true;
    };
    model->actions->updateAll();
    ASSERT_TRUE(model->acElementEdit->isEnabled());
    model->acElementEdit->trigger();
    EXPECT_EQ(typeSeen, QStringLiteral("H"));
    EXPECT_EQ(model->kindType(), QStringLiteral("S"));
    EXPECT_EQ(key(*model->taModel, "IdModel"), modelS);
    EXPECT_EQ(key(*model->taSet, "IdComponent"), e10);
}

TEST_F(ViewsTest, ModelViewChainMenuFollowsTheModelOfTheDialog) {
    model = std::make_unique<TModelListFM>();
    int given = 0;
    model->links.modelList = [&](int m, int) {
        given = m;
        return modelM;
    };
    ASSERT_EQ(model->pmChain->actions().size(), 4);
    model->acChainModel->trigger();
    EXPECT_EQ(given, modelSea);
    EXPECT_EQ(key(*model->taModel, "IdModel"), modelM);
    EXPECT_EQ(model->kindType(), QStringLiteral("M"));
}

// ---- documents -----------------------------------------------------------------------------

TEST_F(ViewsTest, RefreshDocSelectsTheDocumentAndPosition) {
    docs = std::make_unique<TDocumentListFM>();
    const struct {
        int *doc;
        int pos;
        int *expectDoc;
        int expectPos;
    } cases[] = {{&doc1, 2, &doc1, 2}, {&doc1, -1, &doc1, 1}, {&doc1, 0, &doc1, 1}, {&doc2, 1, &doc2, 1}};
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << *c.doc << " " << c.pos);
        docs->RefreshDoc(*c.doc, c.pos);
        EXPECT_EQ(key(*docs->taDoc, "ID"), *c.expectDoc);
        EXPECT_EQ(key(*docs->taSpec, "Position"), c.expectPos);
    }
    // -1 keeps the current document; a missing key (0: no document) lands on the first row.
    docs->RefreshDoc(-1, -1);
    EXPECT_EQ(key(*docs->taDoc, "ID"), doc2);
    docs->RefreshDoc(0, -1);
    EXPECT_EQ(docs->taDoc->recNo(), 0);
    EXPECT_EQ(key(*docs->taDoc, "ID"), doc2) << "newest first";

    docs->RefreshComponent(e11);
    EXPECT_EQ(key(*docs->taDoc, "ID"), doc1);
    EXPECT_EQ(key(*docs->taSpec, "Position"), 2);
    EXPECT_EQ(key(*docs->taSpec, "ID"), e11);
}

TEST_F(ViewsTest, DocumentsShowExactSumsAndTotals) {
    docs = std::make_unique<TDocumentListFM>();
    docs->RefreshDoc(doc1, -1);
    EXPECT_EQ(docs->taDoc->value("Sum").toString(), QStringLiteral("300.7500"));
    EXPECT_EQ(docs->grSpec->footerText(4), QStringLiteral("300,75\u00A0₽"));
    EXPECT_EQ(docs->grDoc->footerText(3), QStringLiteral("301,08\u00A0₽"))
        << "300.75 + 0.3333, kopecks rounded at the end";
    EXPECT_EQ(docs->grDoc->footerText(1), QStringLiteral("Документов: 3"));
}

TEST_F(ViewsTest, DeleteAsksOnFourLinesThenStandsOnThePreviousDocument) {
    docs = std::make_unique<TDocumentListFM>();
    docs->RefreshDoc(doc3, -1); // order: doc2, doc3, doc1
    const QString supplier = docs->taDoc->value("ClientName").toString();
    const QString name = docs->taDoc->value("DocName").toString();

    answer = false;
    docs->acDeleteDoc->trigger();
    ASSERT_EQ(boxes.size(), 1);
    EXPECT_EQ(boxes[0].title, QStringLiteral("Предупреждение"));
    EXPECT_EQ(boxes[0].text,
              QStringLiteral(
                  "Удалить: %1\r%2 от 20.03.2024\rпоставщик %3\rсумма 0,00\u00A0₽?")
                  .arg(doc3)
                  .arg(name, supplier));
    EXPECT_EQ(scalar("select count(*) from Document").toInt(), 3);

    answer = true;
    docs->acDeleteDoc->trigger();
    EXPECT_EQ(scalar("select count(*) from Document").toInt(), 2);
    EXPECT_EQ(key(*docs->taDoc, "ID"), doc2);

    // The time of day is shown when the date carries one; the first row gives way to the new first.
    docs->RefreshDoc(doc2, -1);
    boxes.clear();
    answer = false;
    docs->acDeleteDoc->trigger();
    ASSERT_EQ(boxes.size(), 1);
    EXPECT_TRUE(boxes[0].text.contains(QStringLiteral(" от 01.04.2024 10:30\r")))
        << boxes[0].text.toStdString();
    EXPECT_TRUE(boxes[0].text.endsWith(QStringLiteral("сумма 0,33\u00A0₽?")))
        << boxes[0].text.toStdString();
}

TEST_F(ViewsTest, TheDatePickerListsTheDocumentsFromItsDayOn) {
    auto listed = [&] {
        QVector<int> keys;
        for (int row = 0; row < docs->taDoc->recordCount(); ++row)
            keys << docs->taDoc->valueAt(row, docs->taDoc->fieldByName("ID")->index()).toInt();
        return keys;
    };
    docs = std::make_unique<TDocumentListFM>();
    EXPECT_EQ(docs->dtDoc->text(), QStringLiteral("все")) << "a new user sees every document";
    docs->RefreshDoc(doc1, -1);
    EXPECT_EQ(listed(), (QVector<int>{doc2, doc3, doc1}));

    // Choosing a day reopens the list from that day on, on the same document while it is listed.
    docs->RefreshDoc(doc2, -1);
    docs->dtDoc->setDate(QDate(2024, 3, 20));
    EXPECT_EQ(listed(), (QVector<int>{doc2, doc3})) << "the document of that very day stays";
    EXPECT_EQ(key(*docs->taDoc, "ID"), doc2);
    EXPECT_EQ(docs->grDoc->footerText(1), QStringLiteral("Документов: 2"));
    docs->dtDoc->setDate(QDate(2024, 3, 21));
    EXPECT_EQ(listed(), (QVector<int>{doc2}));

    // A jump to an earlier document moves the day back to it.
    docs->RefreshComponent(e11);
    EXPECT_EQ(docs->dtDoc->date(), QDate(2024, 3, 5));
    EXPECT_EQ(listed(), (QVector<int>{doc2, doc3, doc1}));
    EXPECT_EQ(key(*docs->taDoc, "ID"), doc1);
    EXPECT_EQ(key(*docs->taSpec, "Position"), 2);

    // A later day drops the current document from the list; the day stays where it was put.
    docs->dtDoc->setDate(QDate(2024, 4, 1));
    EXPECT_EQ(docs->dtDoc->date(), QDate(2024, 4, 1));
    EXPECT_EQ(listed(), (QVector<int>{doc2}));

    // The day is remembered for the next run.
    docs.reset();
    docs = std::make_unique<TDocumentListFM>();
    EXPECT_EQ(docs->dtDoc->date(), QDate(2024, 4, 1));
    docs->RefreshDoc(-1, -1);
    EXPECT_EQ(listed(), (QVector<int>{doc2}));

    // The lowest day stands for every document again.
    docs->dtDoc->setDate(docs->dtDoc->minimumDate());
    EXPECT_EQ(docs->dtDoc->text(), QStringLiteral("все"));
    EXPECT_EQ(listed(), (QVector<int>{doc2, doc3, doc1}));
    EXPECT_TRUE(boxes.isEmpty());
}

// ---- consumables ---------------------------------------------------------------------------

TEST(ChangeViewColours, ForecastColoursAtTheDayBoundaries) {
    const QDateTime today(QDate(2026, 3, 10), QTime(0, 0));
    const QColor red(255, 0, 0), green(0, 128, 0), plain;
    const struct {
        const char *what;
        QVariant next;
        QColor colour;
    } cases[] = {
        {"yesterday", QDateTime(QDate(2026, 3, 9), QTime(0, 0)), red},
        {"yesterday evening", QDateTime(QDate(2026, 3, 9), QTime(23, 59)), red},
        {"today at midnight", today, green},
        {"today after midnight", QDateTime(QDate(2026, 3, 10), QTime(9, 0)), green},
        {"today + 29 days", today.addDays(29), green},
        {"today + 29 days, late", QDateTime(today.date().addDays(29), QTime(23, 59)), green},
        {"today + 30 days at midnight", today.addDays(30), plain},
        {"today + 31 days", today.addDays(31), plain},
        {"no forecast", QVariant(), plain},
    };
    for (const auto &c : cases)
        EXPECT_EQ(TChangeListFM::forecastColor(c.next, today), c.colour) << c.what;
}

// The colour rule on the real view, against the program's clock: a forecast a month past is red,
// one due today or within 30 days green, a later one plain.
TEST_F(ViewsTest, ConsumablesColourTheForecastAgainstTheProgramsClock) {
    element(printer, modelM, kindM, QVariant(), QVariant(), QVariant());
    cn().execute("UPDATE CompleteSet SET CmplDateSet = :D WHERE IdComponent = :K",
                 {{"D", QDateTime(QDate(2026, 9, 12), QTime(10, 0))}, {"K", e12}});
    cn().execute("UPDATE CompleteSet SET CmplDateSet = :D WHERE CmplIdModel = :M AND IdComponent <> :K",
                 {{"D", QDateTime(QDate(2026, 10, 12), QTime(10, 0))}, {"M", modelM}, {"K", e12}});
    change = std::make_unique<TChangeListFM>();
    ASSERT_TRUE(change->taModel->locate(QStringLiteral("ID"), modelM));
    ASSERT_EQ(change->taDevice->recordCount(), 1);
    const QDate next = change->taDevice->value("DateNext").toDateTime().date();
    ASSERT_EQ(next, QDate(2026, 11, 11));
    const QColor red(255, 0, 0), green(0, 128, 0), plain;
    const struct {
        const char *what;
        QDateTime now;
        QColor colour;
    } cases[] = {
        {"a month past", QDateTime(QDate(2026, 12, 11), QTime(9, 0)), red},
        {"the day after", QDateTime(next.addDays(1), QTime(0, 0)), red},
        {"due today, late in the day", QDateTime(next, QTime(23, 0)), green},
        {"due in 29 days", QDateTime(next.addDays(-29), QTime(12, 0)), green},
        {"due in 30 days", QDateTime(next.addDays(-30), QTime(12, 0)), plain},
    };
    const QModelIndex cell = change->grDevice->model()->index(0, 3);
    for (const auto &c : cases) {
        SetProgramClock([&] { return c.now; });
        const QVariant colour = cell.data(Qt::ForegroundRole);
        EXPECT_EQ(colour.isValid() ? colour.value<QColor>() : QColor(), c.colour) << c.what;
    }
    SetProgramClock({});
    EXPECT_EQ(cell.data(Qt::DisplayRole).toString(), QStringLiteral("11.11.2026"));
}

TEST_F(ViewsTest, ConsumablesRefreshKeepsTheModelAndTheUse) {
    const int second = insert("DeviceUnit", {{"DevcIdWorkplace", wp}, {"DevcName", "Второй принтер"}});
    element(second, modelM, kindM, QVariant(), QVariant(), QVariant());
    change = std::make_unique<TChangeListFM>();
    ASSERT_EQ(change->taDevice->recordCount(), 2);
    change->taDevice->last();
    const int use = key(*change->taDevice, "ID");
    change->acRefreshDoc->trigger();
    EXPECT_EQ(key(*change->taModel, "ID"), modelM);
    EXPECT_EQ(key(*change->taDevice, "ID"), use);
    EXPECT_EQ(change->grDevice->columns().size(), 4);
}

// ---- search --------------------------------------------------------------------------------

TEST(SearchPieces, CutsTheNameAroundTheMatchAndEndsCutsWithAnEllipsis) {
    QFont regular(QStringLiteral("DejaVu Sans Mono"));
    regular.setPixelSize(12);
    QFont boldFont = regular;
    boldFont.setBold(true);
    const QFontMetrics rm(regular), bm(boldFont);
    using P = QList<TextPiece>;
    const QString name = QStringLiteral("Склад бухгалтерии");
    const int wide = 1000;

    // Lower case finds capitals; the match keeps the name's own case.
    P p = TSearchFM::namePieces(QStringLiteral("СКЛАД бухгалтерии"), QStringLiteral("склад"), rm, bm, wide);
    ASSERT_EQ(p.size(), 2) << "nothing before the match";
    EXPECT_EQ(p[0], (TextPiece{QStringLiteral("СКЛАД"), true, 4 + 1}));
    EXPECT_EQ(p[1].text, QStringLiteral(" бухгалтерии"));
    EXPECT_FALSE(p[1].bold);
    EXPECT_EQ(p[1].x, 5 + bm.horizontalAdvance(QStringLiteral("СКЛАД")) + 1 + 1);

    p = TSearchFM::namePieces(name, QStringLiteral("бух"), rm, bm, wide);
    ASSERT_EQ(p.size(), 3);
    EXPECT_EQ(p[0], (TextPiece{QStringLiteral("Склад "), false, 4}));
    EXPECT_EQ(p[1].text, QStringLiteral("бух"));
    EXPECT_TRUE(p[1].bold);
    EXPECT_EQ(p[2].text, QStringLiteral("галтерии"));

    // Too long: the last piece that starts is cut to end in "…", nothing comes after it.
    const int narrow = 4 + rm.horizontalAdvance(QStringLiteral("Склад ")) + 1 + 1 +
                       bm.horizontalAdvance(QStringLiteral("бух")) + 1 + 1 +
                       rm.horizontalAdvance(QStringLiteral("гал…")) + 1;
    p = TSearchFM::namePieces(name, QStringLiteral("бух"), rm, bm, narrow);
    ASSERT_EQ(p.size(), 3);
    EXPECT_EQ(p[2].text, QStringLiteral("гал…"));
    p = TSearchFM::namePieces(name, QStringLiteral("склад"), rm, bm,
                              4 + 1 + bm.horizontalAdvance(QStringLiteral("Ск…")) + 1);
    ASSERT_EQ(p.size(), 1) << "no room left for the rest";
    EXPECT_EQ(p[0].text, QStringLiteral("Ск…"));

    // A cell too narrow for "…" shows only its background.
    EXPECT_TRUE(TSearchFM::namePieces(name, QStringLiteral("бух"), rm, bm,
                                      4 + rm.horizontalAdvance(QStringLiteral("…")) + 1)
                    .isEmpty());

    // Blank pieces are not drawn and take no room; a name without the text is drawn whole.
    p = TSearchFM::namePieces(QStringLiteral("ПК   "), QStringLiteral("пк"), rm, bm, wide);
    ASSERT_EQ(p.size(), 1);
    EXPECT_EQ(p[0].text, QStringLiteral("ПК"));
    p = TSearchFM::namePieces(name, QStringLiteral("касса"), rm, bm, wide);
    ASSERT_EQ(p.size(), 1);
    EXPECT_EQ(p[0], (TextPiece{name, false, 4}));
}

// "ё" and "е" are one letter to the search: a hit found through them is bold like an exact one.
TEST(SearchPieces, YoAndYeMatchEachOther) {
    QFont regular(QStringLiteral("DejaVu Sans"));
    regular.setPixelSize(12);
    QFont boldFont = regular;
    boldFont.setBold(true);
    const QFontMetrics rm(regular), bm(boldFont);
    const struct {
        const char *name, *search, *bold;
    } cases[] = {
        {"Учёт материалов", "учет", "Учёт"},
        {"Учет материалов", "учёт", "Учет"},
        {"ЁЛКА новогодняя", "елка", "ЁЛКА"},
        {"Склад Елисеева", "ёлис", "Елис"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const QList<TextPiece> p =
            TSearchFM::namePieces(QString::fromUtf8(c.name), QString::fromUtf8(c.search), rm, bm, 1000);
        QStringList bold;
        for (const TextPiece &piece : p)
            if (piece.bold)
                bold << piece.text;
        EXPECT_EQ(bold, QStringList{QString::fromUtf8(c.bold)});
    }
}

// A search without hits says so in the list; a search with hits shows them alone.
TEST_F(ViewsTest, SearchSaysWhenNothingWasFound) {
    search = std::make_unique<TSearchFM>();
    search->resize(600, 400);
    search->show();
    EXPECT_FALSE(search->laNothing->isVisible()) << "nothing searched yet";
    const struct {
        const char *text;
        bool found;
    } cases[] = {{"кассир", true}, {"нет такого", false}, {"ПК кассира", true}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.text);
        search->cbFind->setEditText(QString::fromUtf8(c.text));
        search->Find();
        EXPECT_EQ(search->taSearch->isEmpty(), !c.found);
        EXPECT_EQ(search->laNothing->isVisible(), !c.found);
        EXPECT_EQ(search->laNothing->text(), QStringLiteral("Ничего не найдено."));
    }
    search->cbFind->setEditText(QStringLiteral("друго"));
    EXPECT_FALSE(search->laNothing->isVisible()) << "typing closes the hits and the note";
}

TEST_F(ViewsTest, SearchHistoryKeepsTheSixteenLatestTextsOnce) {
    search = std::make_unique<TSearchFM>();
    for (int i = 1; i <= 17; ++i) {
        search->cbFind->setEditText(QStringLiteral("  поиск %1 ").arg(i));
        search->RememberSearch();
    }
    QStringList expected;
    for (int i = 2; i <= 17; ++i)
        expected << QStringLiteral("поиск %1").arg(i);
    EXPECT_EQ(search->history(), expected);
    search->cbFind->setEditText(QStringLiteral("ПОИСК 5"));
    search->RememberSearch();
    EXPECT_EQ(search->history(), expected) << "the same text in another case is not added again";
    search.reset();

    search = std::make_unique<TSearchFM>();
    EXPECT_EQ(search->history(), expected) << "kept across runs";
}

TEST_F(ViewsTest, SearchRunsAfterAPauseAndTypingClosesTheHits) {
    search = std::make_unique<TSearchFM>();
    for (const char *text : {"", "к", "  к  ", "\tк\n"}) {
        search->cbFind->setEditText(QString::fromUtf8(text));
        EXPECT_FALSE(search->acFind->updateEnabled()) << text;
    }
    search->cbFind->setEditText(QStringLiteral("касс"));
    EXPECT_TRUE(search->acFind->updateEnabled());
    EXPECT_TRUE(search->tmTyping->isActive()) << "typing waits for a pause";
    EXPECT_FALSE(search->taSearch->isActive());
    ASSERT_TRUE(QTest::qWaitFor([&] { return search->taSearch->isActive(); }, 5000));
    ASSERT_EQ(search->taSearch->recordCount(), 2); // the workplace and the computer
    search->actions->updateAll();
    EXPECT_TRUE(search->acGoTree->isEnabled());
    EXPECT_FALSE(search->acGoModel->isEnabled()) << "nodes have no model";

    search->cbFind->setEditText(QStringLiteral("касси"));
    EXPECT_FALSE(search->taSearch->isActive());
    search->actions->updateAll();
    EXPECT_FALSE(search->acGoTree->isEnabled());
    EXPECT_FALSE(search->acGoDocument->isEnabled());
    EXPECT_FALSE(search->acGoModel->isEnabled());
    EXPECT_TRUE(boxes.isEmpty());
}

// ---- jumps and reports through the main window -----------------------------------------------

class JumpsTest : public ViewsTest {
protected:
    void SetUp() override {
        ViewsTest::SetUp();
        if (HasFatalFailure())
            return;
        previousLauncher = SetBrowserLauncher([this](const QString &browser, const QString &address) {
            opened << (browser.isEmpty() ? QString() : browser + QStringLiteral(" ")) + address;
        });
        previousViewer = SetReportViewer([this](const ReportTable &r) { rendered << r.title; });
        main = std::make_unique<TMainFM>();
        main->show();
        layout().ReloadTree();
    }
    void TearDown() override {
        main.reset();
        SetBrowserLauncher(previousLauncher);
        SetReportViewer(previousViewer);
        ReportSettings{}.save();
        ViewsTest::TearDown();
    }
    TLayoutMainFM &layout() { return *main->layoutView(); }
    TReference selected() { return layout().treeModel->reference(layout().tvPlace->currentIndex()); }

    std::unique_ptr<TMainFM> main;
    BrowserLauncher previousLauncher;
    ReportViewer previousViewer;
    QStringList opened, rendered;
};

TEST_F(JumpsTest, EachJumpLandsOnTheRightRow) {
    // Placement → document: the element's document and position.
    layout().FindNode(QStringLiteral("V"), pc);
    layout().taSet->locate(QStringLiteral("ID"), e11);
    layout().actions->updateAll();
    ASSERT_TRUE(layout().acGoDocument->isEnabled());
    layout().acGoDocument->trigger();
    EXPECT_EQ(main->pcMain->currentWidget(), main->tsDocument);
    EXPECT_EQ(key(*main->documentView()->taDoc, "ID"), doc1);
    EXPECT_EQ(key(*main->documentView()->taSpec, "Position"), 2);

    // Placement → model: the element's kind, model and row.
    main->showLayout();
    layout().acGoModel->trigger();
    EXPECT_EQ(main->pcMain->currentWidget(), main->tsModel);
    EXPECT_EQ(key(*main->modelView()->taSet, "IdComponent"), e11);

    // Model → placement: the element's device.
    main->modelView()->RefreshComponent(e12);
    main->modelView()->asGoDevice->trigger();
    EXPECT_EQ(main->pcMain->currentWidget(), main->tsLayout);
    EXPECT_EQ(selected().Kind, QStringLiteral("V"));
    EXPECT_EQ(selected().Id, printer);

    // Documents → placement: the position's device.
    main->showDocument()->RefreshDoc(doc1, 2);
    main->documentView()->acGoDevice->trigger();
    EXPECT_EQ(selected().Id, pc);

    // Consumables → placement: the use row's device.
    main->pcMain->setCurrentWidget(main->tsChage);
    main->changeView()->acGoDevice->trigger();
    EXPECT_EQ(selected().Kind, QStringLiteral("V"));
    EXPECT_EQ(selected().Id, printer);

    // Search → placement, model and document.
    TSearchFM *s = main->showSearch();
    s->cbFind->setEditText(QStringLiteral("кассир"));
    s->Find();
    ASSERT_TRUE(s->taSearch->locate(QStringLiteral("Kind"), QStringLiteral("W")));
    s->acGoTree->trigger();
    EXPECT_EQ(selected().Kind, QStringLiteral("W"));
    EXPECT_EQ(selected().Id, wp);
    EXPECT_EQ(s->history(), QStringList{QStringLiteral("кассир")});

    // The placement view's jumps into the network and users tabs.
    layout().FindNode(QStringLiteral("W"), wp);
    layout().actions->updateAll();
    ASSERT_TRUE(layout().acGoNet->isEnabled());
    ASSERT_TRUE(layout().acGoUser->isEnabled());
    layout().acGoNet->trigger();
    EXPECT_EQ(main->pcMain->currentWidget(), main->tsNet);
    EXPECT_TRUE(main->netView()->calls.contains(QStringLiteral("RefreshWorkPlace(%1)").arg(wp)));
    main->showLayout();
    layout().acGoUser->trigger();
    EXPECT_EQ(main->pcMain->currentWidget(), main->tsUser);
    EXPECT_TRUE(main->userView()->calls.contains(QStringLiteral("RefreshWorkplace(%1)").arg(wp)));
    main->showLayout();
    layout().FindNode(QStringLiteral("V"), pc);
    layout().acGoNet->trigger();
    EXPECT_TRUE(main->netView()->calls.contains(QStringLiteral("RefreshNet(%1)").arg(pc)));
    EXPECT_TRUE(boxes.isEmpty()) << boxes.value(0).text.toStdString();
}

TEST_F(JumpsTest, ElementWithoutADocumentCannotJumpToOne) {
    layout().FindNode(QStringLiteral("V"), pc);
    layout().ShowSetType(QStringLiteral("S"));
    ASSERT_TRUE(layout().taSet->locate(QStringLiteral("ID"), e13));
    layout().actions->updateAll();
    EXPECT_FALSE(layout().acGoDocument->isEnabled());
    EXPECT_TRUE(layout().acGoModel->isEnabled());
    layout().FindNode(QStringLiteral("D"), dep);
    layout().actions->updateAll();
    EXPECT_FALSE(layout().acPrint->isEnabled());
    EXPECT_FALSE(layout().acGoNet->isEnabled());
}

TEST_F(JumpsTest, ReportsGoToTheServerWhenOneIsSetElseVelmoraRendersThem) {
    layout().FindNode(QStringLiteral("V"), pc);
    layout().actions->updateAll();
    ASSERT_TRUE(layout().acPrint->isEnabled());
    layout().acPrint->trigger();
    EXPECT_EQ(rendered, QStringList{QStringLiteral("Устройство «ПК кассира»")});
    EXPECT_TRUE(opened.isEmpty());

    ReportSettings{QStringLiteral("rs.example"), QStringLiteral("rs.example.org"), QString(),
                   QStringLiteral("firefox")}
        .save();
    layout().acPrint->trigger();
    layout().FindNode(QStringLiteral("W"), wp);
    layout().acPrint->trigger();
    const QList<QAction *> menu = layout().pmReport->actions();
    ASSERT_EQ(menu.size(), 3);
    EXPECT_EQ(menu[0]->text(), QStringLiteral("Последние перемещения"));
    EXPECT_TRUE(menu[1]->isSeparator());
    menu[2]->trigger();
    main->showDocument()->RefreshDoc(doc1, -1);
    main->documentView()->acDocPrint->trigger();
    const QString base =
        QStringLiteral("firefox http://rs.example/ReportServer/Pages/ReportViewer.aspx?%2fVelmora%2f");
    EXPECT_EQ(opened, (QStringList{base + QStringLiteral("device&rs:Command=Render&DV=%1").arg(pc),
                                   base + QStringLiteral("workplace&rs:Command=Render&WP=%1").arg(wp),
                                   base + QStringLiteral("prevention"),
                                   base + QStringLiteral("document&rs:Command=Render&DOC=%1").arg(doc1)}));

    // The checklist goes to the external host in the default browser.
    opened.clear();
    OpenChecklistReport(7);
    EXPECT_EQ(opened, QStringList{QStringLiteral(
                          "http://rs.example.org/ReportServer/Pages/ReportViewer.aspx?%2fVelmora%2f"
                          "user.install&rs:Command=Render&User=7")});
    EXPECT_TRUE(boxes.isEmpty()) << boxes.value(0).text.toStdString();
}

TEST_F(JumpsTest, AReportOfARowDeletedMeanwhileSaysSo) {
    main->showDocument()->RefreshDoc(doc3, -1);
    cn().execute("DELETE FROM Document WHERE IdDocument = :K", {{"K", doc3}});
    main->documentView()->acDocPrint->trigger();
    EXPECT_TRUE(rendered.isEmpty());
    ASSERT_EQ(boxes.size(), 1);
    EXPECT_TRUE(boxes[0].text.contains(QStringLiteral("удалили на другом рабочем месте")))
        << boxes[0].text.toStdString();
}

TEST(ReportHosts, TheExternalHostOnlyOnTheDeveloperMachineNamedExactly) {
    const ReportSettings s{
        QStringLiteral("inner"), QStringLiteral("outer.example.org"), QStringLiteral("DevBox"), {}};
    EXPECT_EQ(ReportHost(s, QStringLiteral("DevBox")), QStringLiteral("outer.example.org"));
    EXPECT_EQ(ReportHost(s, QStringLiteral("devbox")), QStringLiteral("inner"));
    EXPECT_EQ(ReportHost(s, QStringLiteral("DEVBOX")), QStringLiteral("inner"));
    EXPECT_EQ(ReportHost(s, QStringLiteral("kassa-1")), QStringLiteral("inner"));
    EXPECT_EQ(ReportHost(ReportSettings{QStringLiteral("inner"), {}, {}, {}}, QString()),
              QStringLiteral("inner"))
        << "no developer machine set: an empty name is no match";
}

TEST(ReportHosts, EveryReportTextNamesItsReportAndKey) {
    const struct {
        const char *text, *name;
        int key;
    } cases[] = {
        {"device&rs:Command=Render&DV=42", "device", 42},
        {"workplace&rs:Command=Render&WP=7", "workplace", 7},
        {"last.move", "last.move", -1},
        {"prevention", "prevention", -1},
        {"document&rs:Command=Render&DOC=3", "document", 3},
        {"computer.list", "computer.list", -1},
        {"user.info&rs:Command=Render&ID=5", "user.info", 5},
        {"user.list", "user.list", -1},
        {"mail.box", "mail.box", -1},
        {"user.install&rs:Command=Render&User=9", "user.install", 9},
    };
    for (const auto &c : cases) {
        QString name;
        int key = 0;
        ASSERT_TRUE(ParseReportText(QString::fromLatin1(c.text), &name, &key)) << c.text;
        EXPECT_EQ(name, QString::fromLatin1(c.name));
        EXPECT_EQ(key, c.key) << c.text;
        EXPECT_EQ(ReportServerAddress(QStringLiteral("H"), QString::fromLatin1(c.text)),
                  QStringLiteral("http://H/ReportServer/Pages/ReportViewer.aspx?%2fVelmora%2f") +
                      QString::fromLatin1(c.text));
    }
    EXPECT_EQ(ReportNames().size(), 10);
    EXPECT_FALSE(ParseReportText(QStringLiteral("nothing"), nullptr, nullptr));
}

} // namespace
