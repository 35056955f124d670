// The demo organisation: a small, believable organisation written through the connection, leaving
// what the database derives (counters, orders of new rows, display texts, search texts) to the
// database's own triggers, so the result is what the program would have produced by entering the
// same rows.

#include "server/DemoData.h"

#include "data/Connection.h"
#include "data/Errors.h"
#include "data/Procedures.h"
#include "data/TessalVersionInfo.h"
#include "server/DemoCatalogue.h"
#include "server/OsUser.h"
#include "server/Schema.h"

#include <QDateTime>
#include <QHash>
#include <QSqlQuery>
#include <map>
#include <vector>

using namespace demodata;

namespace {

struct DepartmentDef {
    const char *name;
    const char *parent;
    const char *synonym;
};

const DepartmentDef Departments[] = {
    {"Администрация", nullptr, "Дирекция, руководство"},
    {"Приёмная", "Администрация", nullptr},
    {"Бухгалтерия", "Администрация", "Финансовый отдел"},
    {"Расчётная группа", "Бухгалтерия", "Зарплата"},
    {"Материальный учёт", "Бухгалтерия", nullptr},
    {"Отдел ИТ", nullptr, "ОИТ, информационные технологии"},
    {"Серверная", "Отдел ИТ", nullptr},
    {"Склад", nullptr, "Материальный склад"},
    {"Производство", nullptr, nullptr},
    {"Цех 1", "Производство", "Механический цех"},
    {"Цех 2", "Производство", "Сборочный цех"},
    {"Участок сборки", "Цех 2", nullptr},
    {"ОТК", "Производство", "Отдел технического контроля"},
};

struct UserDef {
    const char *login;
    const char *name;
    const char *addName;
    const char *shortName;
    const char *pass;
    bool fromDomain;
};

const UserDef Users[] = {
    {"petrov.av", "Петров Алексей", "Викторович, 1968 г. р.", "Петров А. В.", "Kp7-eastwind", true},
    {"smirnova.ei", "Смирнова Елена", "Игоревна", "Смирнова Е. И.", "Lm2-greenleaf", true},
    {"kuznetsova.on", "Кузнецова Ольга", "Николаевна, 1975 г. р.", "Кузнецова О. Н.", "Bx4-silverfox", true},
    {"popova.ts", "Попова Татьяна", "Сергеевна", "Попова Т. С.", "Qr8-morning", true},
    {"vasileva.mg", "Васильева Марина", "Геннадьевна", "Васильева М. Г.", "Tz3-riverbank", true},
    {"sokolov.dm", "Соколов Дмитрий", "Михайлович", "Соколов Д. М.", "Hn6-northstar", true},
    {"morozov.ip", "Морозов Илья", "Павлович, 1990 г. р.", "Морозов И. П.", "Wd5-pinecone", true},
    {"volkov.sn", "Волков Сергей", "Николаевич", "Волков С. Н.", "Gj9-stonewall", true},
    {"lebedev.ak", "Лебедев Андрей", "Константинович", "Лебедев А. К.", "Ys1-copperhill", false},
    {"novikov.ro", "Новиков Роман", "Олегович", "Новиков Р. О.", "Fv2-bluebird", false},
    {"fedorova.ya", "Фёдорова Юлия", "Андреевна", "Фёдорова Ю. А.", "Mc7-sunflower", true},
    {"egorov.vv", "Егоров Виктор", "Васильевич", "Егоров В. В.", nullptr, false},
    {"administrator", "Администратор домена", nullptr, "Администратор", nullptr, true},
};

struct WorkplaceDef {
    const char *department;
    const char *name;
    const char *phone;
    const char *login;
    const char *synonym;
};

const WorkplaceDef Workplaces[] = {
    {"Администрация", "Директор", "(812)555-0100", "petrov.av", "Кабинет 201"},
    {"Приёмная", "Секретарь", "101", "smirnova.ei", nullptr},
    {"Приёмная", "Переговорная", "102", nullptr, "Зал совещаний"},
    {"Бухгалтерия", "Главный бухгалтер", "110", "kuznetsova.on", "Кабинет 205"},
    {"Расчётная группа", "Бухгалтер по заработной плате", "111", "popova.ts", nullptr},
    {"Расчётная группа", "Касса", "113", nullptr, nullptr},
    {"Материальный учёт", "Бухгалтер по материалам", "114", "vasileva.mg", nullptr},
    {"Отдел ИТ", "Начальник отдела ИТ", "120", "sokolov.dm", nullptr},
    {"Отдел ИТ", "Инженер", "121", "morozov.ip", "Техподдержка"},
    {"Серверная", "Стойка 1", nullptr, nullptr, nullptr},
    {"Склад", "Кладовщик", "130", "volkov.sn", nullptr},
    {"Склад", "Хранение техники", nullptr, nullptr, "Резерв"},
    {"Цех 1", "Мастер цеха 1", "140", "lebedev.ak", nullptr},
    {"Цех 2", "Мастер цеха 2", "150", "novikov.ro", nullptr},
    {"Участок сборки", "Технолог", "151", "fedorova.ya", nullptr},
    {"ОТК", "Контролёр ОТК", "160", "egorov.vv", nullptr},
};

// What a computer holds, by model number.
const std::map<std::string, std::vector<const char *>> Kits = {
    {"office",
     {"Core i3-10100", "PRIME H410M-E", "KVR26N19S8/8", "SA400S37/240G", "24MK430H-B", "K120",
      "Windows 10 Pro", "Office 2019 Standard", "Endpoint Security 11"}},
    {"power",
     {"Core i5-10400", "PRIME H410M-E", "KVR32N22S8/16", "KVR32N22S8/16", "MZ-V8V500BW", "ST1000DM010",
      "S24R350FHI", "K120", "Windows 11 Pro", "Office 2019 Standard", "Endpoint Security 11"}},
    {"astra",
     {"Ryzen 5 3600", "PRIME B450M-A", "KVR26N19S8/8", "KVR26N19S8/8", "SA400S37/240G", "24MK430H-B", "K120",
      "Special Edition 1.7", "LibreOffice 7.5", "Endpoint Security 11"}},
    {"laptop", {"MZ-V8V500BW", "Windows 11 Pro", "Office 2019 Standard", "Endpoint Security 11"}},
    {"server",
     {"Xeon E-2236", "M393A2K40DB3-CWE", "M393A2K40DB3-CWE", "ST4000NM000A", "ST4000NM000A",
      "Windows Server 2019 Standard", "Security для серверов"}},
    {"none", {}},
};

// The tree shows a device as its kind's short name, its name and its network name
// ("ПК Intel Core i5 / 16 ГБ [buh-pc01]"), so names describe the device rather than repeat its kind.
struct DeviceDef {
    const char *tag; // how the lists below refer to the device; not stored
    const char *workplace;
    const char *kind;
    const char *name;
    const char *domain; // network name, nullptr for a device off the network
    const char *number; // inventory number
    int used;
    int preventionDaysAgo; // -1: never maintained
    bool preventionNeed;
    const char *description;
    const char *depreciation;
    const char *kit;
    int installedDaysAgo;
    int hardwareDocument; // index into Documents for the hardware, -1 for none
    int softwareDocument; // the same for the software
};

const DeviceDef Devices[] = {
    {"dir-pc", "Директор", "Компьютер", "Intel Core i5 / 16 ГБ", "dir-pc01", "000101", 1, 120, false, nullptr,
     nullptr, "power", 420, -1, 3},
    {"dir-prn", "Директор", "Принтер", "HP LaserJet Pro M404dn", nullptr, "000102", 1, 120, false, nullptr,
     nullptr, "none", 420, -1, -1},
    {"sec-pc", "Секретарь", "Компьютер", "Intel Core i3 / 8 ГБ", "sec-pc01", "000103", 1, 300, true, nullptr,
     nullptr, "office", 900, -1, -1},
    {"sec-mfp", "Секретарь", "МФУ", "Kyocera ECOSYS M2040dn", "prn-sec01", "000104", 1, 300, false,
     "Сетевое, общее для приёмной", nullptr, "none", 700, -1, -1},
    {"meet-nb", "Переговорная", "Ноутбук", "Lenovo ThinkPad E15", "meet-nb01", "000105", 1, -1, false,
     "Выдаётся под роспись", nullptr, "laptop", 250, -1, -1},
    {"buh-pc", "Главный бухгалтер", "Компьютер", "Intel Core i5 / 16 ГБ", "buh-pc01", "000110", 1, 60, false,
     nullptr, nullptr, "power", 400, 0, 3},
    {"buh-prn", "Главный бухгалтер", "Принтер", "Samsung Xpress M2020", nullptr, "000111", 1, 60, false,
     nullptr, nullptr, "none", 800, -1, -1},
    {"zp-pc", "Бухгалтер по заработной плате", "Компьютер", "Intel Core i3 / 8 ГБ", "buh-pc02", "000112", 1,
     60, false, nullptr, nullptr, "office", 400, 0, 3},
    {"cash-pc", "Касса", "Компьютер", "Intel Core i3 / 8 ГБ", "buh-pc03", "000113", 1, 60, false,
     "Рабочее место с ККТ", nullptr, "office", 400, 0, -1},
    {"cash-mfp", "Касса", "МФУ", "HP LaserJet Pro MFP M227fdn", nullptr, "000114", 1, 60, false, nullptr,
     nullptr, "none", 600, -1, -1},
    {"mat-pc", "Бухгалтер по материалам", "Компьютер", "Intel Core i3 / 8 ГБ", "buh-pc04", "000115", 1, 400,
     true, nullptr, nullptr, "office", 1100, -1, -1},
    {"it-pc", "Начальник отдела ИТ", "Компьютер", "Intel Core i5 / 16 ГБ", "it-pc01", "000120", 1, 30, false,
     nullptr, nullptr, "power", 500, -1, -1},
    {"it-nb", "Начальник отдела ИТ", "Ноутбук", "Lenovo ThinkPad E14", "it-nb01", "000121", 1, -1, false,
     "Ноутбук дежурного", nullptr, "laptop", 300, -1, -1},
    {"eng-pc", "Инженер", "Компьютер", "AMD Ryzen 5 / 16 ГБ", "it-pc02", "000122", 1, 30, false, nullptr,
     nullptr, "astra", 350, -1, -1},
    {"srv-dc", "Стойка 1", "Сервер", "SRV-01 Контроллер домена", "srv-dc01", "000130", 1, 90, false,
     "Контроллер домена KORVANT, DNS", nullptr, "server", 200, 1, 1},
    {"srv-files", "Стойка 1", "Сервер", "SRV-02 Файловый сервер", "srv-files", "000131", 1, 90, true,
     "Общие папки отделов", nullptr, "server", 200, 1, 1},
    {"store-pc", "Кладовщик", "Компьютер", "Intel Core i3 / 8 ГБ", "sklad-pc01", "000140", 1, 500, true,
     nullptr, nullptr, "office", 1300, -1, -1},
    {"store-prn", "Кладовщик", "Принтер", "Kyocera ECOSYS P2040dn", nullptr, "000141", 1, 500, false, nullptr,
     nullptr, "none", 1000, -1, -1},
    {"spare-pc", "Хранение техники", "Компьютер", "Intel Core i3 / 8 ГБ", nullptr, "000142", 2, -1, false,
     "Подменный на время ремонта", nullptr, "office", 600, -1, -1},
    {"new-pc", "Хранение техники", "Компьютер", "Intel Core i5 / 16 ГБ", nullptr, "000143", 4, -1, false,
     "Для ОТК, получен, не настроен", nullptr, "power", 5, -1, -1},
    {"old-pc", "Хранение техники", "Компьютер", "Pentium G4560 / 4 ГБ", nullptr, "000099", -1, 800, false,
     "Не включается", "Акт списания № 12", "office", 2000, -1, -1},
    {"ceh1-pc", "Мастер цеха 1", "Компьютер", "Intel Core i3 / 8 ГБ", "ceh1-pc01", "000150", 3, 10, true,
     "Замена блока питания", nullptr, "office", 1200, -1, -1},
    {"ceh2-pc", "Мастер цеха 2", "Компьютер", "AMD Ryzen 5 / 16 ГБ", "ceh2-pc01", "000160", 1, 200, false,
     nullptr, nullptr, "astra", 700, -1, -1},
    {"tech-pc", "Технолог", "Компьютер", "Intel Core i5 / 16 ГБ", "ceh2-pc02", "000161", 1, 200, false,
     "Станция САПР", nullptr, "power", 700, -1, -1},
    {"tech-mfp", "Технолог", "МФУ", "Kyocera ECOSYS M2040dn", nullptr, "000162", 1, 200, false, nullptr,
     nullptr, "none", 700, -1, -1},
    {"otk-pc", "Контролёр ОТК", "Компьютер", "AMD Ryzen 5 / 16 ГБ", nullptr, "000170", 1, 365, true, nullptr,
     nullptr, "astra", 900, -1, -1},
};

struct DocumentDef {
    const char *kind;
    const char *number;
    int daysAgo;
    const char *supplier;
    const char *note;
};

const DocumentDef Documents[] = {
    {"N", "ТС-00123", 400, "ООО «ТехноСнаб»", "Компьютеры для бухгалтерии"},
    {"C", "1457", 200, "ООО «Компьютерный мир»", "Серверное оборудование и программы"},
    {"N", "ТС-00388", 60, "ООО «ТехноСнаб»", "Картриджи и фотобарабаны"},
    {"A", "17", 30, "ИП Сидоров Андрей Викторович", "Лицензии на программы"},
};
constexpr int ConsumablesDocument = 2;

// A consumable replaced in one printer every `interval` days, the last time `lastDaysAgo` days ago:
// the next replacement is due `interval - lastDaysAgo` days from today (overdue when negative).
struct ReplacementDef {
    const char *printer; // tag of the device
    const char *model;
    int interval;
    int lastDaysAgo;
    int count;
};

const ReplacementDef Replacements[] = {
    {"dir-prn", "CF259A", 90, 120, 4},                  // overdue by a month
    {"buh-prn", "MLT-D111S", 60, 50, 5},                // due in ten days
    {"buh-prn", "Тонер универсальный 1 кг", 30, 36, 3}, // overdue by six days
    {"sec-mfp", "TK-1170", 120, 100, 3},                // due in twenty days
    {"sec-mfp", "DK-1150", 365, 400, 2},                // overdue
    {"cash-mfp", "CF230A", 75, 20, 3},                  // due in eight weeks
    {"cash-mfp", "CF232A", 300, 240, 2},                // due in two months
    {"store-prn", "TK-1160", 45, 70, 6},                // overdue by almost a month
    {"tech-mfp", "TK-1170", 90, 65, 2},                 // due in 25 days
};

// Who works at which computer beside the person of its workplace.
const std::pair<const char *, const char *> ExtraUses[] = {
    {"srv-dc", "administrator"}, {"srv-files", "administrator"}, {"srv-dc", "sokolov.dm"},
    {"it-nb", "morozov.ip"},     {"cash-pc", "popova.ts"},       {"meet-nb", "smirnova.ei"},
};

struct ChecklistLine {
    bool title;
    const char *name;
};

const ChecklistLine Checklist[] = {
    {true, "Подготовка компьютера"},
    {false, "Установить операционную систему и драйверы"},
    {false, "Ввести компьютер в домен KORVANT"},
    {false, "Установить антивирус и обновить базы"},
    {true, "Программы"},
    {false, "Установить офисный пакет"},
    {false, "Установить клиент 1С:Предприятие"},
    {false, "Настроить почтовый клиент"},
    {true, "Учётная запись"},
    {false, "Создать учётную запись в домене"},
    {false, "Подключить сетевые папки отдела и принтер"},
    {false, "Проверить вход пользователя и выдать пароль"},
};

const char *ChangeList = "Что нового в этой версии:\n"
                         "- дерево размещения загружается быстрее на больших базах;\n"
                         "- поиск находит текст в любом регистре, в том числе кириллицу;\n"
                         "- прогноз замены расходных материалов учитывает всю историю замен;\n"
                         "- закладки хранятся для каждого пользователя отдельно.";

class Demo {
public:
    explicit Demo(Connection &cn) : cn(cn) {}

    void run() {
        cat = ensureCatalogue(cn);
        documents();
        people();
        placement();
        replacements();
        bookmarks();
        serverTables();
    }

private:
    QVariant insert(const char *table, const char *key, const QVariantMap &values) {
        return insertRow(cn, str(table), str(key), values);
    }

    int lookup(const QHash<QString, int> &map, const char *name, const char *what) const {
        auto it = map.constFind(str(name));
        if (it == map.constEnd())
            throw AppError(QStringLiteral("Демонстрационные данные: не найден объект «%1» (%2)")
                               .arg(str(name), str(what)));
        return *it;
    }

    // A serial number in the producer's style, different for every element of the demo.
    QString serial(const ModelDef &m) {
        return str(m.serialPrefix) + QStringLiteral("%1").arg(4711 + 37 * ++serials, 7, 10, QLatin1Char('0'));
    }

    // One element. A document, when given, gets the element as its next position at the model's price.
    void element(int device, const CatalogueModel &model, const QDateTime &installed, int document) {
        const ModelDef &m = *model.def;
        const bool hardware = m.warranty > 0;
        QVariantMap row{{QStringLiteral("CmplIdDevice"), device},
                        {QStringLiteral("CmplIdModel"), model.id},
                        {QStringLiteral("ModelKind"), model.kind},
                        {QStringLiteral("CmplDateSet"), installed},
                        {QStringLiteral("NumberManufact"), serial(m)}};
        if (hardware) {
            row.insert(QStringLiteral("Warranty"), m.warranty);
            row.insert(QStringLiteral("DateManufact"), installed.addDays(-90));
            if (str(m.kind) == u"Монитор")
                row.insert(QStringLiteral("CmplNumber"),
                           QStringLiteral("ОИТ-%1").arg(++monitors, 4, 10, QLatin1Char('0')));
        }
        if (document >= 0) {
            row.insert(QStringLiteral("DocumentId"), documentIds[size_t(document)]);
            row.insert(QStringLiteral("DocumentPosition"), ++positions[size_t(document)]);
            row.insert(QStringLiteral("Price"), text(m.price));
            row.insert(QStringLiteral("NumberSeller"),
                       str(Documents[document].number) + u'/' + QString::number(positions[size_t(document)]));
        }
        insert("CompleteSet", "IdComponent", row);
    }

    void documents() {
        for (const DocumentDef &d : Documents) {
            documentIds.push_back(
                insert("Document", "IdDocument",
                       {{QStringLiteral("DocKind"), str(d.kind)},
                        {QStringLiteral("DocNumber"), str(d.number)},
                        {QStringLiteral("DocDate"),
                         QDateTime(QDate::currentDate().addDays(-d.daysAgo), QTime(0, 0))},
                        {QStringLiteral("DocClient"), lookup(cat.firms, d.supplier, "поставщик")},
                        {QStringLiteral("Note"), str(d.note)}})
                    .toInt());
            positions.push_back(0);
        }
    }

    void people() {
        for (const UserDef &u : Users) {
            const QString login = str(u.login);
            users.insert(login,
                         insert("User", "ID",
                                {{QStringLiteral("Login"), login},
                                 {QStringLiteral("Domain"), QStringLiteral("KORVANT")},
                                 {QStringLiteral("DomainSource"), u.fromDomain},
                                 {QStringLiteral("Name"), str(u.name)},
                                 {QStringLiteral("AddName"), text(u.addName)},
                                 {QStringLiteral("ShortName"), str(u.shortName)},
                                 {QStringLiteral("Pass"), text(u.pass)},
                                 {QStringLiteral("EMail"), login + QStringLiteral("@korvant.local")},
                                 {QStringLiteral("EMailGroup"),
                                  login == u"administrator" ? QVariant(QStringLiteral("it@korvant.local"))
                                                            : QVariant(QStringLiteral("all@korvant.local"))}})
                             .toInt());
        }
    }

    void placement() {
        // Parents come first in the list, so each one is known when its children are written.
        for (const DepartmentDef &d : Departments)
            departments.insert(
                str(d.name),
                insert("Department", "IdDepartment",
                       {{QStringLiteral("DprtName"), str(d.name)},
                        {QStringLiteral("DprtIdHigher"),
                         d.parent ? QVariant(lookup(departments, d.parent, "подразделение")) : QVariant()},
                        {QStringLiteral("Synonym"), text(d.synonym)}})
                    .toInt());
        for (const WorkplaceDef &w : Workplaces)
            workplaces.insert(
                str(w.name),
                insert(
                    "Workplace", "IdWorkplace",
                    {{QStringLiteral("WrkpIdDepartment"), lookup(departments, w.department, "подразделение")},
                     {QStringLiteral("WrkpName"), str(w.name)},
                     {QStringLiteral("Phone"), text(w.phone)},
                     {QStringLiteral("Synonym"), text(w.synonym)},
                     {QStringLiteral("User"),
                      w.login ? QVariant(lookup(users, w.login, "пользователь")) : QVariant()}})
                    .toInt());
        for (const DeviceDef &d : Devices) {
            const int id =
                insert("DeviceUnit", "IdDevice",
                       {{QStringLiteral("DevcIdWorkplace"), lookup(workplaces, d.workplace, "рабочее место")},
                        {QStringLiteral("DevcIdKind"), lookup(cat.kinds, d.kind, "вид")},
                        {QStringLiteral("DevcName"), str(d.name)},
                        {QStringLiteral("Domain"), text(d.domain)},
                        {QStringLiteral("DevcNumber"), str(d.number)},
                        {QStringLiteral("Used"), d.used},
                        {QStringLiteral("DevcPrinting"), d.used != -1},
                        {QStringLiteral("DevcDescription"), text(d.description)},
                        {QStringLiteral("Depreciation"), text(d.depreciation)},
                        {QStringLiteral("Prevention"),
                         d.preventionDaysAgo < 0 ? QVariant() : QVariant(daysAgo(d.preventionDaysAgo, 15))},
                        {QStringLiteral("PreventionNeed"), d.preventionNeed},
                        {QStringLiteral("PreventionExpress"), d.used == 3},
                        {QStringLiteral("OnLine"), false}})
                    .toInt();
            devices.insert(str(d.tag), id);
            const QDateTime installed = daysAgo(d.installedDaysAgo, 11, 30);
            for (const char *number : Kits.at(d.kit)) {
                const CatalogueModel &model = cat.model(number);
                const bool software = str(model.def->kind) == u"Операционная система" ||
                                      str(model.def->kind) == u"Офисный пакет" ||
                                      str(model.def->kind) == u"Антивирус";
                element(id, model, installed, software ? d.softwareDocument : d.hardwareDocument);
            }
        }
        // The person of a computer's workplace works at it.
        for (const DeviceDef &d : Devices) {
            if (!d.domain || str(d.kind) == u"МФУ")
                continue;
            for (const WorkplaceDef &w : Workplaces)
                if (w.login && str(w.name) == str(d.workplace))
                    use(d.tag, w.login);
        }
        for (const auto &[device, login] : ExtraUses)
            use(device, login);
    }

    void use(const char *device, const char *login) {
        insert("UseComputer", "ID",
               {{QStringLiteral("Computer"), lookup(devices, device, "устройство")},
                {QStringLiteral("User"), lookup(users, login, "пользователь")}});
    }

    // The history of each consumable: `count` replacements at regular intervals, the newest one
    // bought with the consumables document when it falls after that document's date.
    void replacements() {
        for (const ReplacementDef &r : Replacements) {
            const int device = lookup(devices, r.printer, "устройство");
            const CatalogueModel &model = cat.model(r.model);
            for (int i = r.count - 1; i >= 0; --i) {
                const int ago = r.lastDaysAgo + i * r.interval;
                const bool bought = i == 0 && ago <= Documents[ConsumablesDocument].daysAgo;
                element(device, model, daysAgo(ago, 9, 15), bought ? ConsumablesDocument : -1);
            }
        }
    }

    // Bookmarks of the operating-system user running this, oldest first (the highest Stamp is the
    // newest), each a node of the tree: kind letter and key, with the node's text.
    void bookmarks() {
        const QString user = OsUserName();
        const std::pair<QString, QString> nodes[] = {
            {QStringLiteral("D%1").arg(departments.value(QStringLiteral("Бухгалтерия"))),
             QStringLiteral("Бухгалтерия")},
            {QStringLiteral("W%1").arg(workplaces.value(QStringLiteral("Главный бухгалтер"))),
             QStringLiteral("Главный бухгалтер")},
            {QStringLiteral("V%1").arg(devices.value(QStringLiteral("srv-dc"))),
             QStringLiteral("SRV-01 Контроллер домена")},
            {QStringLiteral("W%1").arg(workplaces.value(QStringLiteral("Кладовщик"))),
             QStringLiteral("Кладовщик")},
        };
        int stamp = 0;
        for (const auto &[key, name] : nodes)
            insert("Favorite", "ID",
                   {{QStringLiteral("OsUser"), user},
                    {QStringLiteral("KeyObject"), key},
                    {QStringLiteral("Name"), name},
                    {QStringLiteral("Stamp"), ++stamp}});
    }

    void serverTables() {
        int line = 0;
        for (const ChecklistLine &l : Checklist)
            insert("UserInstallDefault", "ID",
                   {{QStringLiteral("Line"), ++line},
                    {QStringLiteral("Title"), l.title},
                    {QStringLiteral("Name"), str(l.name)}});
        if (cn.scalar(QStringLiteral("SELECT count(*) FROM DomainController WHERE ID = 1")).toInt() == 0)
            cn.execute(QStringLiteral(
                "INSERT INTO DomainController (ID, Domain, Controller) VALUES (1, 'KORVANT', '127.0.0.1')"));
        // The version in use is the running program's, so that the program starts without
        // updating itself; no program file is stored for it, nor for the updater.
        const QString version = VersionKey(GetFileVersionText(false));
        for (const QString &v : {version, QStringLiteral("update")}) {
            if (cn.scalar(QStringLiteral("SELECT count(*) FROM ProgramVersion WHERE Version = :V"),
                          {{QStringLiteral("V"), v}})
                    .toInt() > 0)
                continue;
            insert("ProgramVersion", "ID",
                   {{QStringLiteral("Version"), v},
                    {QStringLiteral("Programm"), QByteArray("")},
                    {QStringLiteral("Change"), v == version ? QVariant(str(ChangeList)) : QVariant()}});
        }
    }

    Connection &cn;
    Catalogue cat;
    QHash<QString, int> users, departments, workplaces, devices;
    std::vector<int> documentIds, positions;
    int serials = 0, monitors = 0;
};

} // namespace

void CreateDemoData(Connection &cn) {
    Transaction tx(cn);
    if (cn.scalar(QStringLiteral("SELECT count(*) FROM Department")).toInt() > 0)
        throw AppError(
            QStringLiteral("В базе данных уже есть подразделения: демонстрационные данные не загружены, "
                           "чтобы не повторить их"));
    Demo(cn).run();
    tx.commit();
}
