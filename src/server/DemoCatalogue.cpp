// The catalogue of kinds, firms and models the demo organisation and the generated database share.

#include "server/DemoCatalogue.h"

#include "data/Connection.h"
#include "data/Procedures.h"

#include <cstdio>

namespace demodata {

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

namespace {

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

} // namespace

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

} // namespace demodata
