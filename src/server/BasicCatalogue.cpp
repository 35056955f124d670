#include "server/BasicCatalogue.h"

#include "data/Connection.h"

#include <iterator>

namespace {

const BasicKind Kinds[] = {
    {'D', "Системный блок", "Сист. блок"},
    {'D', "Монитор", "Монитор"},
    {'D', "Принтер", "Принтер"},
    {'D', "ИБП", "ИБП"},
    {'D', "Коммутатор", "Коммутатор"},
    {'H', "Процессор", "ЦП"},
    {'H', "Оперативная память", "ОЗУ"},
    {'H', "Жёсткий диск", "HDD"},
    {'H', "Видеокарта", "Видео"},
    {'H', "Блок питания", "БП"},
    {'M', "Картридж", "Картридж"},
    {'M', "Фотобарабан", "Барабан"},
    {'M', "Тонер", "Тонер"},
    {'S', "Операционная система", "ОС"},
    {'S', "Офисный пакет", "Офис"},
    {'S', "Антивирус", "Антивирус"},
};

// "N" comes with the schema itself: it is the kind every new document gets.
const BasicDocKind DocKinds[] = {
    {"N", "Накладная"},
    {"C", "Счёт-фактура"},
    {"A", "Акт"},
};

} // namespace

const BasicKind *BasicKinds(int *count) {
    if (count)
        *count = int(std::size(Kinds));
    return Kinds;
}

const BasicDocKind *BasicDocKinds(int *count) {
    if (count)
        *count = int(std::size(DocKinds));
    return DocKinds;
}

void CreateBasicCatalogue(Connection &cn) {
    Transaction tx(cn);
    for (const BasicKind &k : Kinds) {
        QVariantMap row{{QStringLiteral("T"), QString(QLatin1Char(k.type))},
                        {QStringLiteral("N"), QString::fromUtf8(k.name)}};
        if (cn.scalar(QStringLiteral("SELECT count(*) FROM Kind WHERE KindType = :T AND KindName = :N"), row)
                .toInt() > 0)
            continue;
        row.insert(QStringLiteral("S"), QString::fromUtf8(k.shortName));
        // KindOrder is given by the table's own rule: after the kinds of the type already there.
        cn.execute(QStringLiteral("INSERT INTO Kind (KindType, KindName, ShortName) VALUES (:T, :N, :S)"),
                   row);
    }
    for (const BasicDocKind &d : DocKinds) {
        const QVariantMap row{{QStringLiteral("ID"), QString::fromLatin1(d.code)},
                              {QStringLiteral("Name"), QString::fromUtf8(d.name)}};
        if (cn.scalar(QStringLiteral("SELECT count(*) FROM DocKind WHERE ID = :ID"), row).toInt() == 0)
            cn.execute(QStringLiteral("INSERT INTO DocKind (ID, Name) VALUES (:ID, :Name)"), row);
    }
    tx.commit();
}
