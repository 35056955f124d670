// The inventory from and to spreadsheets: the files people really make (Windows-1251, a byte-order
// mark, thousands spaces, quoted line breaks, workbooks with date cells), the checks that refuse a
// file as a whole, a second import that finds everything, the export-import-export round trip and
// a cancelled import.

#include "TestDatabase.h"
#include "ToolRun.h"
#include "data/SchemaInfo.h"
#include "model/InventoryExport.h"
#include "model/InventoryImport.h"
#include "server/DemoData.h"
#include "server/Schema.h"
#include "server/Server.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <tuple>
#include <xlsxwriter.h>

namespace {

// A text in Windows-1251: ASCII, the Russian letters and the few signs the files use.
QByteArray cp1251(const QString &s) {
    QByteArray out;
    for (QChar c : s) {
        const char16_t u = c.unicode();
        if (u < 0x80)
            out += char(u);
        else if (u >= 0x410 && u <= 0x44F)
            out += char(0xC0 + (u - 0x410));
        else if (u == 0x401)
            out += char(0xA8);
        else if (u == 0x451)
            out += char(0xB8);
        else if (u == 0xA0)
            out += char(0xA0);
        else
            ADD_FAILURE() << "no Windows-1251 byte for U+" << std::hex << int(u);
    }
    return out;
}

QByteArray utf8(const QString &s) {
    return s.toUtf8();
}

class InventoryImportTest : public ServerTest {
protected:
    QString file(const QString &name, const QByteArray &bytes) {
        const QString path = dir.filePath(name);
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(bytes);
        return path;
    }

    // Every row the import may write, as one number per table.
    QString tableCounts(Connection &c) {
        QStringList out;
        for (const char *t :
             {"Department", "Workplace", "DeviceUnit", "CompleteSet", "Kind", "Model", "Client", "Document"})
            out << QStringLiteral("%1=%2").arg(
                QString::fromLatin1(t),
                c.scalar(QStringLiteral("SELECT count(*) FROM [%1]").arg(QString::fromLatin1(t))).toString());
        return out.join(u' ');
    }

    QString text(const QString &sql) { return scalar(sql).toString(); }

    QString readAll(const QString &path) {
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::ReadOnly));
        return QString::fromUtf8(f.readAll());
    }

    // A second database of the same engine with the program's schema.
    std::unique_ptr<TestDatabase> freshDatabase() {
        auto other = std::make_unique<TestDatabase>(GetParam());
        Schema::prepare(other->cn());
        return other;
    }

    QTemporaryDir dir;
};

struct TrapCase {
    const char *name;
    QByteArray bytes;
    QStringList errors;                              // each the beginning of the error at its place
    std::vector<std::pair<QString, QString>> checks; // a query and the text it gives, after a good import
};

TEST_P(InventoryImportTest, FilesAsPeopleMakeThem) {
    const QString known = InventoryColumns().join(QStringLiteral(", "));
    const std::vector<TrapCase> cases = {
        {"Windows-1251 with semicolons and a quoted line break (a space in a one-line name)",
         cp1251(QStringLiteral(
             "Подразделение;Рабочее место;Устройство;Инвентарный номер;Тип;Модель;Цена\r\n"
             "Бухгалтерия / Касса;\"Кассир\r\nокно 2\";Принтер;И-1;Картридж;CF259A;\"7 400,00\"\r\n")),
         {},
         {{"SELECT WrkpName FROM Workplace", "Кассир окно 2"},
          {"SELECT d.DprtName FROM Department d JOIN Department p ON p.IdDepartment = d.DprtIdHigher "
           "WHERE p.DprtName = 'Бухгалтерия'",
           "Касса"},
          {"SELECT Price FROM CompleteSet", "7400.0000"}}},
        {"a byte-order mark and commas",
         utf8(QStringLiteral("\xFEFFПодразделение,Рабочее место,Устройство,Сетевое имя\r\n"
                             "Склад,Стеллаж,\"Сканер, ручной\",\"sc-\"\"01\"\"\"\r\n")),
         {},
         {{"SELECT DevcName FROM DeviceUnit", "Сканер, ручной"},
          {"SELECT Domain FROM DeviceUnit", "sc-\"01\""}}},
        {"tabs, thousands spaces and a no-break space",
         utf8(
             QStringLiteral("Подразделение\tРабочее место\tУстройство\tТип\tМодель\tЦена\tГарантия\n"
                            "Склад\tСтеллаж\tПК\tМонитор\tLG 24\t12 500,50\t36\n"
                            "Склад\tСтеллаж\tПК\tМонитор\tLG 27\t1\u00A0200.5 ₽\t\n")),
         {},
         {{"SELECT Price FROM CompleteSet ORDER BY IdComponent DESC", "1200.5000"},
          {"SELECT Price FROM CompleteSet ORDER BY IdComponent", "12500.5000"},
          {"SELECT count(*) FROM DeviceUnit", "1"},
          {"SELECT count(*) FROM CompleteSet WHERE Warranty = 36", "1"}}},
        {"Unicode text with tabs as a spreadsheet program saves it",
         QByteArray("\xFF\xFE") +
             QByteArray(
                 reinterpret_cast<const char *>(
                     QStringLiteral("Подразделение\tРабочее место\tУстройство\r\nСклад\tСтеллаж\tЁлка\r\n")
                         .utf16()),
                 2 * QStringLiteral("Подразделение\tРабочее место\tУстройство\r\nСклад\tСтеллаж\tЁлка\r\n")
                         .size()),
         {},
         {{"SELECT DevcName FROM DeviceUnit", "Ёлка"}}},
        {"headings in any case and with ё, a new kind of materials",
         utf8(QStringLiteral("ПОДРАЗДЕЛЕНИЕ;рабочее МЕСТО;Устройство;Тип;Модель;Вид;Дата документа;Документ\n"
                             "Склад;Стеллаж;Шкаф;Тонер-картридж;TK-1;материалы;2024-03-15;ПН-1\n")),
         {},
         {{"SELECT KindType FROM Kind WHERE KindName = 'Тонер-картридж'", "M"},
          {"SELECT count(*) FROM Document WHERE DocNumber = 'ПН-1' AND DocKind = 'N'", "1"}}},
        {"an impossible date; the heading is row 1 and a quoted line break is no row",
         utf8(QStringLiteral("Подразделение;Рабочее место;Устройство;Тип;Модель;Документ;Дата документа\n"
                             "Склад;\"Стеллаж\n2\";ПК;Монитор;LG;ПН-1;15.01.2024\n"
                             "Склад;Стеллаж;ПК;Монитор;LG;ПН-2;31.02.2024\n"
                             "Склад;Стеллаж;ПК;Монитор;LG;ПН-3;вчера\n")),
         {QStringLiteral("Строка 3, столбец «Дата документа»: 31.02.2024 — такой даты нет."),
          QStringLiteral("Строка 4, столбец «Дата документа»: вчера — это не дата; пишите ДД.ММ.ГГГГ.")},
         {}},
        {"one inventory number on two devices",
         utf8(QStringLiteral("Подразделение;Рабочее место;Устройство;Инвентарный номер\n"
                             "Склад;Стеллаж;Принтер;И-7\n"
                             "Склад;Стеллаж;Принтер;и-7\n"
                             "Склад;Стеллаж;Сканер;И-7\n")),
         {QStringLiteral("Строка 4, столбец «Инвентарный номер»: И-7 — в строке 2 этот номер у другого "
                         "устройства: «Принтер», Склад / Стеллаж.")},
         {}},
        {"an unknown column and a value without a heading",
         utf8(QStringLiteral("Подразделение;Рабочее место;Цвет\nСклад;Стеллаж;серый\n")),
         {QStringLiteral("Строка 1, столбец C «Цвет»: такого столбца нет — известны: %1.").arg(known)},
         {}},
        {"values a dialog refuses",
         utf8(QStringLiteral("Подразделение;Рабочее место;Устройство;Тип;Модель;Цена;Гарантия;Вид\n"
                             "Склад;;ПК;Монитор;;-5;700;железо\n"
                             "Склад;Стеллаж;%1\n")
                  .arg(QString(51, u'Я'))),
         {QStringLiteral("Строка 2, столбец «Цена»: -5 — цена не может быть меньше нуля."),
          QStringLiteral("Строка 2, столбец «Гарантия»: 700 — гарантия — целое число месяцев от 0 до 600."),
          QStringLiteral("Строка 2, столбец «Вид»: железо — пишите Оборудование, Материалы или Программы."),
          QStringLiteral("Строка 2, столбец «Рабочее место»: пусто — нужно рабочее место устройства."),
          QStringLiteral("Строка 2, столбец «Модель»: пусто — нужна модель элемента."),
          QStringLiteral("Строка 3, столбец «Устройство»: %1 — длиннее 50 символов.").arg(QString(51, u'Я'))},
         {}},
    };
    for (const TrapCase &c : cases) {
        SCOPED_TRACE(c.name);
        const QString before = tableCounts(cn());
        const QString path = file(QStringLiteral("trap.csv"), c.bytes);
        ImportOptions dry;
        dry.dryRun = true;
        const ImportResult preview = ImportInventory(cn(), path, dry);
        EXPECT_EQ(tableCounts(cn()), before) << "a dry run writes nothing";
        const ImportResult r = ImportInventory(cn(), path);
        EXPECT_EQ(r.errorCount, preview.errorCount);
        ASSERT_EQ(r.errors.size(), c.errors.size()) << r.errorText().toStdString();
        for (int i = 0; i < c.errors.size(); ++i)
            EXPECT_EQ(r.errors[i], c.errors[i]);
        if (!c.errors.isEmpty()) {
            EXPECT_FALSE(r.written);
            EXPECT_EQ(tableCounts(cn()), before) << "a file with errors writes nothing";
            continue;
        }
        EXPECT_TRUE(r.written);
        for (const auto &[sql, want] : c.checks) {
            QVariant v = scalar(sql);
            if (sql.contains(u"Price"))
                v = Money::fromUnits(Money::toUnits(v));
            EXPECT_EQ(v.toString(), want) << sql.toStdString();
        }
        for (const char *t : {"CompleteSet", "DeviceUnit", "Workplace", "Department"})
            cn().execute(QStringLiteral("DELETE FROM [%1]").arg(QString::fromLatin1(t)));
    }
}

TEST_P(InventoryImportTest, WorkbookCellsAsTextNumbersAndDates) {
    const QString path = dir.filePath(QStringLiteral("office.xlsx"));
    lxw_workbook *book = workbook_new(QFile::encodeName(path).constData());
    lxw_worksheet *sheet = workbook_add_worksheet(book, "Офис");
    workbook_add_worksheet(book, "Второй лист не читается");
    lxw_format *date = workbook_add_format(book);
    format_set_num_format(date, "d mmmm yyyy");
    lxw_format *money = workbook_add_format(book);
    format_set_num_format(money, "#,##0.00 \"₽\"");
    const char *heads[] = {"Подразделение", "Рабочее место", "Устройство", "Инвентарный номер",
                           "Тип",           "Модель",        "Документ",   "Дата документа",
                           "Цена",          "Гарантия"};
    for (int c = 0; c < 10; ++c)
        worksheet_write_string(sheet, 0, lxw_col_t(c), heads[c], nullptr);
    lxw_datetime when{2024, 3, 15, 0, 0, 0};
    // Row 3 is left empty, as people leave rows; row 4 has a gap before its last cell.
    for (lxw_row_t r : {1, 3}) {
        worksheet_write_string(sheet, r, 0, "Офис / Бухгалтерия", nullptr);
        worksheet_write_string(sheet, r, 1, "Главный бухгалтер", nullptr);
        worksheet_write_string(sheet, r, 2, "ПК", nullptr);
        worksheet_write_number(sheet, r, 3, 12345, nullptr);
        worksheet_write_string(sheet, r, 4, "Монитор", nullptr);
        worksheet_write_string(sheet, r, 5, r == 1 ? "24MK430H" : "S24R350", nullptr);
        worksheet_write_string(sheet, r, 6, "ПН-77", nullptr);
        worksheet_write_datetime(sheet, r, 7, &when, date);
        worksheet_write_number(sheet, r, 8, 12500.5, money);
    }
    worksheet_write_number(sheet, 1, 9, 36, nullptr);
    ASSERT_EQ(workbook_close(book), LXW_NO_ERROR);

    const ImportResult r = ImportInventory(cn(), path);
    ASSERT_EQ(r.errorCount, 0) << r.errorText().toStdString();
    EXPECT_EQ(r.rows, 2);
    EXPECT_EQ(r.count(ImportItem::Device).made, 1);
    EXPECT_EQ(r.count(ImportItem::Element).made, 2);
    EXPECT_EQ(r.count(ImportItem::Document).made, 1);
    EXPECT_EQ(text("SELECT DevcNumber FROM DeviceUnit"), QStringLiteral("12345"));
    EXPECT_EQ(scalar(QStringLiteral("SELECT DocDate FROM Document")).toDateTime().date(), QDate(2024, 3, 15));
    EXPECT_EQ(Money::toUnits(scalar(QStringLiteral("SELECT max(Price) FROM CompleteSet"))), 125005000);
    EXPECT_EQ(text("SELECT count(*) FROM CompleteSet WHERE Warranty = 36"), QStringLiteral("1"));
    EXPECT_EQ(text("SELECT max(DocumentPosition) FROM CompleteSet"), QStringLiteral("2"));
}

TEST_P(InventoryImportTest, ExportImportExportGivesTheSameFileAndASecondImportChangesNothing) {
    CreateDemoData(cn());
    const QString first = dir.filePath(QStringLiteral("first.csv"));
    const int rows = ExportInventory(cn(), first);
    EXPECT_GT(rows, 100);
    const QString firstText = readAll(first);
    {
        QFile f(first);
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        EXPECT_EQ(f.read(3), QByteArrayLiteral("\xEF\xBB\xBF"));
    }
    EXPECT_TRUE(firstText.contains(QStringLiteral("\r\n")));

    // Into an empty database, by the CSV and by the workbook.
    const QString book = dir.filePath(QStringLiteral("first.xlsx"));
    EXPECT_EQ(ExportInventory(cn(), book), rows);
    for (const QString &source : {first, book}) {
        SCOPED_TRACE(source.toStdString());
        auto other = freshDatabase();
        const ImportResult r = ImportInventory(other->cn(), source);
        ASSERT_EQ(r.errorCount, 0) << r.errorText().toStdString();
        EXPECT_EQ(r.count(ImportItem::Element).made,
                  scalar(QStringLiteral("SELECT count(*) FROM CompleteSet")).toInt());
        const QString again = dir.filePath(QStringLiteral("again.csv"));
        ExportInventory(other->cn(), again);
        EXPECT_EQ(readAll(again), firstText);

        const QString before = tableCounts(other->cn());
        const ImportResult second = ImportInventory(other->cn(), source);
        ASSERT_EQ(second.errorCount, 0) << second.errorText().toStdString();
        for (int i = 0; i < int(ImportItem::Count); ++i) {
            EXPECT_EQ(second.counts[size_t(i)].made, 0) << i;
            EXPECT_EQ(second.counts[size_t(i)].changed, 0) << i;
            EXPECT_EQ(second.counts[size_t(i)].found, r.counts[size_t(i)].made + r.counts[size_t(i)].found)
                << i;
        }
        EXPECT_EQ(tableCounts(other->cn()), before);
    }

    // The same file over the database it came from finds everything too.
    const ImportResult same = ImportInventory(cn(), first);
    ASSERT_EQ(same.errorCount, 0) << same.errorText().toStdString();
    EXPECT_EQ(same.count(ImportItem::Element).made, 0);
    EXPECT_EQ(same.count(ImportItem::Element).changed, 0);
    EXPECT_EQ(same.count(ImportItem::Device).changed, 0);
}

// The elements are read for hundreds of devices at a time: every element still comes out under
// its own device, in the tree's order, and the round trip holds across those batches.
TEST_P(InventoryImportTest, ElementsStayWithTheirDevicesAcrossReadBatches) {
    CreateScaleData(cn(), 1200);
    const QString first = dir.filePath(QStringLiteral("scale.csv"));
    const int rows = ExportInventory(cn(), first);
    const int elements = scalar(QStringLiteral("SELECT count(*) FROM CompleteSet")).toInt();
    const int bare = scalar(QStringLiteral("SELECT count(*) FROM DeviceUnit d WHERE NOT EXISTS "
                                           "(SELECT 1 FROM CompleteSet c WHERE c.CmplIdDevice = d.IdDevice)"))
                         .toInt();
    EXPECT_GE(rows, elements + bare);
    auto other = freshDatabase();
    const ImportResult r = ImportInventory(other->cn(), first);
    ASSERT_EQ(r.errorCount, 0) << r.errorText().toStdString();
    EXPECT_EQ(r.count(ImportItem::Element).made, elements);
    const QString query =
        QStringLiteral("SELECT d.DevcNumber, count(c.IdComponent) FROM DeviceUnit d LEFT JOIN "
                       "CompleteSet c ON c.CmplIdDevice = d.IdDevice GROUP BY d.DevcNumber "
                       "ORDER BY d.DevcNumber");
    const auto perDevice = [&](Connection &c) {
        QStringList out;
        for (const auto &row : c.query(query).rows)
            out << row[0].toString() + u'=' + row[1].toString();
        return out.join(u' ');
    };
    EXPECT_EQ(perDevice(other->cn()), perDevice(cn()));
    const QString again = dir.filePath(QStringLiteral("scale-again.csv"));
    ExportInventory(other->cn(), again);
    EXPECT_EQ(readAll(again), readAll(first));
}

TEST_P(InventoryImportTest, AChangedCellChangesItsRowOnly) {
    const QString path = file(QStringLiteral("a.csv"),
                              utf8(QStringLiteral("Подразделение;Рабочее место;Устройство;Инвентарный номер;"
                                                  "Сетевое имя;Тип;Модель;Серийный номер;Цена\n"
                                                  "Склад;Стеллаж;ПК;И-1;pc-1;Монитор;LG;SN1;100\n"
                                                  "Склад;Стеллаж;ПК;И-1;pc-1;Монитор;LG;;200\n"
                                                  "Склад;Стеллаж;ПК;И-1;pc-1;Монитор;LG;;300\n")));
    ASSERT_TRUE(ImportInventory(cn(), path).written);
    // The device moved to another workplace, one serial-less monitor got another price.
    file(QStringLiteral("a.csv"),
         utf8(QStringLiteral("Подразделение;Рабочее место;Устройство;Инвентарный номер;"
                             "Сетевое имя;Тип;Модель;Серийный номер;Цена\n"
                             "Склад;Окно;ПК;И-1;pc-1;Монитор;LG;SN1;100\n"
                             "Склад;Окно;ПК;И-1;pc-1;Монитор;LG;;200\n"
                             "Склад;Окно;ПК;И-1;pc-1;Монитор;LG;;350\n")));
    const ImportResult r = ImportInventory(cn(), path);
    ASSERT_EQ(r.errorCount, 0) << r.errorText().toStdString();
    EXPECT_EQ(r.count(ImportItem::Device).changed, 1);
    EXPECT_EQ(r.count(ImportItem::Workplace).made, 1);
    EXPECT_EQ(r.count(ImportItem::Element).changed, 1);
    EXPECT_EQ(r.count(ImportItem::Element).found, 2);
    EXPECT_EQ(r.count(ImportItem::Element).made, 0);
    EXPECT_EQ(
        text("SELECT w.WrkpName FROM DeviceUnit d JOIN Workplace w ON w.IdWorkplace = d.DevcIdWorkplace"),
        QStringLiteral("Окно"));
    EXPECT_EQ(text("SELECT count(*) FROM CompleteSet"), QStringLiteral("3"));
    EXPECT_EQ(Money::toUnits(scalar(QStringLiteral("SELECT max(Price) FROM CompleteSet"))), 3500000);
}

// A serial number and a model name one element wherever it stands: moved to another device in the
// sheet, it moves there (with its move history) instead of being made a second time; a number that
// several elements share ("б/н") names none of them.
TEST_P(InventoryImportTest, AnElementMovedInTheSheetMovesInTheDatabase) {
    const QString head = QStringLiteral("Подразделение;Рабочее место;Устройство;Инвентарный номер;Тип;Модель;"
                                        "Серийный номер\n");
    const QString path =
        file(QStringLiteral("m.csv"), utf8(head + QStringLiteral("Склад;Стол 1;ПК-1;И-1;Монитор;LG;SN1\n"
                                                                 "Склад;Стол 1;ПК-1;И-1;Монитор;LG;б/н\n"
                                                                 "Склад;Стол 2;ПК-2;И-2;Монитор;LG;б/н\n")));
    ASSERT_TRUE(ImportInventory(cn(), path).written);
    file(QStringLiteral("m.csv"), utf8(head + QStringLiteral("Склад;Стол 1;ПК-1;И-1;Монитор;LG;б/н\n"
                                                             "Склад;Стол 2;ПК-2;И-2;Монитор;LG;б/н\n"
                                                             "Склад;Стол 2;ПК-2;И-2;Монитор;LG;sn1\n"
                                                             "Склад;Стол 3;ПК-3;И-3;Монитор;LG;б/н\n")));
    for (const bool dryRun : {true, false}) {
        SCOPED_TRACE(dryRun ? "dry run" : "import");
        ImportOptions o;
        o.dryRun = dryRun;
        const ImportResult r = ImportInventory(cn(), path, o);
        ASSERT_EQ(r.errorCount, 0) << r.errorText().toStdString();
        EXPECT_EQ(r.count(ImportItem::Element).changed, 1);
        EXPECT_EQ(r.count(ImportItem::Element).made, 1);
        EXPECT_EQ(r.count(ImportItem::Element).found, 2);
    }
    EXPECT_EQ(text("SELECT d.DevcName FROM CompleteSet c JOIN DeviceUnit d ON d.IdDevice = c.CmplIdDevice "
                   "WHERE c.NumberManufact = 'SN1'"),
              QStringLiteral("ПК-2"));
    EXPECT_EQ(text("SELECT count(*) FROM CompleteSet"), QStringLiteral("4"));
    EXPECT_EQ(text("SELECT m.Place FROM ElementMove m JOIN CompleteSet c ON c.IdComponent = m.IdComponent "
                   "WHERE c.NumberManufact = 'SN1'"),
              QStringLiteral("Склад / Стол 2 / ПК-2"));
    const ImportResult again = ImportInventory(cn(), path);
    EXPECT_EQ(again.count(ImportItem::Element).found, 4);
    EXPECT_EQ(again.count(ImportItem::Element).made + again.count(ImportItem::Element).changed, 0);
}

TEST_P(InventoryImportTest, ACancelledImportWritesNothing) {
    CreateDemoData(cn());
    const QString path = dir.filePath(QStringLiteral("demo.csv"));
    ExportInventory(cn(), path);
    auto other = freshDatabase();
    const QString before = tableCounts(other->cn());
    for (int at : {100, 1000}) {
        SCOPED_TRACE(at);
        ImportOptions options;
        int last = 0;
        options.progress = [&](int permille) {
            EXPECT_GE(permille, last);
            last = permille;
            return permille < at;
        };
        const ImportResult r = ImportInventory(other->cn(), path, options);
        EXPECT_TRUE(r.cancelled);
        EXPECT_FALSE(r.written);
        EXPECT_EQ(tableCounts(other->cn()), before);
    }
}

TEST_P(InventoryImportTest, ErrorsAreListedUpToTwoHundredThenCounted) {
    QString csv = QStringLiteral("Подразделение;Рабочее место;Устройство;Тип;Модель;Дата документа\n");
    for (int i = 0; i < 250; ++i)
        csv += QStringLiteral("Склад;Стеллаж;ПК;Монитор;LG;32.01.2024\n");
    const ImportResult r = ImportInventory(cn(), file(QStringLiteral("many.csv"), utf8(csv)));
    EXPECT_EQ(r.errorCount, 250);
    EXPECT_EQ(r.errors.size(), ImportResult::ShownErrors);
    EXPECT_EQ(r.errors.back(),
              QStringLiteral("Строка 201, столбец «Дата документа»: 32.01.2024 — такой даты нет."));
    EXPECT_TRUE(r.errorText().endsWith(QStringLiteral("\n…и ещё 50 ошибок.")))
        << r.errorText().right(40).toStdString();
}

TEST_P(InventoryImportTest, HeadingsMappedByThePerson) {
    const QString path =
        file(QStringLiteral("m.csv"), utf8(QStringLiteral("Отдел;Кабинет;Наименование\nСклад;101;Шкаф\n")));
    EXPECT_EQ(ImportInventory(cn(), path).errorCount, 4); // three unknown columns and no department column
    ImportOptions options;
    options.headings = {{QStringLiteral("отдел"), QStringLiteral("Подразделение")},
                        {QStringLiteral("кабинет"), QStringLiteral("Рабочее место")},
                        {QStringLiteral("наименование"), QStringLiteral("Устройство")}};
    const ImportResult r = ImportInventory(cn(), path, options);
    ASSERT_EQ(r.errorCount, 0) << r.errorText().toStdString();
    EXPECT_EQ(text("SELECT DevcName FROM DeviceUnit"), QStringLiteral("Шкаф"));
}

VELMORA_BOTH_ENGINES(InventoryImportTest);

} // namespace

namespace {

// velmora-db import and export, run as processes: the exit codes, what goes to which stream, and
// a refused or checked file that leaves the database as it was.
TEST(InventoryTool, ImportsExportsAndRefuses) {
    const QString tool = ToolPath();
    if (!QFileInfo(tool).isExecutable())
        GTEST_SKIP() << "velmora-db is not built beside the tests";
    QTemporaryDir dir;
    const QString db = QStringLiteral("sqlite:") + dir.filePath(QStringLiteral("t.db"));
    auto run = [&](const QStringList &args) {
        return RunProgram(tool, QStringList{QStringLiteral("--database"), db} + args);
    };
    auto write = [&](const char *name, const QString &text) {
        QFile f(dir.filePath(QString::fromLatin1(name)));
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(text.toUtf8());
        return f.fileName();
    };
    ASSERT_EQ(run({QStringLiteral("create")}).exitCode, 0);
    const QString good =
        write("good.csv", QStringLiteral("Подразделение;Рабочее место;Устройство\nСклад;Стеллаж;ПК\n"));
    const QString bad =
        write("bad.csv", QStringLiteral("Подразделение;Рабочее место;Устройство;Тип;Модель;Гарантия\n"
                                        "Склад;Стеллаж;ПК;Монитор;LG;год\n"));
    const struct {
        QStringList args;
        int exitCode;
        const char *out, *err; // texts the streams hold; nullptr: not checked
        int devices;           // devices in the database afterwards
    } cases[] = {
        {{QStringLiteral("import"), good, QStringLiteral("--dry-run")},
         0,
         "Проверено; ничего не записано.",
         nullptr,
         0},
        {{QStringLiteral("import"), bad},
         1,
         nullptr,
         "Строка 2, столбец «Гарантия»: год — гарантия — целое число месяцев от 0 до 600.\nНичего не "
         "записано.",
         0},
        {{QStringLiteral("import"), good}, 0, "Устройства: создано 1, найдено 0, изменено 0", nullptr, 1},
        {{QStringLiteral("import"), good}, 0, "Устройства: создано 0, найдено 1, изменено 0", nullptr, 1},
        {{QStringLiteral("import"), dir.filePath(QStringLiteral("none.csv"))},
         1,
         nullptr,
         "не открывается",
         1},
        {{QStringLiteral("import")}, 2, nullptr, "не указан файл", 1},
        {{QStringLiteral("export"), dir.filePath(QStringLiteral("out.ods"))},
         2,
         nullptr,
         ".csv или .xlsx",
         1},
        {{QStringLiteral("export"), dir.filePath(QStringLiteral("out.xlsx"))},
         0,
         "out.xlsx: строк 1",
         nullptr,
         1},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.args.join(u' ').toStdString());
        const auto [code, out, err] = run(c.args);
        EXPECT_EQ(code, c.exitCode) << err.toStdString();
        if (c.out) {
            EXPECT_TRUE(out.contains(QString::fromUtf8(c.out))) << out.toStdString();
        }
        if (c.err) {
            EXPECT_TRUE(err.contains(QString::fromUtf8(c.err))) << err.toStdString();
        }
        const auto [sqlCode, count, sqlErr] =
            run({QStringLiteral("sql"), QStringLiteral("SELECT count(*) FROM DeviceUnit")});
        EXPECT_TRUE(count.contains(QStringLiteral("\n%1\n").arg(c.devices))) << count.toStdString();
    }
}

} // namespace
