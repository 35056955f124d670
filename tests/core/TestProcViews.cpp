// The grids of the model, document, consumable and search views, called the way the views call
// them, on both engines.
#include "TestDatabase.h"
#include "data/DataSet.h"
#include "data/Errors.h"
#include "data/TessalADO.h"
#include "data/TessalString.h"

#include <QDateTime>
#include <QSet>

namespace {

using Row = QVariantMap;

QDateTime at(int y, int m, int d, int h = 0, int min = 0) {
    return QDateTime(QDate(y, m, d), QTime(h, min));
}

class ViewProcTest : public ServerTest {
protected:
    // The rows of a grid, each as column -> value, in the order the procedure gave them.
    std::vector<Row> grid(const QString &command, const TypedValues &args = {}) {
        DataSet ds(&cn());
        ds.setCommand(command, command.startsWith(QStringLiteral("EXECUTE")) ? CommandType::Text
                                                                             : CommandType::StoredProc);
        OpenWithParams(ds, args);
        std::vector<Row> out;
        for (ds.first(); !ds.eof(); ds.next()) {
            Row r;
            for (int i = 0; i < ds.fieldCount(); ++i)
                r.insert(ds.field(i)->name(), ds.field(i)->value());
            out.push_back(r);
        }
        return out;
    }

    QVariant kind(const char *type, const char *name, const QVariant &shortName = {}) {
        return insert("Kind",
                      {{"KindType", type}, {"KindName", QString::fromUtf8(name)}, {"ShortName", shortName}});
    }
    QVariant model(const QVariant &kind, const char *name, const QVariantMap &more = {}) {
        QVariantMap v = more;
        v.insert("ModlKind", kind);
        v.insert("ModlName", QString::fromUtf8(name));
        return insert("Model", v);
    }
    QVariant department(const char *name, const QVariant &higher = {}) {
        return insert("Department", {{"DprtName", QString::fromUtf8(name)}, {"DprtIdHigher", higher}});
    }
    QVariant workplace(const QVariant &dep, const char *name) {
        return insert("Workplace", {{"WrkpIdDepartment", dep}, {"WrkpName", QString::fromUtf8(name)}});
    }
    QVariant device(const QVariant &wp, const char *name, const QVariant &kind = {}) {
        return insert("DeviceUnit",
                      {{"DevcIdWorkplace", wp}, {"DevcName", QString::fromUtf8(name)}, {"DevcIdKind", kind}});
    }
    QVariant element(const QVariant &dev, const QVariant &model, const QVariantMap &more = {}) {
        QVariantMap v = more;
        v.insert("CmplIdDevice", dev);
        v.insert("CmplIdModel", model);
        return insert("CompleteSet", v);
    }
};

using ViewProcs = ViewProcTest;

// ---- search ---------------------------------------------------------------------------------

class SearchTest : public ViewProcTest {
protected:
    void SetUp() override {
        ViewProcTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        const QVariant h = kind("H", "Память"), m = kind("M", "Картридж"), s = kind("S", "Программа");
        hm = model(h, "DDR4 8GB");
        mm = model(m, "HP 12A");
        sm = model(s, "Офис 2021");
        doc = insert("Document", {{"DocNumber", "5"}});
        dSklad = department("СКЛАД");
        dPercent = department("Скидка 50% на всё");
        dFive = department("Партия 500 штук");
        wQuote = workplace(dSklad, "Стол \"Южный\"");
        wApos = workplace(dSklad, "O'Brien");
        wUnder = workplace(dFive, "a_b");
        wPlain = workplace(dFive, "axb");
        vHedgehog = device(wQuote, "Ёжик-принтер");
        vSlash = device(wQuote, "C:\\temp");
        eH = element(vHedgehog, hm, {{"NumberManufact", "SN-7701"}, {"DocumentId", doc}});
        eM = element(vHedgehog, mm, {{"NumberManufact", "sn-7702"}});
        eS = element(vSlash, sm, {{"CmplNumber", "Склад-лиц"}});
    }
    QVariant hm, mm, sm, doc, dSklad, dPercent, dFive, wQuote, wApos, wUnder, wPlain, vHedgehog, vSlash, eH,
        eM, eS;
};

TEST_P(SearchTest, FindsTheTextLiterallyWithoutRegardToCase) {
    using Hit = std::pair<QString, int>; // Kind, ID
    const auto hit = [](const char *k, const QVariant &id) {
        return Hit{QString::fromLatin1(k), id.toInt()};
    };
    const struct {
        const char *text;
        std::vector<Hit> expected; // in the order of the result
    } cases[] = {
        {"склад", {hit("D", dSklad), hit("S", eS)}},
        {"Склад", {hit("D", dSklad), hit("S", eS)}},
        {"  СкЛаД  ", {hit("D", dSklad), hit("S", eS)}},
        {"ск", {hit("D", dPercent), hit("D", dSklad), hit("S", eS)}}, // two characters: no trigram
        {"ёж", {hit("V", vHedgehog)}},
        {"ЁЖИК", {hit("V", vHedgehog)}},
        {"еж", {hit("V", vHedgehog)}}, // "ё" is read as "е", with two characters and with more
        {"ЕЖИК-п", {hit("V", vHedgehog)}},
        {"50%", {hit("D", dPercent)}}, // not "500"
        {"%", {}},                     // one character
        {"a_b", {hit("W", wUnder)}},   // not "axb"
        {"\"Южный\"", {hit("W", wQuote)}},
        {"л \"", {hit("W", wQuote)}},
        {"o'b", {hit("W", wApos)}},
        {"'b", {hit("W", wApos)}},
        {":\\t", {hit("V", vSlash)}},
        {"sn-770", {hit("H", eH), hit("M", eM)}},
        {"x", {}},
        {"   ", {}},
        {"нет такого", {}},
    };
    for (const auto &c : cases) {
        const QString text = QString::fromUtf8(c.text);
        SCOPED_TRACE(c.text);
        std::vector<Hit> got;
        for (const Row &r : grid("GridSearch;1", {TypedValue::Text(text)})) {
            got.push_back({r["Kind"].toString(), r["ID"].toInt()});
            EXPECT_TRUE(ContainsText(r["Name"].toString(), text.trimmed()))
                << r["Name"].toString().toStdString();
        }
        EXPECT_EQ(got, c.expected);
    }
}

TEST_P(SearchTest, ElementHitsCarryTheirModelAndDocument) {
    const std::vector<Row> rows = grid("GridSearch;1", {TypedValue::Text("SN-77")});
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0]["Name"].toString(), QStringLiteral("DDR4 8GB / SN-7701"));
    EXPECT_EQ(rows[0]["Document"].toInt(), doc.toInt());
    EXPECT_FALSE(rows[0]["Model"].isNull());
    EXPECT_TRUE(rows[1]["Document"].isNull()) << "an element without a document";

    const std::vector<Row> nodes = grid("GridSearch;1", {TypedValue::Text("склад")});
    ASSERT_FALSE(nodes.empty());
    EXPECT_EQ(nodes[0]["Kind"].toString(), QStringLiteral("D"));
    EXPECT_TRUE(nodes[0]["Model"].isNull());
    EXPECT_TRUE(nodes[0]["Document"].isNull());
}

TEST_P(SearchTest, NodesComeBeforeElementsEachByName) {
    element(vSlash, mm, {{"CmplNumber", "Ст-1"}});
    element(vSlash, hm, {{"CmplNumber", "Ст-2"}});
    device(wPlain, "Стенд");
    workplace(dFive, "Я-стойка");
    workplace(dFive, "б-стойка");
    department("Стеллаж");
    const QStringList expected{"D:Стеллаж", "W:б-стойка",        "W:Стол \"Южный\"", "W:Я-стойка",
                               "V:Стенд",   "H:DDR4 8GB / Ст-2", "M:HP 12A / Ст-1"};
    for (const char *text : {"ст", "СТ", "Ст"}) {
        QStringList order;
        for (const Row &r : grid("GridSearch;1", {TypedValue::Text(QString::fromUtf8(text))}))
            order << r["Kind"].toString() + u':' + r["Name"].toString();
        EXPECT_EQ(order, expected) << text;
    }
}

TEST_P(SearchTest, AChangedNameIsFoundUnderItsNewText) {
    cn().execute("UPDATE DeviceUnit SET DevcName = 'Сканер' WHERE IdDevice = :D", {{"D", vHedgehog}});
    EXPECT_TRUE(grid("GridSearch;1", {TypedValue::Text("ёжик")}).empty());
    ASSERT_EQ(grid("GridSearch;1", {TypedValue::Text("СКАНЕР")}).size(), 1u);
}

// Thousands of serial numbers that share their first characters, as a real inventory holds: every
// text finds exactly the texts that contain it, however common its parts are, е and ё alike.
TEST_P(SearchTest, TextsWithPartsEveryNumberSharesFindExactlyTheirHolders) {
    const QString series = pg() ? QStringLiteral("SELECT generate_series(1, 5000) AS n")
                                : QStringLiteral("WITH RECURSIVE s(n) AS (SELECT 1 UNION ALL SELECT n + 1 "
                                                 "FROM s WHERE n < 5000) SELECT n FROM s");
    const QString serial = pg() ? QStringLiteral("'SN' || lpad(n::text, 9, '0')")
                                : QStringLiteral("'SN' || substr('000000000' || n, -9)");
    cn().execute(QStringLiteral("INSERT INTO CompleteSet (CmplIdDevice, CmplIdModel, NumberManufact) "
                                "SELECT :D, :M, %1 FROM (%2) x")
                     .arg(serial, series),
                 {{QStringLiteral("D"), vSlash}, {QStringLiteral("M"), hm}});
    element(vSlash, hm, {{"NumberManufact", "XY4321-77"}});   // the rare part without the rest
    element(vSlash, hm, {{"NumberManufact", "ёж000004321"}}); // е and ё are one letter
    element(vSlash, hm, {{"NumberSeller", "SN00000 4321"}});  // the parts apart

    for (const char *text : {"SN000004321", "sn000004321", "000004321", "04321", "4321", "ЕЖ000004",
                             "ёж0000043", "sn00000432", "n0000043", "21-77", "sn000050001", "0 43"}) {
        SCOPED_TRACE(text);
        const QString folded = FoldText(QString::fromUtf8(text));
        QSet<QString> expected;
        for (const auto &r : cn().query(QStringLiteral("SELECT Kind, ID FROM SearchText WHERE %1")
                                            .arg(pg() ? QStringLiteral("strpos(Folded, :F) > 0")
                                                      : QStringLiteral("instr(Folded, :F) > 0")),
                                        {{QStringLiteral("F"), folded}})
                                 .rows)
            expected.insert(r[0].toString().trimmed() + u':' + r[1].toString());
        QSet<QString> got;
        for (const Row &r : grid("GridSearch;1", {TypedValue::Text(QString::fromUtf8(text))}))
            got.insert((QStringLiteral("DWV").contains(r["Kind"].toString()) ? r["Kind"].toString()
                                                                             : QStringLiteral("E")) +
                       u':' + r["ID"].toString());
        EXPECT_EQ(got, expected);
    }
}

VELMORA_BOTH_ENGINES(SearchTest);

// ---- documents ------------------------------------------------------------------------------

TEST_P(ViewProcs, DocumentsNewestFirstWithExactSums) {
    const QVariant tm = insert("Trademark", {{"Name", "HP"}});
    const QVariant firm = insert("Client", {{"ClntNameFull", "ООО Ромашка"}, {"Trademark", tm}});
    const QVariant dev = device(workplace(department("Склад"), "Стол"), "ПК");
    const QVariant mdl = model(kind("H", "Диск"), "SSD");
    const QVariant march =
        insert("Document", {{"DocNumber", "17"}, {"DocDate", at(2024, 3, 1)}, {"DocClient", firm}});
    const QVariant may1 = insert("Document", {{"DocNumber", "18"}, {"DocDate", at(2024, 5, 1)}});
    const QVariant may2 = insert("Document", {{"DocDate", at(2024, 5, 1)}});
    const QVariant undated = insert("Document", {{"DocNumber", "1"}, {"DocDate", QVariant()}});
    for (const char *price : {"0.1", "0.2"})
        element(dev, mdl, {{"DocumentId", march}, {"Price", price}});
    for (const char *price : {"12345678901234.5678", "0.0001"})
        element(dev, mdl, {{"DocumentId", may1}, {"Price", price}});
    element(dev, mdl, {{"DocumentId", may2}}); // no price

    const std::vector<Row> rows = grid("GridDocumentList;1");
    QVector<int> keys;
    for (const Row &r : rows)
        keys << r["ID"].toInt();
    EXPECT_EQ(keys, (QVector<int>{may2.toInt(), may1.toInt(), march.toInt(), undated.toInt()}))
        << "newest first, the later key first on one day, no date last";
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[2]["Sum"].toString(), QStringLiteral("0.3000"));
    EXPECT_EQ(rows[1]["Sum"].toString(), QStringLiteral("12345678901234.5679"))
        << "beyond a double's precision";
    EXPECT_EQ(rows[0]["Sum"].toString(), QStringLiteral("0.0000"));
    EXPECT_EQ(rows[2]["DocName"].toString(), QStringLiteral("Накладная № 17"));
    EXPECT_EQ(rows[0]["DocName"].toString(), QStringLiteral("Накладная б/н"));
    EXPECT_EQ(rows[2]["ClientName"].toString(), QStringLiteral("HP: ООО Ромашка"));
    EXPECT_TRUE(rows[1]["ClientName"].isNull());
    EXPECT_EQ(rows[2]["DocDate"].toDateTime(), at(2024, 3, 1));
}

TEST_P(ViewProcs, DocumentsFromADayOn) {
    const QVariant dev = device(workplace(department("Склад"), "Стол"), "ПК");
    const QVariant mdl = model(kind("H", "Диск"), "SSD");
    const QVariant before = insert("Document", {{"DocNumber", "1"}, {"DocDate", at(2024, 4, 30, 23, 59)}});
    const QVariant sameDay = insert("Document", {{"DocNumber", "2"}, {"DocDate", at(2024, 5, 1, 0, 0)}});
    const QVariant later = insert("Document", {{"DocNumber", "3"}, {"DocDate", at(2024, 5, 1, 17, 30)}});
    const QVariant undated = insert("Document", {{"DocNumber", "4"}, {"DocDate", QVariant()}});
    element(dev, mdl, {{"DocumentId", before}, {"Price", "100"}});
    element(dev, mdl, {{"DocumentId", later}, {"Price", "2.5"}});

    auto keys = [&](const TypedValues &args) {
        QVector<int> out;
        for (const Row &r : grid("GridDocumentList;1", args))
            out << r["ID"].toInt();
        return out;
    };
    const QVector<int> all{later.toInt(), sameDay.toInt(), before.toInt(), undated.toInt()};
    const QVector<int> fromMay{later.toInt(), sameDay.toInt(), undated.toInt()};
    const struct {
        const char *what;
        TypedValues args;
        QVector<int> expected;
    } cases[] = {
        {"no day", {}, all},
        {"Null", {TypedValue::Variant(QVariant())}, all},
        {"the day itself, at midnight", {TypedValue::Variant(at(2024, 5, 1))}, fromMay},
        {"a time within the day counts from its start",
         {TypedValue::Variant(at(2024, 5, 1, 12, 0))},
         fromMay},
        {"a day after every dated one", {TypedValue::Variant(at(2030, 1, 1))}, {undated.toInt()}},
    };
    for (const auto &c : cases)
        EXPECT_EQ(keys(c.args), c.expected) << c.what;
    const std::vector<Row> rows = grid("GridDocumentList;1", {TypedValue::Variant(at(2024, 5, 1))});
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0]["Sum"].toString(), QStringLiteral("2.5000")) << "the sum of a listed document";
    EXPECT_THROW(grid("GridDocumentList;1", {TypedValue::Text("вчера")}), AppError);
}

TEST_P(ViewProcs, DocumentPositionsWithTheirPlace) {
    const QVariant top = department("Главный офис");
    const QVariant acc = department("Бухгалтерия", top);
    const QVariant dev = device(workplace(acc, "Стол 3"), "ПК-12");
    const QVariant disk = kind("H", "Накопитель", "Диск");
    const QVariant ram = kind("H", "Модули оперативной памяти");
    const QVariant ssd = model(disk, "Samsung 870", {{"ModlParametersValue", "500 ГБ"}});
    const QVariant dimm = model(ram, "DDR4");
    const QVariant doc = insert("Document", {{"DocNumber", "9"}, {"DocDate", at(2023, 1, 31)}});
    const QVariant second =
        element(dev, dimm, {{"DocumentId", doc}, {"DocumentPosition", 2}, {"Price", "10"}});
    const QVariant first = element(dev, ssd,
                                   {{"DocumentId", doc},
                                    {"DocumentPosition", 1},
                                    {"Price", "5499.99"},
                                    {"NumberManufact", "S1"},
                                    {"CmplNumber", "ОИТ-4"},
                                    {"Warranty", 1},
                                    {"CmplDateSet", at(2023, 2, 10, 9, 30)},
                                    {"DateManufact", at(2022, 12, 1)}});
    element(dev, dimm, {{"DocumentId", insert("Document", {{"DocNumber", "10"}})}}); // another document

    const std::vector<Row> rows = grid("EXECUTE GridDocumentPosition :ID", {TypedValue::Int(doc.toInt())});
    ASSERT_EQ(rows.size(), 2u);
    Row r = rows[0];
    EXPECT_EQ(r["ID"].toInt(), first.toInt());
    EXPECT_EQ(r["Position"].toInt(), 1);
    EXPECT_EQ(r["Kind"].toString(), QStringLiteral("Диск")) << "the short name when there is one";
    EXPECT_EQ(r["Model"].toString(), QStringLiteral("Samsung 870, 500 ГБ"));
    EXPECT_EQ(r["Number"].toString(), QStringLiteral("S1 / ОИТ-4"));
    EXPECT_EQ(r["Price"].toString(), QStringLiteral("5499.9900"));
    EXPECT_EQ(r["Department"].toString(), QStringLiteral("Главный офис / Бухгалтерия"));
    EXPECT_EQ(r["Place"].toString(), QStringLiteral("Стол 3"));
    EXPECT_EQ(r["Device"].toString(), QStringLiteral("ПК-12"));
    EXPECT_EQ(r["Last"].toDateTime(), at(2023, 2, 10, 9, 30));
    EXPECT_EQ(r["Warranty"].toDateTime(), at(2023, 2, 28)) << "one month from the document's 31 January";
    EXPECT_EQ(r["Manufact"].toDateTime(), at(2022, 12, 1));
    EXPECT_EQ(r["IDDevice"].toInt(), dev.toInt());
    r = rows[1];
    EXPECT_EQ(r["ID"].toInt(), second.toInt());
    EXPECT_EQ(r["Kind"].toString(), QStringLiteral("Модули оперативной п")) << "the name, cut to the column";
    EXPECT_TRUE(r["Warranty"].isNull()) << "no warranty months";
    EXPECT_TRUE(r["Number"].isNull());

    EXPECT_TRUE(grid("EXECUTE GridDocumentPosition :ID", {TypedValue::Int(-1)}).empty());
}

// ---- models ---------------------------------------------------------------------------------

TEST_P(ViewProcs, KindsAndModelsOfAType) {
    const QVariant k1 = kind("H", "Диск"), k2 = kind("H", "Память");
    kind("M", "Тонер");
    cn().execute("UPDATE Kind SET KindOrder = 5 WHERE IdKind = :K", {{"K", k1}});
    QStringList names;
    for (const Row &r : grid("GridModelKind;1", {TypedValue::Text("H")}))
        names << r["Name"].toString() + u'/' + r["KindType"].toString();
    EXPECT_EQ(names, (QStringList{"Память/H", "Диск/H"})) << "kinds of the type, in their order";

    const QVariant a =
        model(k2, "A", {{"ModlParametersValue", QString(100, u'п')}, {"ModlNote", QString(100, u'н')}});
    const QVariant b = model(k2, "B");
    cn().execute("UPDATE Model SET ModlWeight = 9 WHERE IdModel = :M", {{"M", a}});
    const std::vector<Row> rows = grid("EXECUTE GridModelList :ID", {TypedValue::Int(k2.toInt())});
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0]["IdModel"].toInt(), b.toInt());
    EXPECT_EQ(rows[1]["ModlParametersValue"].toString(), QString(40, u'п'));
    EXPECT_EQ(rows[1]["ModlNote"].toString(), QString(50, u'н'));
    EXPECT_EQ(rows[1]["ModlKind"].toInt(), k2.toInt());
}

TEST_P(ViewProcs, ModelSetShowsPlaceSupplierAndWarranty) {
    const QVariant firm = insert("Client", {{"ClntNameFull", "ООО Поставка"}});
    const QVariant pc = kind("D", "Компьютер", "ПК");
    const QVariant dep = department("Бухгалтерия", department("Офис"));
    const QVariant wp = workplace(dep, "Стол 1");
    const QVariant dev = device(wp, "Бухгалтер-1", pc);
    const QVariant bare = device(wp, "Без типа");
    const QVariant mdl = model(kind("H", "Диск"), "SSD");
    const QVariant doc =
        insert("Document", {{"DocNumber", "17"}, {"DocDate", at(2014, 3, 5)}, {"DocClient", firm}});
    const QVariant undated = insert("Document", {{"DocDate", QVariant()}});

    // The warranty runs from the seller's date, else the document's, else the installation.
    const struct {
        const char *what;
        QVariantMap values;
        QVariant end;
    } cases[] = {
        {"seller's date",
         {{"DateSeller", at(2020, 1, 10)},
          {"DocumentId", doc},
          {"CmplDateSet", at(2020, 3, 1)},
          {"Warranty", 12}},
         at(2021, 1, 10)},
        {"document's date",
         {{"DocumentId", doc}, {"CmplDateSet", at(2015, 1, 1)}, {"Warranty", 12}},
         at(2015, 3, 5)},
        {"installation", {{"CmplDateSet", at(2024, 1, 31, 10, 0)}, {"Warranty", 1}}, at(2024, 2, 29)},
        {"undated document",
         {{"DocumentId", undated}, {"CmplDateSet", at(2024, 1, 1)}, {"Warranty", 6}},
         at(2024, 7, 1)},
        {"no months", {{"DocumentId", doc}, {"Warranty", 0}}, QVariant()},
    };
    QVector<int> keys;
    for (const auto &c : cases)
        keys << element(dev, mdl, c.values).toInt();
    const QVariant numbered = element(bare, mdl, {{"NumberManufact", "SN1"}, {"CmplNumber", "ОИТ-2"}});

    const std::vector<Row> rows = grid("EXECUTE GridModelSet :IdModel", {TypedValue::Int(mdl.toInt())});
    ASSERT_EQ(rows.size(), std::size(cases) + 1);
    for (size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(cases[i].what);
        EXPECT_EQ(rows[i]["IdComponent"].toInt(), keys[int(i)]);
        EXPECT_EQ(rows[i]["Warranty"].toDateTime(), cases[i].end.toDateTime());
        EXPECT_EQ(rows[i]["Warranty"].isNull(), cases[i].end.isNull());
    }
    const Row &r = rows[1];
    EXPECT_EQ(r["DevName"].toString(), QStringLiteral("ПК: Бухгалтер-1"));
    EXPECT_EQ(r["WrkpName"].toString(), QStringLiteral("Стол 1"));
    EXPECT_EQ(r["DprtName"].toString(), QStringLiteral("Бухгалтерия"));
    EXPECT_EQ(r["Doc"].toString(), QStringLiteral("№ 17 от 05.03.2014"));
    EXPECT_EQ(r["ClientName"].toString(), QStringLiteral("ООО Поставка"));
    EXPECT_EQ(r["Device"].toInt(), dev.toInt());
    EXPECT_EQ(r["IdDocument"].toInt(), doc.toInt());
    EXPECT_EQ(rows[3]["Doc"].toString(), QStringLiteral("б/н"));
    const Row &last = rows.back();
    EXPECT_EQ(last["IdComponent"].toInt(), numbered.toInt());
    EXPECT_EQ(last["Numb"].toString(), QStringLiteral("SN1 / ОИТ-2"));
    EXPECT_EQ(last["DevName"].toString(), QStringLiteral("Без типа"));
    EXPECT_TRUE(last["Doc"].isNull());
    EXPECT_TRUE(last["IdDocument"].isNull());
    EXPECT_TRUE(last["ClientName"].isNull());
}

// ---- consumables ----------------------------------------------------------------------------

TEST_P(ViewProcs, ConsumablesInUse) {
    const QVariant toner = kind("M", "Картридж"), disk = kind("H", "Диск");
    const QVariant used = model(toner, "HP 12A"), unused = model(toner, "HP 85A"), hw = model(disk, "SSD");
    const QVariant dev = device(workplace(department("Склад"), "Стол"), "Принтер");
    element(dev, used);
    element(dev, hw);
    const std::vector<Row> rows = grid("GridChangeModel;1");
    ASSERT_EQ(rows.size(), 1u) << "materials only, and only those with an element";
    EXPECT_EQ(rows[0]["ID"].toInt(), used.toInt());
    EXPECT_EQ(rows[0]["Name"].toString(), QStringLiteral("Картридж: HP 12A"));
    Q_UNUSED(unused);
}

TEST_P(ViewProcs, ConsumableForecastFromTheHistory) {
    const QVariant toner = kind("M", "Картридж");
    const QVariant often = model(toner, "HP 12A"), once = model(toner, "HP 85A");
    const QVariant dep = department("Склад");
    const QVariant wp = workplace(dep, "Стол 1");
    const QVariant a = device(wp, "Принтер A"), b = device(wp, "Принтер B"), c = device(wp, "Принтер C");

    // A: two changes 30 days apart. C: two cartridges put in on one day, then one 20 days later.
    element(a, often, {{"CmplDateSet", at(2024, 1, 1, 8, 0)}});
    const QVariant aLast =
        element(a, often, {{"CmplDateSet", at(2024, 1, 31, 14, 30)}, {"CmplNumber", "№ 2"}});
    element(c, often, {{"CmplDateSet", at(2024, 1, 1, 9, 0)}});
    element(c, often, {{"CmplDateSet", at(2024, 1, 1, 9, 5)}});
    element(c, often, {{"CmplDateSet", at(2024, 1, 21, 9, 0)}});
    // B: a single change; its forecast comes from the other printers: (30 + 20) / 2 days.
    const QVariant bOnly = element(b, often, {{"CmplDateSet", at(2024, 2, 10)}});
    // Another model changed once, nowhere else: no forecast.
    const QVariant single = element(a, once, {{"CmplDateSet", at(2024, 2, 1)}});

    const struct {
        const char *what;
        QVariant model, device, element;
        QDateTime last;
        QVariant next;
    } cases[] = {
        {"own history", often, a, aLast, at(2024, 1, 31, 14, 30), at(2024, 3, 1, 14, 30)},
        {"others' history", often, b, bOnly, at(2024, 2, 10), at(2024, 3, 6)},
        {"one change a day", often, c, {}, at(2024, 1, 21, 9, 0), at(2024, 2, 10, 9, 0)},
        {"no history", once, a, single, at(2024, 2, 1), QVariant()},
    };
    for (const auto &cs : cases) {
        SCOPED_TRACE(cs.what);
        const std::vector<Row> rows =
            grid("EXECUTE GridChangeDevice :ID", {TypedValue::Int(cs.model.toInt())});
        const Row *row = nullptr;
        for (const Row &r : rows)
            if (r["ID"].toInt() == cs.device.toInt())
                row = &r;
        ASSERT_NE(row, nullptr);
        EXPECT_EQ((*row)["DateLast"].toDateTime(), cs.last);
        EXPECT_EQ((*row)["DateNext"].isNull(), cs.next.isNull());
        EXPECT_EQ((*row)["DateNext"].toDateTime(), cs.next.toDateTime());
        if (!cs.element.isNull()) {
            EXPECT_EQ((*row)["Element"].toInt(), cs.element.toInt());
        }
    }

    const std::vector<Row> rows = grid("EXECUTE GridChangeDevice :ID", {TypedValue::Int(often.toInt())});
    QStringList places;
    for (const Row &r : rows)
        places << r["Place"].toString();
    EXPECT_EQ(places, (QStringList{"Склад / Стол 1 / Принтер A", "Склад / Стол 1 / Принтер B",
                                   "Склад / Стол 1 / Принтер C"}));
    EXPECT_EQ(rows[0]["Number"].toString(), QStringLiteral("№ 2")) << "the number of the last element";
}

VELMORA_BOTH_ENGINES(ViewProcs);

} // namespace
