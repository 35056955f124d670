// Lookup lists, ancestry chains, finds by text, the manual order of kinds and models, model names
// and the element move history, called the way the program calls them.
#include "TestDatabase.h"
#include "data/Errors.h"
#include "data/TessalADO.h"
#include "data/TessalString.h"
#include "server/LookupCommon.h"
#include "server/ProcText.h"

#include <QDateTime>
#include <algorithm>

namespace {

TypedValue null() {
    return TypedValue::Variant(QVariant());
}
TypedValue key(const QVariant &v) {
    return TypedValue::Int(v.toInt());
}

// A small inventory: two firms with and without a trademark, kinds of three types, models with a
// manual order, a department tree with workplaces and devices, documents and one full element.
class ProcLookupTest : public ServerTest {
protected:
    void SetUp() override {
        ServerTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        tmHP = insert("Trademark", {{"Name", "HP"}});
        for (const char *tm : {"apple", "Бренд", "альфа"})
            insert("Trademark", {{"Name", tm}});
        firmHP = insert("Client", {{"ClntNameFull", "Hewlett-Packard"},
                                   {"Trademark", tmHP},
                                   {"ClntNameShort", "temp befor delete"}});
        firmRom = insert("Client", {{"ClntNameFull", "ООО Ромашка"}, {"ClntNameShort", "Ромашка"}});
        firmAO = insert("Client", {{"ClntNameFull", "АО Фирма"}, {"ClntNameShort", "temp befor delete"}});

        kPC = insert("Kind", {{"KindType", "D"}, {"KindName", "Системный блок"}, {"ShortName", "ПК"}});
        kPrinter = insert("Kind", {{"KindType", "D"}, {"KindName", "Принтер"}});
        kHdd = insert("Kind", {{"KindType", "H"}, {"KindName", "Винчестер"}, {"ShortName", "HDD"}});
        kRam = insert("Kind", {{"KindType", "H"}, {"KindName", "Память"}, {"ShortName", "память"}});
        kLong = insert(
            "Kind", {{"KindType", "H"}, {"KindName", QString(30, u'Ж')}, {"ShortName", QString(20, u'ш')}});
        kCart = insert("Kind", {{"KindType", "M"}, {"KindName", "Картридж"}});

        // Equal weights show by name, whatever the keys: "Альфа" has the smaller key, "HP 12A" shows first.
        mAlpha = insert("Model", {{"ModlKind", kCart}, {"ModlName", "Альфа"}, {"ModlWeight", 2}});
        m12A = insert("Model", {{"ModlKind", kCart},
                                {"ModlNumber", "12A"},
                                {"ModlName", "HP 12A"},
                                {"ModlIdProducer", firmHP},
                                {"ModlParametersValue", "2000 стр."},
                                {"ModlNote", "чёрный"},
                                {"ModlWeight", 2}});
        mToner =
            insert("Model", {{"ModlKind", kCart}, {"ModlName", "Тонер универсальный"}, {"ModlWeight", 1}});
        mDrum = insert("Model", {{"ModlKind", kCart}, {"ModlName", "Барабан"}});
        cn().execute("update Model set ModlWeight = NULL where IdModel = :M", {{"M", mDrum}});

        const QVariant ivanov = insert("User", {{"Login", "ivanov"}, {"Name", "Иванов Иван"}});
        depTop = insert("Department", {{"DprtName", "Управление"}});
        depAcc = insert("Department", {{"DprtName", "Бухгалтерия"}, {"DprtIdHigher", depTop}});
        depIT = insert("Department", {{"DprtName", "ИТ-отдел"}, {"Synonym", "Информационные технологии"}});
        wpAcc1 = insert("Workplace", {{"WrkpIdDepartment", depAcc},
                                      {"WrkpName", "Кабинет 5"},
                                      {"Phone", "123"},
                                      {"Synonym", "касса"},
                                      {"User", ivanov}});
        wpAcc2 = insert("Workplace", {{"WrkpIdDepartment", depAcc}, {"WrkpName", "Кабинет 6"}});
        wpIT = insert("Workplace", {{"WrkpIdDepartment", depIT}, {"WrkpName", "Серверная"}});
        devPrn = insert("DeviceUnit",
                        {{"DevcIdWorkplace", wpAcc2}, {"DevcName", "Принтер"}, {"DevcIdKind", kPrinter}});
        devPC = insert("DeviceUnit", {{"DevcIdWorkplace", wpAcc1},
                                      {"DevcName", "ПК бухгалтера"},
                                      {"DevcIdKind", kPC},
                                      {"DevcNumber", "0042"},
                                      {"Domain", "BUH-PC"}});
        devSrv =
            insert("DeviceUnit", {{"DevcIdWorkplace", wpIT}, {"DevcName", "Сервер"}, {"DevcIdKind", kPC}});

        doc14 = insert("Document", {{"DocNumber", "17"},
                                    {"DocDate", QDateTime(QDate(2014, 3, 5), QTime(0, 0))},
                                    {"DocClient", firmRom}});
        doc15 = insert("Document", {{"DocNumber", "18"},
                                    {"DocDate", QDateTime(QDate(2015, 1, 10), QTime(0, 0))},
                                    {"DocClient", firmHP}});
        docBare = insert("Document", {{"DocDate", QVariant()}});
        element = insert("CompleteSet", {{"CmplIdDevice", devPC},
                                         {"CmplIdModel", m12A},
                                         {"ModelKind", kCart},
                                         {"DocumentId", doc14},
                                         {"DocumentPosition", 3}});
    }

    std::unique_ptr<DataSet> open(const char *proc, const TypedValues &args = {}) {
        auto ds = std::make_unique<DataSet>(&cn());
        ds->setCommand(QString::fromLatin1(proc) + QStringLiteral(";1"), CommandType::StoredProc);
        OpenWithParams(*ds, args);
        return ds;
    }

    void exec(const char *proc, const TypedValues &args) {
        DataSet ds(&cn());
        ds.setCommand(QString::fromLatin1(proc) + QStringLiteral(";1"), CommandType::StoredProc);
        for (int i = 0; i < args.size(); ++i)
            ds.parameters()[i + 1].value = typedValueToVariant(args[i]);
        ds.execProc();
    }

    // The keys a find gives for a text, in order of keys.
    QList<int> foundKeys(const char *proc, const QString &text) {
        auto ds = open(proc, {TypedValue::Text(text)});
        QList<int> keys;
        for (ds->first(); !ds->eof(); ds->next())
            keys << ds->value("ID").toInt();
        std::sort(keys.begin(), keys.end());
        return keys;
    }

    // The keys of the rows of `sql` (the key, then the texts a find promises) whose texts, joined and
    // folded by the program, hold every word of the text; a last text equal to the short-name
    // placeholder counts as none when `placeholderLast`.
    QList<int> scannedKeys(const char *sql, const QString &text, bool placeholderLast = false) {
        const QStringList words = FoldText(text).simplified().split(u' ', Qt::SkipEmptyParts);
        QList<int> keys;
        for (const auto &row : cn().query(QString::fromLatin1(sql)).rows) {
            QStringList texts;
            for (int c = 1; c < row.size(); ++c)
                if (!placeholderLast || c + 1 < row.size() ||
                    row[c].toString().compare(lookup::ShortNamePlaceholder, Qt::CaseInsensitive))
                    texts << row[c].toString();
            const QString hay = FoldText(texts.join(u'\n'));
            if (std::all_of(words.cbegin(), words.cend(), [&](const QString &w) { return hay.contains(w); }))
                keys << row[0].toInt();
        }
        std::sort(keys.begin(), keys.end());
        return keys;
    }

    QStringList kindOrder(const char *type) {
        auto ds = open("LookKind", {TypedValue::Text(type)});
        return columnTexts(*ds, "Name");
    }

    QVariant tmHP, firmHP, firmRom, firmAO, kPC, kPrinter, kHdd, kRam, kLong, kCart, m12A, mAlpha, mToner,
        mDrum, depTop, depAcc, depIT, wpAcc1, wpAcc2, wpIT, devPrn, devPC, devSrv, doc14, doc15, docBare,
        element;
};

TEST_P(ProcLookupTest, LookupsListTheirRowsInOrder) {
    const QString longKind = QString(30, u'Ж') + QStringLiteral(" (") + QString(19, u'ш') + u')';
    struct Case {
        const char *proc;
        TypedValues args;
        QStringList names;
    };
    const Case cases[] = {
        // The short name in parentheses only when it says something else; 52 characters at most.
        {"LookKind", {TypedValue::Text("H")}, {"Винчестер (HDD)", "Память", longKind}},
        {"LookKind", {TypedValue::Text("D")}, {"Системный блок (ПК)", "Принтер"}},
        {"LookKind", {null()}, {}},
        // Manual order first, equal weights by name, models without a weight last.
        {"LookUpModel", {key(kCart)}, {"Тонер универсальный", "HP 12A", "Альфа", "Барабан"}},
        {"LookUpModel", {TypedValue::Int(70000)}, {}},
        // By name without regard to case (a plain binary order would put "HP" before "apple").
        {"LookUpTrademark", {}, {"apple", "HP", "альфа", "Бренд"}},
        {"LookUpClient", {}, {"HP: Hewlett-Packard", "АО Фирма", "ООО Ромашка"}},
        // Newest first, a document without a date last; missing parts are left out.
        {"LookUpDocument",
         {},
         {"Накладная № 18 от 10.01.2015, HP: Hewlett-Packard", "Накладная № 17 от 05.03.2014, ООО Ромашка",
          "Накладная"}},
        // The devices of the element's (or device's) department, in the order of the tree.
        {"LookupDeviceAtDepartment",
         {key(element), TypedValue::Int(0)},
         {"ПК бухгалтера — Кабинет 5", "Принтер — Кабинет 6"}},
        {"LookupDeviceAtDepartment",
         {key(devPrn), TypedValue::Int(1)},
         {"ПК бухгалтера — Кабинет 5", "Принтер — Кабинет 6"}},
        {"LookupDeviceAtDepartment", {key(devSrv), TypedValue::Int(1)}, {"Сервер — Серверная"}},
        {"LookupDeviceAtDepartment", {key(devSrv), TypedValue::Int(0)}, {}},
        {"LookupDeviceAtDepartment", {TypedValue::Int(-1), TypedValue::Int(1)}, {}},
    };
    for (const Case &c : cases) {
        auto ds = open(c.proc, c.args);
        EXPECT_EQ(columnTexts(*ds, "Name"), c.names) << c.proc;
    }
    EXPECT_EQ(longKind.size(), 52);

    auto kinds = open("LookKind", {TypedValue::Text("H")});
    EXPECT_EQ(columnTexts(*kinds, "ID"), (QStringList{kHdd.toString(), kRam.toString(), kLong.toString()}));
    EXPECT_EQ(columnTexts(*kinds, "KindType"), (QStringList{"H", "H", "H"}));

    auto models = open("LookUpModel", {key(kCart)});
    ASSERT_TRUE(models->locate("ID", m12A));
    EXPECT_EQ(models->value("Parameters").toString(), QStringLiteral("2000 стр.; чёрный"));

    auto docs = open("LookUpDocument");
    ASSERT_TRUE(docs->locate("ID", doc14));
    EXPECT_EQ(docs->value("Date").toDateTime(), QDateTime(QDate(2014, 3, 5), QTime(0, 0)));
    ASSERT_TRUE(docs->locate("ID", docBare));
    EXPECT_TRUE(docs->value("Date").isNull());

    auto devices = open("LookupDeviceAtDepartment", {key(element), TypedValue::Int(0)});
    EXPECT_EQ(columnTexts(*devices, "ID"), (QStringList{devPC.toString(), devPrn.toString()}));
}

TEST_P(ProcLookupTest, ChainsOfAFullElementAndItsAncestors) {
    struct Expect {
        const char *column;
        QVariant value;
    };
    struct Case {
        const char *proc;
        QVariant key;
        QVector<Expect> row;
    };
    const Case cases[] = {
        {"ChainComponent",
         element,
         {{"IDComponent", element},
          {"IDDevice", devPC},
          {"IDModel", m12A},
          {"IDKind", kCart},
          {"IDType", "M"},
          {"IDDocument", doc14},
          {"NBPosition", 3},
          {"IDShipper", firmRom},
          {"IDShipperTM", {}},
          {"IDProducer", firmHP},
          {"IDProducerTM", tmHP}}},
        {"ChainModel",
         m12A,
         {{"IDModel", m12A},
          {"IDKind", kCart},
          {"IDType", "M"},
          {"IDProducer", firmHP},
          {"IDProducerTM", tmHP}}},
        {"ChainModel",
         mAlpha,
         {{"IDModel", mAlpha}, {"IDKind", kCart}, {"IDProducer", {}}, {"IDProducerTM", {}}}},
        {"ChainKind", kHdd, {{"IDKind", kHdd}, {"IDType", "H"}}},
        {"ChainDevice",
         devPC,
         {{"IDDevice", devPC}, {"IDKind", kPC}, {"IDWorkplace", wpAcc1}, {"IDDepartment", depAcc}}},
        {"ChainWorkplace", wpIT, {{"IDWorkplace", wpIT}, {"IDDepartment", depIT}}},
    };
    for (const Case &c : cases) {
        auto ds = open(c.proc, {key(c.key)});
        ASSERT_EQ(ds->recordCount(), 1) << c.proc;
        for (const Expect &e : c.row) {
            const QVariant got = ds->value(e.column);
            EXPECT_EQ(got.isNull(), e.value.isNull()) << c.proc << " " << e.column;
            if (!e.value.isNull()) {
                EXPECT_EQ(got.toString(), e.value.toString()) << c.proc << " " << e.column;
            }
        }
    }
}

TEST_P(ProcLookupTest, ChainsOfMissingKeysGiveNoRow) {
    const TypedValue missing[] = {TypedValue::Int(-1), TypedValue::Int(0), null(), TypedValue::Int(70000)};
    for (const char *proc : {"ChainComponent", "ChainModel", "ChainKind", "ChainDevice", "ChainWorkplace"})
        for (const TypedValue &k : missing) {
            auto ds = open(proc, {k});
            EXPECT_EQ(ds->recordCount(), 0) << proc << " " << k.value.toString().toStdString();
        }
    cn().execute("delete from Kind where IdKind = :K", {{"K", kLong}});
    EXPECT_EQ(open("ChainKind", {key(kLong)})->recordCount(), 0) << "a deleted kind";
}

TEST_P(ProcLookupTest, FindsMatchInAnyCaseAndListAsShown) {
    const QString pc = QStringLiteral("ПК бухгалтера, инв. 0042 — Кабинет 5 — Бухгалтерия");
    const QString cab5 = QStringLiteral("Кабинет 5 — Бухгалтерия, тел. 123, Иванов Иван");
    struct Case {
        const char *proc, *text;
        QStringList names;
    };
    const Case cases[] = {
        {"FindDepartment", "БУХГ", {"Бухгалтерия — Управление"}},
        {"FindDepartment", "  технологии ", {"ИТ-отдел"}},
        {"FindDepartment", "", {}}, // an empty or blank text finds nothing
        {"FindDepartment", "   ", {}},
        {"FindDepartment", "склад", {}},
        {"FindWorkplace", "ИВАНОВ", {cab5}},
        {"FindWorkplace", "ivanov", {cab5}},
        {"FindWorkplace", "123", {cab5}},
        {"FindWorkplace", "Касса", {cab5}},
        {"FindWorkplace", "кабинет", {cab5, "Кабинет 6 — Бухгалтерия"}},
        {"FindWorkplace", "кабинет иван", {cab5}}, // every word must be found
        {"FindDevice", "пк", {pc}},
        {"FindDevice", "buh-pc", {pc}},
        {"FindDevice", "0042", {pc}},
        {"FindDevice", "СЕРВЕРНАЯ", {"Сервер — Серверная — ИТ-отдел"}},
        {"FindDevice", "", {}},
        {"FindDevice", "каб пк", {pc}},                                  // a device word and a workplace word
        {"FindDevice", "ка", {pc, "Принтер — Кабинет 6 — Бухгалтерия"}}, // two letters: no trigram
        {"FindDevice", "%", {}},
        {"FindKind", "hdd", {"Винчестер (HDD) — Комплектующие"}},
        {"FindKind", "ПРИНТЕР", {"Принтер — Устройства"}},
        {"FindModel", "ЧЁРНЫЙ", {"HP 12A — Картридж, 2000 стр."}},
        {"FindModel", "черный", {"HP 12A — Картридж, 2000 стр."}},
        {"FindModel", "hewlett", {"HP 12A — Картридж, 2000 стр."}},
        {"FindModel", "ТОНЕР", {"Тонер универсальный — Картридж"}},
    };
    for (const Case &c : cases) {
        auto ds = open(c.proc, {TypedValue::Text(QString::fromUtf8(c.text))});
        EXPECT_EQ(columnTexts(*ds, "Name"), c.names) << c.proc << " «" << c.text << "»";
    }

    auto kind = open("FindKind", {TypedValue::Text("hdd")});
    EXPECT_EQ(kind->value("ID").toInt(), kHdd.toInt());
    EXPECT_EQ(kind->value("KindType").toString(), QStringLiteral("H"));
    auto model = open("FindModel", {TypedValue::Text("12a")});
    EXPECT_EQ(model->value("ID").toInt(), m12A.toInt());
    EXPECT_EQ(model->value("Kind").toInt(), kCart.toInt());
    EXPECT_EQ(model->value("KindType").toString(), QStringLiteral("M"));

    // Names are cut to the width the find dialog holds.
    const QString longName = QString(100, u'Ц');
    insert("Department", {{"DprtName", longName}});
    auto dep = open("FindDepartment", {TypedValue::Text("ццц")});
    EXPECT_EQ(dep->value("Name").toString(), longName.left(50));
}

// The database folds texts by the same rule as the program, whatever the engine, its locale or
// the collation of the text (PostgreSQL's lower() folds nothing but ASCII under "C").
TEST_P(ProcLookupTest, SqlFoldsTextsAsTheProgramDoes) {
    QString all;
    for (char16_t u = 0x20; u < 0x500; ++u)
        if (u != u'\'' && QChar(u).isPrint())
            all += QChar(u);
    QStringList exprs{QStringLiteral("CAST(:T AS text)")};
    if (pg())
        exprs << QStringLiteral("CAST(:T AS text) COLLATE \"C\"");
    for (const QString &e : exprs)
        EXPECT_EQ(scalar(QStringLiteral("SELECT %1").arg(ProcText::foldSql(cn().engine(), e)), {{"T", all}})
                      .toString(),
                  FoldText(all))
            << e.toStdString();
    EXPECT_TRUE(
        scalar(QStringLiteral("SELECT %1").arg(ProcText::foldSql(cn().engine(), QStringLiteral("NULL"))))
            .isNull());
}

// The find texts follow every change of the texts they are made of, and a find lists at most
// FindRowLimit + 1 rows.
TEST_P(ProcLookupTest, FindsFollowChangesAndStopAfterTheLimit) {
    const auto names = [&](const char *proc, const char *text) {
        return columnTexts(*open(proc, {TypedValue::Text(QString::fromUtf8(text))}), "Name");
    };
    cn().execute("UPDATE Workplace SET WrkpName = 'Ёлочная' WHERE IdWorkplace = :W", {{"W", wpAcc2}});
    EXPECT_EQ(names("FindDevice", "елочная"), QStringList{"Принтер — Ёлочная — Бухгалтерия"});
    EXPECT_EQ(names("FindDevice", "кабинет 6"), QStringList{});
    cn().execute("UPDATE [User] SET Name = 'Петров Пётр' WHERE [Login] = 'ivanov'");
    EXPECT_EQ(names("FindWorkplace", "петр"), QStringList{"Кабинет 5 — Бухгалтерия, тел. 123, Петров Пётр"});
    EXPECT_EQ(names("FindWorkplace", "иванов иван"), QStringList{});
    cn().execute("UPDATE DeviceUnit SET DevcIdWorkplace = :W WHERE IdDevice = :D",
                 {{"W", wpIT}, {"D", devPrn}});
    EXPECT_EQ(names("FindDevice", "принтер серв"), QStringList{"Принтер — Серверная — ИТ-отдел"});
    cn().execute("UPDATE Department SET Synonym = 'Ёлки' WHERE IdDepartment = :D", {{"D", depTop}});
    EXPECT_EQ(names("FindDepartment", "ЕЛКИ"), QStringList{"Управление"});
    cn().execute("DELETE FROM DeviceUnit WHERE IdDevice = :D", {{"D", devPrn}});
    EXPECT_EQ(names("FindDevice", "принтер"), QStringList{});

    {
        Transaction tx(cn());
        for (int i = 0; i < FindRowLimit + 5; ++i)
            insert("DeviceUnit",
                   {{"DevcIdWorkplace", wpIT}, {"DevcName", QStringLiteral("Терминал %1").arg(i)}});
        tx.commit();
    }
    EXPECT_EQ(names("FindDevice", "терминал").size(), FindRowLimit + 1);
    EXPECT_EQ(names("FindDevice", "те").size(), FindRowLimit + 1) << "the path of short words";
    EXPECT_EQ(names("FindDevice", "терминал 17").size(), 13) << "17, 117, 170-179 and 217";
}

// Each find of a department, workplace or device returns the rows a scan of every row finds, for
// texts from rare to common: the same keys while they are fewer than the limit, FindRowLimit + 1 of
// them otherwise. Checked again after the texts change, so that each kind's index follows its rows.
TEST_P(ProcLookupTest, FindsReturnWhatAFullScanFinds) {
    {
        Transaction tx(cn());
        const char *places[] = {"Склад", "Ёлочный зал", "Касса", "Приёмная"};
        const char *devices[] = {"Принтер ёмкий", "Системный блок", "ЕМКОСТЬ", "Монитор"};
        for (int d = 0; d < 12; ++d) {
            const QVariant dep =
                insert("Department", {{"DprtName", QStringLiteral("Отдел %1").arg(d)},
                                      {"Synonym", d % 4 == 0 ? QVariant("Ёлки") : QVariant()}});
            for (int w = 0; w < 8; ++w) {
                const QVariant wp = insert(
                    "Workplace",
                    {{"WrkpIdDepartment", dep},
                     {"WrkpName",
                      QStringLiteral("%1 %2").arg(QString::fromUtf8(places[(d + w) % 4])).arg(d * 10 + w)},
                     {"Phone", QStringLiteral("5%1").arg(d * 8 + w, 3, 10, QChar(u'0'))}});
                for (int v = 0; v < 5; ++v) {
                    const int n = (d * 8 + w) * 5 + v;
                    insert(
                        "DeviceUnit",
                        {{"DevcIdWorkplace", wp},
                         {"DevcName", QStringLiteral("%1 %2").arg(QString::fromUtf8(devices[n % 4])).arg(n)},
                         {"Domain", n % 3 == 0 ? QVariant(QStringLiteral("ws-%1").arg(n, 4, 10, QChar(u'0')))
                                               : QVariant()},
                         {"DevcNumber", QStringLiteral("И-%1").arg(7000 + n)}});
                }
            }
        }
        tx.commit();
    }
    // The texts each find promises, folded, scanned row by row.
    const auto scan = [&](const char *kind, const QString &text) {
        const char *sql =
            qstrcmp(kind, "D") == 0 ? "SELECT IdDepartment, DprtName, Synonym, NULL, NULL FROM Department"
            : qstrcmp(kind, "W") == 0
                ? "SELECT w.IdWorkplace, w.WrkpName, w.Synonym, w.Phone, u.Name FROM Workplace w "
                  "LEFT JOIN [User] u ON u.ID = w.[User]"
                : "SELECT v.IdDevice, v.DevcName, v.Domain, v.DevcNumber, w.WrkpName FROM DeviceUnit v "
                  "LEFT JOIN Workplace w ON w.IdWorkplace = v.DevcIdWorkplace";
        return scannedKeys(sql, text);
    };
    struct Case {
        const char *what, *text;
    };
    const Case cases[] = {
        {"rare: one network name", "ws-0123"},
        {"rare: an inventory number", "и-7333"},
        {"common: a word in many devices and workplaces", "принтер"},
        {"common: more than the limit", "блок"},
        {"digits only", "733"},
        {"digits of many rows", "00"},
        {"Cyrillic with ё, typed with е", "ЕМК"},
        {"Cyrillic with е, typed with ё", "ёмкость"},
        {"ё in the workplace's name", "ёлоч"},
        {"two words", "принтер 12"},
        {"two words of the device and its workplace", "монитор склад"},
        {"no row", "жжж"},
    };
    const struct {
        const char *proc, *kind;
    } finds[] = {{"FindDepartment", "D"}, {"FindWorkplace", "W"}, {"FindDevice", "V"}};
    for (int round = 0; round < 2; ++round) {
        for (const Case &c : cases)
            for (const auto &f : finds) {
                const QString text = QString::fromUtf8(c.text);
                const QList<int> all = scan(f.kind, text), got = foundKeys(f.proc, text);
                if (all.size() <= FindRowLimit) {
                    EXPECT_EQ(got, all) << f.proc << ": " << c.what << ", round " << round;
                } else {
                    EXPECT_EQ(got.size(), FindRowLimit + 1) << f.proc << ": " << c.what;
                    for (int k : got)
                        EXPECT_TRUE(all.contains(k)) << f.proc << ": " << c.what << ", key " << k;
                }
            }
        // Texts change, rows go: the indexes follow.
        cn().execute("UPDATE DeviceUnit SET DevcName = 'Ёмкий монитор' WHERE IdDevice % 7 = 0");
        cn().execute("UPDATE Workplace SET WrkpName = 'Принтерная' WHERE IdWorkplace % 5 = 0");
        cn().execute("DELETE FROM DeviceUnit WHERE IdDevice % 11 = 0");
        cn().execute("UPDATE Department SET Synonym = 'ёмкость 733' WHERE IdDepartment % 3 = 0");
    }
}

// The finds of kinds and models return the rows a scan of their folded texts finds, for texts with
// the characters a pattern language would read as its own, and with capitals and "ё" either way.
TEST_P(ProcLookupTest, CatalogueFindsReturnWhatAFullScanFinds) {
    for (const char *name : {"Картридж [HP-12A]", "ЁМКОСТЬ 1.5л", "Тонер ^нов^", "Кабель a\\b",
                             "Модуль (DDR4)+", "Ёлка*?", "Щётка $5", "Ђак|Ѐ{2}"})
        insert("Model", {{"ModlKind", kCart}, {"ModlName", QString::fromUtf8(name)}});
    insert("Kind", {{"KindType", "H"}, {"KindName", "Сканер-Ё"}, {"ShortName", "СК[1]"}});
    insert("Kind", {{"KindType", "D"}, {"KindName", "Ѓ-тип \\ё"}});

    // Every text each find promises, folded by the program, row by row.
    const auto scan = [&](const char *sql, const QString &text) { return scannedKeys(sql, text, true); };
    const char *models =
        "SELECT m.IdModel, m.ModlName, m.ModlNumber, m.DisplayParameters, c.DisplayName, t.Name, "
        "c.ClntNameFull, c.ClntNameShort FROM Model m LEFT JOIN Client c ON c.IdClient = "
        "m.ModlIdProducer LEFT JOIN Trademark t ON t.ID = c.Trademark";
    const char *kinds = "SELECT IdKind, KindName, ShortName, '' FROM Kind";
    for (const char *text :
         {"[hp-12a]",    "hp-",       "1.5",      ".5",     "1.5Л",    "^нов",     "a\\b",
          "(ddr4)+",     "ёлка*?",    "*",        "$5",     "ђак",     "ЂАК|ѐ{2}", "емкость",
          "ЕМКОСТЬ 1.5", "щетка",     "ск[1]",    "[",      "]",       "-",        "\\",
          "^",           "ѓ-тип \\е", "сканер-е", "черный", "hewlett", "ж",        "zzz"}) {
        const QString t = QString::fromUtf8(text);
        EXPECT_EQ(foundKeys("FindModel", t), scan(models, t)) << "FindModel " << text;
        EXPECT_EQ(foundKeys("FindKind", t), scan(kinds, t)) << "FindKind " << text;
    }
}

TEST_P(ProcLookupTest, MoveKindSwapsWithItsNeighbourOnly) {
    const QString hdd = QStringLiteral("Винчестер (HDD)"), ram = QStringLiteral("Память");
    const QString lng = kindOrder("H").value(2);
    struct Step {
        const char *what;
        QVariant kind;
        int dr;
        QStringList order;
    };
    const Step steps[] = {
        {"up from the middle", kRam, -1, {ram, hdd, lng}},
        {"up at the top changes nothing", kRam, -1, {ram, hdd, lng}},
        {"down from the middle", kHdd, 1, {ram, lng, hdd}},
        {"down at the bottom changes nothing", kHdd, 1, {ram, lng, hdd}},
        {"an unknown kind changes nothing", 9999, -1, {ram, lng, hdd}},
        {"down from the top", kRam, 1, {lng, ram, hdd}},
    };
    for (const Step &s : steps) {
        exec("MoveKind", {s.kind.isNull() ? null() : key(s.kind), TypedValue::Int(s.dr)});
        EXPECT_EQ(kindOrder("H"), s.order) << s.what;
    }
    EXPECT_EQ(kindOrder("D"), (QStringList{"Системный блок (ПК)", "Принтер"}))
        << "other types keep their order";
    EXPECT_THROW(exec("MoveKind", {null(), TypedValue::Int(-1)}), AppError) << "no kind at all is refused";
    EXPECT_EQ(kindOrder("H"), (QStringList{lng, ram, hdd}));

    // Missing and repeated order values: the siblings are numbered in their shown order first.
    cn().execute("update Kind set KindOrder = NULL where IdKind = :K", {{"K", kHdd}});
    cn().execute("update Kind set KindOrder = 5 where KindType = 'H' and IdKind <> :K", {{"K", kHdd}});
    ASSERT_EQ(kindOrder("H"), (QStringList{ram, lng, hdd})) << "equal values by key, no value last";
    exec("MoveKind", {key(kHdd), TypedValue::Int(-1)});
    EXPECT_EQ(kindOrder("H"), (QStringList{ram, hdd, lng}));
    const ResultSet orders = cn().query("select KindOrder from Kind where KindType = 'H' order by KindOrder");
    ASSERT_EQ(orders.rows.size(), 3u);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(orders.rows[size_t(i)][0].toInt(), i + 1);
}

TEST_P(ProcLookupTest, MoveModelStaysWithinItsKind) {
    const QVariant other = insert("Model", {{"ModlKind", kHdd}, {"ModlName", "Seagate"}, {"ModlWeight", 7}});
    const auto models = [&] { return columnTexts(*open("LookUpModel", {key(kCart)}), "Name"); };
    exec("MoveModel", {key(mAlpha), TypedValue::Int(-1)});
    EXPECT_EQ(models(), (QStringList{"Тонер универсальный", "Альфа", "HP 12A", "Барабан"}));
    exec("MoveModel", {key(mDrum), TypedValue::Int(-1)});
    EXPECT_EQ(models(), (QStringList{"Тонер универсальный", "Альфа", "Барабан", "HP 12A"}))
        << "a model without a weight moves up from the end";
    exec("MoveModel", {key(mToner), TypedValue::Int(-1)});
    EXPECT_EQ(models(), (QStringList{"Тонер универсальный", "Альфа", "Барабан", "HP 12A"}));
    EXPECT_EQ(scalar("select ModlWeight from Model where IdModel = :M", {{"M", other}}).toInt(), 7)
        << "models of another kind are not renumbered";
}

TEST_P(ProcLookupTest, CalcModelNameComposesProducerAndNumber) {
    const QVariant firmLong = insert("Client", {{"ClntNameFull", QString(40, u'Д')}});
    const QString number30 = QString(30, u'7');
    struct Case {
        const char *what;
        QString number;
        TypedValue only, producer;
        QString name;
    };
    const Case cases[] = {
        {"trademark and number", "12A", TypedValue::Bool(false), key(firmHP), "HP 12A"},
        {"number only", "12A", TypedValue::Bool(true), key(firmHP), "12A"},
        {"no producer", "12A", TypedValue::Bool(false), TypedValue::Int(0), "12A"},
        {"producer Null", "12A", TypedValue::Bool(false), null(), "12A"},
        {"unknown producer", "12A", TypedValue::Bool(false), TypedValue::Int(99999), "12A"},
        {"short name, number trimmed", " 12A ", TypedValue::Bool(false), key(firmRom), "Ромашка 12A"},
        {"placeholder short name gives the full name", "X1", TypedValue::Bool(false), key(firmAO),
         "АО Фирма X1"},
        {"no number", "", TypedValue::Bool(false), key(firmHP), "HP"},
        {"cut to 60", number30, TypedValue::Bool(false), key(firmLong),
         (QString(40, u'Д') + u' ' + number30).left(60)},
    };
    for (const Case &c : cases) {
        DataSet ds(&cn());
        ds.setCommand("CalcModelName;1", CommandType::StoredProc);
        ds.setParameterValue("@NB", c.number);
        ds.setParameterValue("@NO", typedValueToVariant(c.only));
        ds.setParameterValue("@PR", typedValueToVariant(c.producer));
        ds.execProc();
        EXPECT_EQ(ds.parameter("@Name").value.toString(), c.name) << c.what;
    }
}

TEST_P(ProcLookupTest, ElementMovesAreRecordedAndListedNewestFirst) {
    const QString place = QStringLiteral("Управление / Бухгалтерия / Кабинет 5 / ПК бухгалтера");
    const QVariant second = insert("CompleteSet", {{"CmplIdDevice", devSrv}, {"CmplIdModel", mToner}});
    insert("ElementMove", {{"IdComponent", element},
                           {"Moving", QDateTime(QDate(2020, 1, 1), QTime(9, 0))},
                           {"Place", "Склад"}});
    insert("ElementMove", {{"IdComponent", element},
                           {"Moving", QDateTime(QDate(2021, 6, 1), QTime(9, 0))},
                           {"Place", "Ремонт"}});

    const QDateTime before = QDateTime::currentDateTime().addSecs(-1);
    exec("ExeElementMoveDocument", {key(element)});
    exec("ExeElementMoveDocument", {key(second)});
    const QDateTime after = QDateTime::currentDateTime().addSecs(1);

    auto grid = open("GridDisplacement", {key(element)});
    EXPECT_EQ(columnTexts(*grid, "Place"), (QStringList{place, "Ремонт", "Склад"}));
    grid->first();
    const QDateTime moving = grid->value("Moving").toDateTime();
    EXPECT_TRUE(moving >= before && moving <= after) << moving.toString(Qt::ISODate).toStdString();
    EXPECT_EQ(columnTexts(*open("GridDisplacement", {key(second)}), "Place"),
              (QStringList{"ИТ-отдел / Серверная / Сервер"}));

    // A department placed under its own descendant (in a database written before such a parent was
    // refused) must not stop the record.
    allowDepartmentCycles(cn());
    cn().execute("update Department set DprtIdHigher = :A where IdDepartment = :T",
                 {{"A", depAcc}, {"T", depTop}});
    exec("ExeElementMoveDocument", {key(element)});
    EXPECT_EQ(open("GridDisplacement", {key(element)})->recordCount(), 4);

    const int rows = scalar("select count(*) from ElementMove").toInt();
    for (const TypedValue &missing : {TypedValue::Int(0xBEEF), null()}) {
        try {
            exec("ExeElementMoveDocument", {missing});
            ADD_FAILURE() << "a missing element must be refused";
        } catch (const AppError &e) {
            EXPECT_FALSE(e.message().isEmpty());
            if (!missing.value.isNull()) {
                EXPECT_TRUE(e.message().contains(QStringLiteral("BEEF"))) << e.message().toStdString();
            }
        }
    }
    EXPECT_EQ(scalar("select count(*) from ElementMove").toInt(), rows);
}

VELMORA_BOTH_ENGINES(ProcLookupTest);

} // namespace
