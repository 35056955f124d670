// The demo organisation and the large generated database.
//
// Both write plain rows through the connection and leave what the database derives (counters,
// orders of new rows, display texts, search texts) to the database's own triggers, so the result is
// what the program would have produced by entering the same rows. The one exception is the count
// of devices per kind during a large load on PostgreSQL (see CreateScaleData).

#include "DemoData.h"

#include "Connection.h"
#include "Errors.h"
#include "OsUser.h"
#include "Procedures.h"
#include "Schema.h"
#include "TessalVersionInfo.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QHash>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <algorithm>
#include <cstdio>
#include <map>
#include <vector>

namespace {

QVariant text(const char *s) {
    return s ? QVariant(QString::fromUtf8(s)) : QVariant();
}

QString str(const char *s) {
    return QString::fromUtf8(s);
}

// A moment `daysAgo` days before today, at the given time of day.
QDateTime daysAgo(int days, int hour = 10, int minute = 0) {
    return QDateTime(QDate::currentDate().addDays(-days), QTime(hour, minute));
}

void progress(const QString &line) {
    std::fputs((line + u'\n').toUtf8().constData(), stderr);
    std::fflush(stderr);
}

// Inserts one row and returns the key the database gave it.
QVariant insertRow(Connection &cn, const QString &table, const QString &key, const QVariantMap &values) {
    QStringList cols, marks;
    for (auto it = values.begin(); it != values.end(); ++it) {
        cols << u'[' + it.key() + u']';
        marks << u':' + it.key();
    }
    return cn.scalar(QStringLiteral("INSERT INTO [%1] (%2) VALUES (%3) RETURNING [%4]")
                         .arg(table, cols.join(QStringLiteral(", ")), marks.join(QStringLiteral(", ")), key),
                     values);
}

// ---- The catalogue: kinds, firms, models ----------------------------------------------------------

struct KindDef {
    char type;
    const char *name;
    const char *shortName;
};

const KindDef Kinds[] = {
    {'D', "Компьютер", "ПК"},
    {'D', "Ноутбук", "Ноутбук"},
    {'D', "Принтер", "Принтер"},
    {'D', "МФУ", "МФУ"},
    {'D', "Сервер", "Сервер"},
    {'H', "Процессор", "ЦП"},
    {'H', "Материнская плата", "Мат. плата"},
    {'H', "Оперативная память", "ОЗУ"},
    {'H', "Жёсткий диск", "HDD"},
    {'H', "Твердотельный накопитель", "SSD"},
    {'H', "Монитор", "Монитор"},
    {'H', "Клавиатура", "Клав."},
    {'M', "Картридж", "Картридж"},
    {'M', "Фотобарабан", "Барабан"},
    {'M', "Тонер", "Тонер"},
    {'S', "Операционная система", "ОС"},
    {'S', "Офисный пакет", "Офис"},
    {'S', "Антивирус", "Антивирус"},
};

struct FirmDef {
    const char *trademark; // nullptr for a supplier without a trademark
    const char *fullName;
    const char *shortName;
};

const FirmDef Firms[] = {
    {"HP", "HP Inc.", "HP"},
    {"Kyocera", "Kyocera Document Solutions Inc.", "Kyocera"},
    {"Samsung", "Samsung Electronics Co., Ltd.", "Samsung"},
    {"Intel", "Intel Corporation", "Intel"},
    {"AMD", "Advanced Micro Devices, Inc.", "AMD"},
    {"Microsoft", "Microsoft Corporation", "Microsoft"},
    {"Kaspersky", "АО «Лаборатория Касперского»", "Касперский"},
    {"Kingston", "Kingston Technology Company, Inc.", "Kingston"},
    {"Seagate", "Seagate Technology LLC", "Seagate"},
    {"LG", "LG Electronics Inc.", "LG"},
    {"ASUS", "ASUSTeK Computer Inc.", "ASUS"},
    {"Logitech", "Logitech International S.A.", "Logitech"},
    {"Astra Linux", "ООО «РусБИТех-Астра»", "РусБИТех-Астра"},
    {nullptr, "ООО «ТехноСнаб»", "ТехноСнаб"},
    {nullptr, "ООО «Компьютерный мир»", "Компьютерный мир"},
    {nullptr, "ИП Сидоров Андрей Викторович", "ИП Сидоров"},
};

struct ModelDef {
    const char *kind;
    const char *trademark; // producer's trademark; nullptr: no producer, the name is the number
    const char *number;
    const char *parameters;
    const char *note;
    const char *price;        // what one piece usually costs, exact decimal text
    const char *serialPrefix; // how the producer's serial numbers begin
    int warranty;             // months, 0 for none
};

const ModelDef Models[] = {
    {"Процессор", "Intel", "Core i3-10100", "4 ядра, 3,6 ГГц, LGA1200", nullptr, "9800.0000", "X0S1", 36},
    {"Процессор", "Intel", "Core i5-10400", "6 ядер, 2,9 ГГц, LGA1200", nullptr, "13900.0000", "X0S2", 36},
    {"Процессор", "AMD", "Ryzen 5 3600", "6 ядер, 3,6 ГГц, AM4", nullptr, "11400.0000", "9HA", 36},
    {"Процессор", "Intel", "Xeon E-2236", "6 ядер, 3,4 ГГц, LGA1151", "Серверный", "31200.0000", "X0X7", 36},
    {"Материнская плата", "ASUS", "PRIME H410M-E", "LGA1200, mATX", nullptr, "6300.0000", "L7M0", 36},
    {"Материнская плата", "ASUS", "PRIME B450M-A", "AM4, mATX", nullptr, "6900.0000", "L8M0", 36},
    {"Оперативная память", "Kingston", "KVR26N19S8/8", "DDR4 8 ГБ, 2666 МГц", nullptr, "2750.5000", "KV8",
     60},
    {"Оперативная память", "Kingston", "KVR32N22S8/16", "DDR4 16 ГБ, 3200 МГц", nullptr, "4890.0000", "KV16",
     60},
    {"Оперативная память", "Samsung", "M393A2K40DB3-CWE", "DDR4 16 ГБ, ECC Registered", "Для серверов",
     "8450.0000", "S0R", 36},
    {"Жёсткий диск", "Seagate", "ST1000DM010", "1 ТБ, 7200 об/мин, SATA", nullptr, "3990.0000", "ZN1", 24},
    {"Жёсткий диск", "Seagate", "ST4000NM000A", "4 ТБ, 7200 об/мин, SATA", "Для серверов", "11990.9900",
     "WS4", 60},
    {"Твердотельный накопитель", "Kingston", "SA400S37/240G", "240 ГБ, SATA", nullptr, "2100.0000", "50026B",
     36},
    {"Твердотельный накопитель", "Samsung", "MZ-V8V500BW", "500 ГБ, NVMe M.2", nullptr, "5600.0000", "S69",
     60},
    {"Монитор", "LG", "24MK430H-B", "23,8\", IPS, 1920×1080", nullptr, "12500.0000", "004NT", 36},
    {"Монитор", "Samsung", "S24R350FHI", "23,8\", IPS, 1920×1080, 75 Гц", nullptr, "11800.0000", "H4ZR", 36},
    {"Клавиатура", "Logitech", "K120", "USB, проводная", nullptr, "790.0000", "2037SC", 12},
    {"Картридж", "HP", "CF259A", "3000 страниц", "Для HP LaserJet Pro M404", "7400.0000", "CF59", 0},
    {"Картридж", "HP", "CF230A", "1600 страниц", "Для HP LaserJet Pro M227", "5200.0000", "CF30", 0},
    {"Картридж", "Samsung", "MLT-D111S", "1000 страниц", "Для Samsung Xpress M2020", "4300.0000", "CRUM", 0},
    {"Картридж", "Kyocera", "TK-1160", "7200 страниц", "Для ECOSYS P2040dn", "6100.0000", "TK60", 0},
    {"Картридж", "Kyocera", "TK-1170", "7200 страниц", "Для ECOSYS M2040dn", "6300.0000", "TK70", 0},
    {"Фотобарабан", "Kyocera", "DK-1150", "100 000 страниц", "Для ECOSYS M2040dn, P2040dn", "9900.0000",
     "DK50", 0},
    {"Фотобарабан", "HP", "CF232A", "23 000 страниц", "Для HP LaserJet Pro M227", "6700.0000", "CF32", 0},
    {"Тонер", nullptr, "Тонер универсальный 1 кг", "Для заправки картриджей Samsung", nullptr, "1450.0000",
     "T1K", 0},
    {"Операционная система", "Microsoft", "Windows 10 Pro", "64-разрядная, OEM", nullptr, "15900.0000",
     "OEM-W10", 0},
    {"Операционная система", "Microsoft", "Windows 11 Pro", "64-разрядная, OEM", nullptr, "17900.0000",
     "OEM-W11", 0},
    {"Операционная система", "Microsoft", "Windows Server 2019 Standard", "16 ядер", nullptr, "79500.0000",
     "WS19", 0},
    {"Операционная система", "Astra Linux", "Special Edition 1.7", "Уровень защиты «Орёл»", nullptr,
     "18500.0000", "ALSE", 0},
    {"Офисный пакет", "Microsoft", "Office 2019 Standard", "Бессрочная лицензия", nullptr, "23900.0000",
     "OFF19", 0},
    {"Офисный пакет", nullptr, "LibreOffice 7.5", "Свободная лицензия", nullptr, nullptr, "LO75", 0},
    {"Антивирус", "Kaspersky", "Endpoint Security 11", "Лицензия на 1 год", nullptr, "1850.0000", "KES", 0},
    {"Антивирус", "Kaspersky", "Security для серверов", "Лицензия на 1 год", "Для файловых серверов",
     "4990.0000", "KSS", 0},
};

struct CatalogueModel {
    int id = 0;
    int kind = 0;
    const ModelDef *def = nullptr;
};

// The keys of the catalogue rows, found or created.
struct Catalogue {
    QHash<QString, int> kinds;             // kind name -> IdKind
    QHash<QString, int> firms;             // full name -> IdClient
    QHash<QString, int> trademarks;        // trademark -> IdClient of the firm bearing it
    QHash<QString, CatalogueModel> models; // model number -> model

    const CatalogueModel &model(const char *number) const {
        auto it = models.constFind(str(number));
        if (it == models.constEnd())
            throw AppError(QStringLiteral("Модель «%1» не найдена в каталоге").arg(str(number)));
        return *it;
    }
};

// The model's display name as the model dialog stores it: through the server's own composition
// when it is installed, else the producer's trademark followed by the number.
QString modelName(Connection &cn, const ModelDef &m, int producer) {
    const QString number = str(m.number);
    if (ProcedureCatalogue::instance().find(QStringLiteral("CalcModelName"))) {
        QVector<Parameter> params = procedureParameters(QStringLiteral("CalcModelName"));
        for (Parameter &p : params) {
            if (p.name.compare(u"@NB", Qt::CaseInsensitive) == 0)
                p.value = number;
            else if (p.name.compare(u"@NO", Qt::CaseInsensitive) == 0)
                p.value = m.trademark == nullptr;
            else if (p.name.compare(u"@PR", Qt::CaseInsensitive) == 0)
                p.value = producer;
        }
        callProcedure(cn, QStringLiteral("CalcModelName"), params);
        for (const Parameter &p : params)
            if (p.name.compare(u"@Name", Qt::CaseInsensitive) == 0 && !p.value.toString().trimmed().isEmpty())
                return p.value.toString().trimmed();
    }
    const QString name = m.trademark ? str(m.trademark) + u' ' + number : number;
    return name.left(60);
}

// Finds every kind, firm and model of the catalogue by its name, creating the missing ones, so that
// the demo and any number of generated runs share one catalogue.
Catalogue ensureCatalogue(Connection &cn) {
    Catalogue cat;
    for (const KindDef &k : Kinds) {
        const QVariantMap key{{QStringLiteral("KindType"), QString(QLatin1Char(k.type))},
                              {QStringLiteral("KindName"), str(k.name)}};
        QVariant id = cn.scalar(
            QStringLiteral("SELECT IdKind FROM Kind WHERE KindType = :KindType AND KindName = :KindName"),
            key);
        if (id.isNull()) {
            QVariantMap row = key;
            row.insert(QStringLiteral("ShortName"), str(k.shortName));
            id = insertRow(cn, QStringLiteral("Kind"), QStringLiteral("IdKind"), row);
        }
        cat.kinds.insert(str(k.name), id.toInt());
    }
    for (const FirmDef &f : Firms) {
        QVariant trademark;
        if (f.trademark) {
            trademark = cn.scalar(QStringLiteral("SELECT ID FROM Trademark WHERE Name = :N"),
                                  {{QStringLiteral("N"), str(f.trademark)}});
            if (trademark.isNull())
                trademark = insertRow(cn, QStringLiteral("Trademark"), QStringLiteral("ID"),
                                      {{QStringLiteral("Name"), str(f.trademark)}});
        }
        QVariant id = cn.scalar(QStringLiteral("SELECT IdClient FROM Client WHERE ClntNameFull = :N"),
                                {{QStringLiteral("N"), str(f.fullName)}});
        if (id.isNull())
            id = insertRow(cn, QStringLiteral("Client"), QStringLiteral("IdClient"),
                           {{QStringLiteral("ClntNameFull"), str(f.fullName)},
                            {QStringLiteral("ClntNameShort"), str(f.shortName)},
                            {QStringLiteral("Trademark"), trademark}});
        cat.firms.insert(str(f.fullName), id.toInt());
        if (f.trademark)
            cat.trademarks.insert(str(f.trademark), id.toInt());
    }
    for (const ModelDef &m : Models) {
        const int kind = cat.kinds.value(str(m.kind));
        QVariant id =
            cn.scalar(QStringLiteral("SELECT IdModel FROM Model WHERE ModlKind = :K AND ModlNumber = :N"),
                      {{QStringLiteral("K"), kind}, {QStringLiteral("N"), str(m.number)}});
        if (id.isNull()) {
            const int producer = m.trademark ? cat.trademarks.value(str(m.trademark)) : 0;
            id = insertRow(cn, QStringLiteral("Model"), QStringLiteral("IdModel"),
                           {{QStringLiteral("ModlKind"), kind},
                            {QStringLiteral("ModlIdProducer"), producer ? QVariant(producer) : QVariant()},
                            {QStringLiteral("ModlNumber"), str(m.number)},
                            {QStringLiteral("ModlName"), modelName(cn, m, producer)},
                            // A model without a producer is named by its number alone.
                            {QStringLiteral("ModlNameOnly"), m.trademark == nullptr},
                            {QStringLiteral("ModlParametersValue"), text(m.parameters)},
                            {QStringLiteral("ModlNote"), text(m.note)}});
        }
        cat.models.insert(str(m.number), CatalogueModel{id.toInt(), kind, &m});
    }
    for (const auto &[code, name] : {std::pair{"C", "Счёт-фактура"}, std::pair{"A", "Акт"}}) {
        if (cn.scalar(QStringLiteral("SELECT count(*) FROM DocKind WHERE ID = :ID"),
                      {{QStringLiteral("ID"), str(code)}})
                .toInt() == 0)
            cn.execute(QStringLiteral("INSERT INTO DocKind (ID, Name) VALUES (:ID, :Name)"),
                       {{QStringLiteral("ID"), str(code)}, {QStringLiteral("Name"), str(name)}});
    }
    return cat;
}

// ---- The demo organisation ---------------------------------------------------------------------

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

// ---- Bulk insertion ----------------------------------------------------------------------------

// Rows of one table written many at a time: "INSERT ... VALUES (...), (...), ..." with up to
// `rowsPerStatement` rows, each statement prepared once and reused for every batch of its size.
// With `returning`, the listed columns of the inserted rows are collected (in no set order).
class BulkInsert {
public:
    BulkInsert(Connection &cn, const QString &table, const QStringList &columns,
               const QString &returning = {}, int rowsPerStatement = 500)
        : m_cn(cn), m_table(table), m_columns(columns), m_returning(returning), m_batch(rowsPerStatement) {
        m_pending.reserve(size_t(m_batch));
    }

    void add(QVariantList row) {
        m_pending.push_back(std::move(row));
        if (int(m_pending.size()) == m_batch)
            flush();
    }

    void flush() {
        if (m_pending.empty())
            return;
        QSqlQuery &q = statement(int(m_pending.size()));
        for (const QVariantList &row : m_pending)
            for (const QVariant &v : row)
                q.addBindValue(bindableValue(v));
        if (!q.exec())
            throw DatabaseError(describeError(m_cn.engine(), q.lastError()), q.lastQuery());
        if (!m_returning.isEmpty())
            while (q.next()) {
                QVariantList r;
                for (int i = 0; i < q.record().count(); ++i)
                    r << q.value(i);
                m_returned.push_back(std::move(r));
            }
        q.finish();
        m_pending.clear();
    }

    // The rows returned since the last call.
    std::vector<QVariantList> takeReturned() { return std::exchange(m_returned, {}); }

private:
    QSqlQuery &statement(int rows) {
        auto it = m_statements.find(rows);
        if (it != m_statements.end())
            return it->second;
        QStringList cols, marks, values;
        for (const QString &c : m_columns)
            cols << u'[' + c + u']';
        int n = 0;
        for (int r = 0; r < rows; ++r) {
            marks.clear();
            for (int c = 0; c < m_columns.size(); ++c)
                marks << QStringLiteral(":p%1").arg(n++);
            values << u'(' + marks.join(u',') + u')';
        }
        QString sql = QStringLiteral("INSERT INTO [%1] (%2) VALUES %3")
                          .arg(m_table, cols.join(u','), values.join(u','));
        if (!m_returning.isEmpty())
            sql += QStringLiteral(" RETURNING ") + m_returning;
        const PreparedSql p = prepareSql(sql, m_cn.engine());
        QSqlQuery q(m_cn.database());
        q.setForwardOnly(true);
        if (!q.prepare(p.text))
            throw DatabaseError(describeError(m_cn.engine(), q.lastError()), sql);
        return m_statements.emplace(rows, std::move(q)).first->second;
    }

    Connection &m_cn;
    QString m_table;
    QStringList m_columns;
    QString m_returning;
    int m_batch;
    std::vector<QVariantList> m_pending, m_returned;
    std::map<int, QSqlQuery> m_statements;
};

// Maps the (key, unique text) pairs returned by an insert to text -> key.
QHash<QString, int> keysByText(const std::vector<QVariantList> &rows) {
    QHash<QString, int> out;
    out.reserve(qsizetype(rows.size()));
    for (const QVariantList &r : rows)
        out.insert(r.value(1).toString(), r.value(0).toInt());
    return out;
}

// ---- The generated database --------------------------------------------------------------------

// A large organisation's catalogue holds far more models than its devices use today: cartridges
// for every printer it ever had, monitors and disks of every purchase. About one model per 250
// devices of each of these kinds (20 at least, 400 at most), numbered on from those already there;
// no element refers to them.
void addCatalogueRange(Connection &cn, const Catalogue &cat, int devices) {
    struct Range {
        const char *kind, *trademark, *prefix, *parameters;
    };
    const Range ranges[] = {
        {"Картридж", "HP", "CE%1A", "%1 страниц"},
        {"Монитор", "LG", "%1MP60G", "%1\", IPS"},
        {"Жёсткий диск", "Seagate", "ST%1DM", "%1 ГБ, SATA"},
    };
    const int wanted = std::clamp(devices / 250, 20, 400);
    BulkInsert ins(cn, QStringLiteral("Model"),
                   {QStringLiteral("ModlKind"), QStringLiteral("ModlIdProducer"),
                    QStringLiteral("ModlNumber"), QStringLiteral("ModlName"), QStringLiteral("ModlNameOnly"),
                    QStringLiteral("ModlParametersValue")});
    for (const Range &r : ranges) {
        const int kind = cat.kinds.value(str(r.kind));
        const int producer = cat.trademarks.value(str(r.trademark));
        const int have = cn.scalar(QStringLiteral("SELECT count(*) FROM Model WHERE ModlKind = :K"),
                                   {{QStringLiteral("K"), kind}})
                             .toInt();
        for (int i = have; i < wanted; ++i) {
            const QString number = str(r.prefix).arg(100 + i);
            ins.add({kind, producer, number, str(r.trademark) + u' ' + number, false,
                     str(r.parameters).arg(1000 + 50 * i)});
        }
    }
    ins.flush();
}

// What each kind of generated device holds; alternatives of a slot are taken in turn.
struct Slot {
    std::vector<const char *> models;
};

const std::vector<Slot> ComputerSlots = {
    {{"Core i3-10100", "Core i5-10400", "Ryzen 5 3600"}},
    {{"PRIME H410M-E", "PRIME H410M-E", "PRIME B450M-A"}},
    {{"KVR26N19S8/8", "KVR32N22S8/16", "KVR26N19S8/8"}},
    {{"KVR26N19S8/8", "KVR32N22S8/16", "KVR26N19S8/8"}},
    {{"SA400S37/240G", "MZ-V8V500BW", "SA400S37/240G"}},
    {{"ST1000DM010"}},
    {{"24MK430H-B", "S24R350FHI", "24MK430H-B"}},
    {{"Windows 10 Pro", "Windows 11 Pro", "Special Edition 1.7"}},
    {{"Office 2019 Standard", "Office 2019 Standard", "LibreOffice 7.5"}},
    {{"Endpoint Security 11"}},
};

const std::vector<Slot> LaptopSlots = {
    {{"Core i5-10400"}},        {{"KVR32N22S8/16"}},        {{"KVR32N22S8/16"}}, {{"MZ-V8V500BW"}},
    {{"ST1000DM010"}},          {{"S24R350FHI"}},           {{"K120"}},          {{"Windows 11 Pro"}},
    {{"Office 2019 Standard"}}, {{"Endpoint Security 11"}},
};

enum class Generated { Computer, Laptop, Printer, Mfp };

Generated generatedKind(int i) {
    switch (i % 10) {
    case 6:
        return Generated::Laptop;
    case 7:
    case 8:
        return Generated::Printer;
    case 9:
        return Generated::Mfp;
    default:
        return Generated::Computer;
    }
}

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

void CreateScaleData(Connection &cn, int devices) {
    // Serial numbers have nine digits; ten elements a device keeps them below a billion.
    if (devices < 1 || devices > 10'000'000)
        throw AppError(QStringLiteral("Число устройств должно быть от 1 до 10 000 000"));

    QElapsedTimer clock;
    clock.start();
    // SQLite writes the pages of a transaction out when its page cache (2 MB by default) is
    // full, and reads them back for every index it updates: a larger cache for the load makes it
    // several times faster. The cache is this connection's alone and is restored afterwards.
    QVariant cacheSize;
    if (cn.engine() == Engine::SQLite) {
        cacheSize = cn.scalar(QStringLiteral("PRAGMA cache_size"));
        cn.execute(QStringLiteral("PRAGMA cache_size = -262144"));
    }
    struct RestoreCache {
        Connection &cn;
        QVariant size;
        ~RestoreCache() {
            if (size.isValid()) {
                try {
                    cn.execute(QStringLiteral("PRAGMA cache_size = %1").arg(size.toLongLong()));
                } catch (const AppError &) {
                }
            }
        }
    } restoreCache{cn, cacheSize};
    // The load takes minutes: rather than give up at the end of them, it waits longer for the
    // rows other users hold.
    const BulkWaitLimit bulkWait(cn);
    Transaction tx(cn);
    const Catalogue cat = ensureCatalogue(cn);

    // Numbers continue those of earlier rows, so that names stay distinct when the database is
    // filled more than once. A serial number is the element's running number after the highest
    // element key so far: keys are never reused, so no element of an earlier run has a number as
    // high (its own serial number never exceeds its key).
    const int departmentBase = cn.scalar(QStringLiteral("SELECT count(*) FROM Department")).toInt();
    const int workplaceBase = cn.scalar(QStringLiteral("SELECT count(*) FROM Workplace")).toInt();
    const int deviceBase = cn.scalar(QStringLiteral("SELECT count(*) FROM DeviceUnit")).toInt();
    qint64 serial =
        cn.scalar(QStringLiteral("SELECT coalesce(max(IdComponent), 0) FROM CompleteSet")).toLongLong();

    // Departments: one top level of sites, the rest departments of those sites.
    const int departmentCount = std::max(2, devices / 200);
    const int siteCount = std::max(1, departmentCount / 10);
    const int sectionCount = departmentCount - siteCount;
    std::vector<int> sites, sections;
    {
        BulkInsert ins(cn, QStringLiteral("Department"),
                       {QStringLiteral("DprtName"), QStringLiteral("Synonym")},
                       QStringLiteral("IdDepartment, DprtName"));
        QStringList names;
        for (int i = 0; i < siteCount; ++i) {
            names << QStringLiteral("Площадка %1").arg(departmentBase + i + 1);
            ins.add({names.back(), QStringLiteral("Филиал")});
        }
        ins.flush();
        const QHash<QString, int> keys = keysByText(ins.takeReturned());
        for (const QString &n : names)
            sites.push_back(keys.value(n));
    }
    {
        BulkInsert ins(cn, QStringLiteral("Department"),
                       {QStringLiteral("DprtName"), QStringLiteral("DprtIdHigher")},
                       QStringLiteral("IdDepartment, DprtName"));
        QStringList names;
        for (int i = 0; i < sectionCount; ++i) {
            names << QStringLiteral("Отдел %1").arg(departmentBase + siteCount + i + 1);
            ins.add({names.back(), sites[size_t(i % siteCount)]});
        }
        ins.flush();
        const QHash<QString, int> keys = keysByText(ins.takeReturned());
        for (const QString &n : names)
            sections.push_back(keys.value(n));
    }

    // Workplaces, in runs of neighbours per department, ordered 1, 2, ... within it.
    const int workplaceCount = std::max(1, devices / 2);
    std::vector<int> workplaces(static_cast<size_t>(workplaceCount));
    {
        BulkInsert ins(cn, QStringLiteral("Workplace"),
                       {QStringLiteral("WrkpIdDepartment"), QStringLiteral("WrkpName"),
                        QStringLiteral("WrkpOrder"), QStringLiteral("Phone")},
                       QStringLiteral("IdWorkplace, WrkpName"));
        QHash<QString, int> keys;
        QStringList names;
        int previous = -1, order = 0;
        for (int w = 0; w < workplaceCount; ++w) {
            const int d = int(qint64(w) * sectionCount / workplaceCount);
            order = d == previous ? order + 1 : 1;
            previous = d;
            names << QStringLiteral("Рабочее место %1").arg(workplaceBase + w + 1, 6, 10, QLatin1Char('0'));
            ins.add({sections[size_t(d)], names.back(), order,
                     QStringLiteral("%1-%2").arg(2 + w % 7).arg(w % 10000, 4, 10, QLatin1Char('0'))});
            if (w % 500 == 499 || w == workplaceCount - 1) {
                ins.flush();
                keys.insert(keysByText(ins.takeReturned()));
            }
        }
        for (int w = 0; w < workplaceCount; ++w)
            workplaces[size_t(w)] = keys.value(names[w]);
    }

    addCatalogueRange(cn, cat, devices);

    const int computerKind = cat.kinds.value(QStringLiteral("Компьютер"));
    const int laptopKind = cat.kinds.value(QStringLiteral("Ноутбук"));
    const int printerKind = cat.kinds.value(QStringLiteral("Принтер"));
    const int mfpKind = cat.kinds.value(QStringLiteral("МФУ"));

    BulkInsert deviceIns(cn, QStringLiteral("DeviceUnit"),
                         {QStringLiteral("DevcIdWorkplace"), QStringLiteral("DevcIdKind"),
                          QStringLiteral("DevcName"), QStringLiteral("DevcNumber"), QStringLiteral("Domain"),
                          QStringLiteral("Used"), QStringLiteral("DevcPrinting"),
                          QStringLiteral("Prevention"), QStringLiteral("PreventionNeed"),
                          QStringLiteral("PreventionExpress")},
                         QStringLiteral("IdDevice, DevcNumber"));
    BulkInsert elementIns(
        cn, QStringLiteral("CompleteSet"),
        {QStringLiteral("CmplIdDevice"), QStringLiteral("CmplIdModel"), QStringLiteral("ModelKind"),
         QStringLiteral("CmplDateSet"), QStringLiteral("NumberManufact"), QStringLiteral("Warranty"),
         QStringLiteral("Price"), QStringLiteral("DocumentId"), QStringLiteral("DocumentPosition")});
    BulkInsert documentIns(cn, QStringLiteral("Document"),
                           {QStringLiteral("DocKind"), QStringLiteral("DocNumber"), QStringLiteral("DocDate"),
                            QStringLiteral("DocClient")},
                           QStringLiteral("IdDocument, DocNumber"));

    const QDate today = QDate::currentDate();
    // The elements of a chunk of devices are collected first: they come with incoming documents,
    // one for every few devices (a few dozen positions), dated on or before the first installation
    // among its positions, so that the documents spread over the same years as the elements.
    struct PendingElement {
        int device;
        const CatalogueModel *model;
        QDateTime installed;
        int group; // the document's running number within the chunk
    };
    std::vector<PendingElement> pending;
    constexpr int DevicesPerDocument = 4;
    const QString suppliers[] = {QStringLiteral("ООО «ТехноСнаб»"), QStringLiteral("ООО «Компьютерный мир»"),
                                 QStringLiteral("ИП Сидоров Андрей Викторович")};
    const char *const documentKinds = "NNNCA"; // mostly delivery notes, some invoices and acts
    int documentNo = cn.scalar(QStringLiteral("SELECT count(*) FROM Document")).toInt();
    auto addElement = [&](int device, const CatalogueModel &m, const QDateTime &installed, int group) {
        pending.push_back({device, &m, installed, group});
    };
    auto flushElements = [&] {
        std::vector<QDate> dates;
        for (const PendingElement &e : pending) {
            if (size_t(e.group) >= dates.size())
                dates.resize(size_t(e.group) + 1);
            QDate &d = dates[size_t(e.group)];
            if (!d.isValid() || e.installed.date() < d)
                d = e.installed.date();
        }
        QStringList numbers;
        for (size_t g = 0; g < dates.size(); ++g) {
            ++documentNo;
            numbers << QStringLiteral("ПН-%1").arg(documentNo, 7, 10, QLatin1Char('0'));
            documentIns.add({QString(QLatin1Char(documentKinds[documentNo % 5])), numbers.back(),
                             QDateTime(dates[g].addDays(-(documentNo % 9)), QTime(0, 0)),
                             cat.firms.value(suppliers[documentNo % 3])});
        }
        documentIns.flush();
        const QHash<QString, int> keys = keysByText(documentIns.takeReturned());
        std::vector<int> positions(dates.size());
        for (const PendingElement &e : pending) {
            const CatalogueModel &m = *e.model;
            elementIns.add({e.device, m.id, m.kind, e.installed,
                            QStringLiteral("SN%1").arg(++serial, 9, 10, QLatin1Char('0')),
                            m.def->warranty > 0 ? QVariant(m.def->warranty) : QVariant(), text(m.def->price),
                            keys.value(numbers[e.group]), ++positions[size_t(e.group)]});
        }
        pending.clear();
    };

    // On PostgreSQL every device counted into its kind's row makes a new version of that row, and
    // within one transaction each update walks all the earlier versions: 60 000 devices of one
    // kind took over a minute. The documents counted into their supplier's and kind's rows do the
    // same. So the triggers that count them are switched off for the load and the counts are set
    // once at the end. Both happen inside the load's transaction, so a failure leaves the triggers
    // as they were; it is done only where a trigger is there under its name and the account owns
    // the table, else the trigger simply keeps counting.
    struct PausedCounter {
        const char *table, *trigger, *recount;
    };
    const PausedCounter counters[] = {
        {"DeviceUnit", "trDeviceUnitUsesDevice",
         "UPDATE Kind SET UsesDevice = (SELECT count(*) FROM DeviceUnit WHERE DevcIdKind = Kind.IdKind) "
         "WHERE UsesDevice <> (SELECT count(*) FROM DeviceUnit WHERE DevcIdKind = Kind.IdKind)"},
        {"Document", "trDocumentCountDoc",
         "UPDATE Client SET CountDoc = (SELECT count(*) FROM Document WHERE DocClient = Client.IdClient) "
         "WHERE CountDoc <> (SELECT count(*) FROM Document WHERE DocClient = Client.IdClient)"},
        {"Document", "trDocumentUses",
         "UPDATE DocKind SET Uses = (SELECT count(*) FROM Document WHERE Document.DocKind = DocKind.ID) "
         "WHERE Uses <> (SELECT count(*) FROM Document WHERE Document.DocKind = DocKind.ID)"},
    };
    std::vector<const PausedCounter *> paused;
    if (cn.engine() == Engine::PostgreSQL)
        for (const PausedCounter &c : counters) {
            const QString table = QString::fromLatin1(c.table), trigger = QString::fromLatin1(c.trigger);
            if (cn.scalar(
                      QStringLiteral("SELECT count(*) FROM pg_trigger t JOIN pg_class c ON c.oid = t.tgrelid "
                                     "WHERE t.tgrelid = to_regclass(:T) AND t.tgname = :N "
                                     "AND t.tgenabled <> 'D' AND pg_has_role(c.relowner, 'USAGE')"),
                      {{QStringLiteral("T"), table.toLower()}, {QStringLiteral("N"), trigger.toLower()}})
                    .toInt() > 0) {
                cn.execute(QStringLiteral("ALTER TABLE %1 DISABLE TRIGGER %2").arg(table, trigger));
                paused.push_back(&c);
            }
        }

    Schema::ProgramFoldForLoad fold(cn);
    progress(QStringLiteral("Создание %1 устройств...").arg(devices));
    constexpr int Chunk = 500;
    int reported = 0;
    for (int start = 0; start < devices; start += Chunk) {
        const int end = std::min(devices, start + Chunk);
        QStringList numbers;
        for (int i = start; i < end; ++i) {
            const int n = deviceBase + i + 1;
            const Generated g = generatedKind(i);
            const bool computer = g == Generated::Computer || g == Generated::Laptop;
            QString name, domain;
            int kind = computerKind;
            switch (g) {
            case Generated::Computer:
                name = QStringLiteral("Системный блок %1");
                kind = computerKind;
                break;
            case Generated::Laptop:
                name = QStringLiteral("Lenovo ThinkPad %1");
                kind = laptopKind;
                break;
            case Generated::Printer:
                name = QStringLiteral("Kyocera ECOSYS P2040dn %1");
                kind = printerKind;
                break;
            case Generated::Mfp:
                name = QStringLiteral("Kyocera ECOSYS M2040dn %1");
                kind = mfpKind;
                break;
            }
            name = name.arg(n, 6, 10, QLatin1Char('0'));
            // Most computers are on the network; one in eight is not (stored, not yet set up).
            if (computer && i % 8 != 3)
                domain = (g == Generated::Laptop ? QStringLiteral("nb-%1") : QStringLiteral("ws-%1"))
                             .arg(n, 6, 10, QLatin1Char('0'));
            numbers << QStringLiteral("И-%1").arg(n, 7, 10, QLatin1Char('0'));
            const int workplace = workplaces[size_t(qint64(i) * workplaceCount / devices)];
            deviceIns.add(
                {workplace, kind, name, numbers.back(), domain.isEmpty() ? QVariant() : QVariant(domain),
                 i % 50 == 25 ? 2 : 1, true,
                 computer ? QVariant(QDateTime(today.addDays(-(i * 7 % 400)), QTime(14, 0))) : QVariant(),
                 i % 20 == 0, i % 200 == 0});
        }
        deviceIns.flush();
        const QHash<QString, int> keys = keysByText(deviceIns.takeReturned());

        for (int i = start; i < end; ++i) {
            const int device = keys.value(numbers[i - start]);
            const int group = (i - start) / DevicesPerDocument;
            const Generated g = generatedKind(i);
            if (g == Generated::Computer || g == Generated::Laptop) {
                const QDateTime installed(today.addDays(-(i * 37 % 1500)), QTime(9 + i % 8, i % 60));
                for (const Slot &s : g == Generated::Computer ? ComputerSlots : LaptopSlots)
                    addElement(device, cat.model(s.models[size_t(i / 10 % int(s.models.size()))]), installed,
                               group);
            } else {
                // Eight cartridges and two drums replaced at regular intervals; the last
                // replacement lies anywhere in the last two intervals, so some are overdue.
                const CatalogueModel &cartridge = cat.model(g == Generated::Printer ? "TK-1160" : "TK-1170");
                const CatalogueModel &drum = cat.model("DK-1150");
                const int interval = 30 + i % 61;
                const int last = i * 13 % (2 * interval);
                for (int k = 7; k >= 0; --k)
                    addElement(device, cartridge,
                               QDateTime(today.addDays(-(last + k * interval)), QTime(10, 0)), group);
                for (int k = 1; k >= 0; --k)
                    addElement(device, drum,
                               QDateTime(today.addDays(-(last + 1 + k * 4 * interval)), QTime(10, 30)),
                               group);
            }
        }
        flushElements();
        const int percent = int(qint64(end) * 100 / devices);
        if (percent / 10 > reported / 10 || end == devices) {
            reported = percent;
            progress(QStringLiteral("%1% (%2 устройств, %3 с)")
                         .arg(percent)
                         .arg(end)
                         .arg(clock.elapsed() / 1000.0, 0, 'f', 1));
        }
    }
    elementIns.flush();
    fold.restore();
    for (const PausedCounter *c : paused) {
        cn.execute(QString::fromLatin1(c->recount));
        cn.execute(QStringLiteral("ALTER TABLE %1 ENABLE TRIGGER %2")
                       .arg(QString::fromLatin1(c->table), QString::fromLatin1(c->trigger)));
    }
    tx.commit();
    // Fresh statistics for the planner after a bulk load.
    cn.execute(QStringLiteral("ANALYZE"));
}
