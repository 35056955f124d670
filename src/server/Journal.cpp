#include "server/Journal.h"

#include "data/Errors.h"
#include "server/JournalSchema.h"
#include "server/OsUser.h"
#include "server/ProcText.h"
#include "server/ServerProcs.h"

#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSysInfo>

namespace Journal {

QString WorkstationPerson() {
    const QString host = QSysInfo::machineHostName().trimmed();
    return host.isEmpty() ? OsUserName() : OsUserName() + u'@' + host;
}

void NamePerson(Connection &cn) {
    if (cn.person().isEmpty())
        cn.setPerson(WorkstationPerson());
}

namespace {

struct TableWords {
    const char *table;
    const char *caption;
    const char *nameColumn; // the column that names a row, or nullptr
    QList<std::pair<const char *, const char *>> fields;
};

const QVector<TableWords> &words() {
    static const QVector<TableWords> w = {
        {"Department",
         "Подразделение",
         "DprtName",
         {{"DprtIdHigher", "Вышестоящее подразделение"},
          {"DprtName", "Название"},
          {"Synonym", "Синонимы"},
          {"DprtOrder", "Порядок"}}},
        {"Workplace",
         "Рабочее место",
         "WrkpName",
         {{"WrkpIdDepartment", "Подразделение"},
          {"WrkpName", "Название"},
          {"WrkpOrder", "Порядок"},
          {"Phone", "Телефон"},
          {"Synonym", "Синонимы"},
          {"User", "Пользователь"}}},
        {"DeviceUnit",
         "Устройство",
         "DevcName",
         {{"DevcIdWorkplace", "Рабочее место"},
          {"DevcName", "Название"},
          {"DevcPrinting", "Отчёт"},
          {"DevcDescription", "Описание"},
          {"Used", "Использование"},
          {"Domain", "Сетевое имя"},
          {"DevcIdKind", "Вид"},
          {"Depreciation", "Списание"},
          {"DevcNumber", "Номер"},
          {"Prevention", "Проведена"},
          {"PreventionExpress", "Срочно"},
          {"PreventionNeed", "Профилактика нужна"}}},
        {"CompleteSet",
         "Элемент",
         nullptr,
         {{"CmplIdDevice", "Устройство"},
          {"CmplDateSet", "Установлен"},
          {"CmplIdModel", "Модель"},
          {"CmplNumber", "Дополнение номера от ОИТ"},
          {"NumberManufact", "Номер изготовителя"},
          {"DateManufact", "Дата изготовления"},
          {"NumberSeller", "Номер продавца"},
          {"DateSeller", "Дата продавца"},
          {"Warranty", "Гарантия, месяцев"},
          {"DocumentId", "Документ"},
          {"DocumentPosition", "Позиция в документе"},
          {"Price", "Цена"},
          {"ModelKind", "Вид"}}},
        {"ElementMove",
         "Перемещение элемента",
         nullptr,
         {{"IdComponent", "Элемент"}, {"Moving", "Когда"}, {"Place", "Откуда"}}},
        {"Model",
         "Модель",
         "ModlName",
         {{"ModlKind", "Вид"},
          {"ModlWeight", "Порядок"},
          {"ModlIdProducer", "Производитель"},
          {"ModlNumber", "Номер модели"},
          {"ModlName", "Название"},
          {"ModlNameOnly", "Только номер"},
          {"ModlParametersValue", "Характеристики"},
          {"ModlNote", "Примечание"}}},
        {"Kind",
         "Вид",
         "KindName",
         {{"KindType", "Тип"},
          {"KindOrder", "Порядок"},
          {"KindName", "Название"},
          {"KindImage", "Значок"},
          {"ShortName", "Кратко"}}},
        {"Client",
         "Фирма",
         "ClntNameFull",
         {{"ClntNameFull", "Полное название"},
          {"Trademark", "Торговая марка"},
          {"ClntNameShort", "Краткое название"}}},
        {"Trademark", "Торговая марка", "Name", {{"Name", "Торговая марка"}}},
        {"Document",
         "Документ",
         "DocNumber",
         {{"DocKind", "Вид документа"},
          {"DocNumber", "Номер"},
          {"DocDate", "Дата"},
          {"DocClient", "Поставщик"},
          {"Note", "Примечание"}}},
        {"User",
         "Пользователь",
         "Name",
         {{"Login", "Учётная запись"},
          {"Domain", "Домен (компьютер)"},
          {"DomainSource", "Данные домена"},
          {"Name", "Фамилия и имя"},
          {"AddName", "Дополнение"},
          {"ShortName", "Кратко"},
          {"Pass", "Пароль"},
          {"EMail", "Почта"},
          {"MailPass", "Пароль почты"},
          {"EMailGroup", "Группа почты"},
          {"SkypeLogin", "Skype"},
          {"SkypePass", "Пароль Skype"}}},
        {"UserInstall",
         "Строка бланка настройки",
         "Name",
         {{"User", "Пользователь"},
          {"Line", "Номер строки"},
          {"Title", "Заголовок"},
          {"Name", "Текст"},
          {"Done", "Выполнено"}}},
        {"UserInstallDefault",
         "Строка бланка по умолчанию",
         "Name",
         {{"Line", "Номер строки"}, {"Title", "Заголовок"}, {"Name", "Текст"}}},
    };
    return w;
}

const TableWords *wordsOf(const QString &table) {
    for (const TableWords &w : words())
        if (table.compare(QLatin1String(w.table), Qt::CaseInsensitive) == 0)
            return &w;
    return nullptr;
}

QString fieldCaption(const TableWords *w, const QString &field) {
    if (w)
        for (const auto &[name, caption] : w->fields)
            if (field.compare(QLatin1String(name), Qt::CaseInsensitive) == 0)
                return QString::fromUtf8(caption);
    return field;
}

QString usedText(int code) {
    switch (code) {
    case 1:
        return QStringLiteral("Используется");
    case 2:
        return QStringLiteral("Хранится");
    case 3:
        return QStringLiteral("Восстановление");
    case 4:
        return QStringLiteral("Новый компьютер");
    case -1:
        return QStringLiteral("Не используется");
    default:
        return QString::number(code);
    }
}

QString hexCode(qint64 key) {
    return QStringLiteral("%1").arg(key, 4, 16, QLatin1Char('0')).toUpper();
}

// Names of rows a key points to, read once per call.
class Names {
public:
    explicit Names(Connection &cn) : m_cn(cn) {}

    QString of(const QString &table, qint64 key) {
        const QString id = table + u'#' + QString::number(key);
        auto it = m_cache.constFind(id);
        if (it != m_cache.constEnd())
            return *it;
        QString name;
        try {
            name = read(table, key);
        } catch (const AppError &) {
        }
        m_cache.insert(id, name);
        return name;
    }

private:
    QString read(const QString &table, qint64 key) {
        const TableInfo *ti = SchemaInfo::instance().table(table);
        if (!ti)
            return QString();
        const QVariantMap p{{QStringLiteral("K"), key}};
        if (table == u"CompleteSet") {
            const QString model =
                m_cn.scalar(QStringLiteral("SELECT m.ModlName FROM CompleteSet c LEFT JOIN Model m "
                                           "ON m.IdModel = c.CmplIdModel WHERE c.IdComponent = :K"),
                            p)
                    .toString()
                    .trimmed();
            return model.isEmpty() ? hexCode(key) : hexCode(key) + u' ' + model;
        }
        if (table == u"Client")
            return m_cn.scalar(QStringLiteral("SELECT DisplayName FROM Client WHERE IdClient = :K"), p)
                .toString()
                .trimmed();
        const TableWords *w = wordsOf(table);
        if (!w || !w->nameColumn)
            return QString();
        return m_cn
            .scalar(QStringLiteral("SELECT [%1] FROM [%2] WHERE [%3] = :K")
                        .arg(QString::fromLatin1(w->nameColumn), ti->name, ti->key),
                    p)
            .toString()
            .trimmed();
    }

    Connection &m_cn;
    QHash<QString, QString> m_cache;
};

QString quoted(const QString &s) {
    return QStringLiteral("«%1»").arg(s);
}

// One value in words: a key as the name of its row, a flag as yes or no, a date as a date.
QString valueText(Names &names, const QString &table, const QString &field, const QJsonValue &v) {
    if (v.isNull() || v.isUndefined() || (v.isString() && v.toString().isEmpty()))
        return QStringLiteral("пусто");
    const TableInfo *ti = SchemaInfo::instance().table(table);
    const ColumnInfo *c = ti ? ti->column(field) : nullptr;
    const FieldType type = c ? c->type : FieldType::Unknown;
    if (type == FieldType::Boolean || v.isBool()) {
        const bool on = v.isBool() ? v.toBool() : v.toVariant().toInt() != 0;
        return on ? QStringLiteral("да") : QStringLiteral("нет");
    }
    if (type == FieldType::DateTime) {
        QString s = v.toString();
        s.replace(u'T', u' ');
        QDateTime dt = QDateTime::fromString(s.left(19), QStringLiteral("yyyy-MM-dd HH:mm:ss"));
        if (!dt.isValid())
            dt = QDateTime::fromString(s.left(16), QStringLiteral("yyyy-MM-dd HH:mm"));
        if (!dt.isValid())
            return quoted(s);
        return dt.time() == QTime(0, 0) ? dt.toString(QStringLiteral("dd.MM.yyyy"))
                                        : dt.toString(QStringLiteral("dd.MM.yyyy HH:mm"));
    }
    const QString raw = v.isDouble() ? QString::number(v.toDouble(), 'g', 15) : v.toString();
    if (table == u"DeviceUnit" && field == u"Used")
        return usedText(raw.toInt());
    if (c && !c->references.isEmpty() && (v.isDouble() || !raw.isEmpty())) {
        const QString refTable = c->references;
        const qint64 key = raw.toLongLong();
        const QString name = names.of(refTable, key);
        return name.isEmpty() ? QStringLiteral("№ %1").arg(key) : quoted(name);
    }
    if (type == FieldType::Money) {
        bool ok = false;
        const double d = raw.toDouble(&ok);
        if (ok)
            return QString::number(d, 'f', 2);
    }
    if (v.isDouble())
        return raw;
    return quoted(raw);
}

QString changeText(Names &names, const QString &table, const QString &act, const QString &fieldsJson) {
    const QJsonObject o = QJsonDocument::fromJson(fieldsJson.toUtf8()).object();
    const TableWords *w = wordsOf(table);
    QStringList parts;
    QStringList order;
    if (w)
        for (const auto &f : w->fields)
            order << QString::fromLatin1(f.first);
    for (const QString &k : o.keys())
        if (!order.contains(k, Qt::CaseInsensitive))
            order << k;
    for (const QString &field : order) {
        auto it = o.constEnd();
        for (auto j = o.constBegin(); j != o.constEnd(); ++j)
            if (j.key().compare(field, Qt::CaseInsensitive) == 0)
                it = j;
        if (it == o.constEnd())
            continue;
        const QString caption = fieldCaption(w, field);
        if (act == u"U") {
            if (!it->isArray()) {
                parts << QStringLiteral("%1: изменён (значение не сохраняется)").arg(caption);
                continue;
            }
            const QJsonArray a = it->toArray();
            parts << QStringLiteral("%1: %2 → %3")
                         .arg(caption, valueText(names, table, field, a.at(0)),
                              valueText(names, table, field, a.at(1)));
        } else {
            if (it->isNull() || (it->isString() && it->toString().isEmpty()))
                continue;
            parts << QStringLiteral("%1: %2").arg(caption, valueText(names, table, field, *it));
        }
    }
    return parts.join(QStringLiteral("; "));
}

// The object an entry is about: its table's caption and its name now, or as the entry had it.
QString whatText(Names &names, const QString &table, qint64 key, const QString &fieldsJson,
                 const QString &act) {
    QString name = names.of(table, key);
    if (name.isEmpty()) {
        const TableWords *w = wordsOf(table);
        if (w && w->nameColumn) {
            const QJsonValue v = QJsonDocument::fromJson(fieldsJson.toUtf8())
                                     .object()
                                     .value(QString::fromLatin1(w->nameColumn));
            name = v.isArray() ? v.toArray().at(act == u"D" ? 0 : 1).toString() : v.toString();
        } else if (table == u"CompleteSet") {
            name = hexCode(key);
        }
    }
    const QString caption = TableCaption(table);
    return name.isEmpty() ? QStringLiteral("%1 № %2").arg(caption).arg(key)
                          : QStringLiteral("%1 %2").arg(caption, quoted(name.trimmed()));
}

const QVector<ColumnInfo> &shownColumns() {
    static const QVector<ColumnInfo> c = {
        {QStringLiteral("ID"), FieldType::Integer},
        {QStringLiteral("Stamp"), FieldType::DateTime},
        {QStringLiteral("Person"), FieldType::String, 200},
        {QStringLiteral("TableName"), FieldType::String, 30},
        {QStringLiteral("RowKey"), FieldType::Integer},
        {QStringLiteral("What"), FieldType::String, 250},
        {QStringLiteral("Act"), FieldType::String, 20},
        {QStringLiteral("Change"), FieldType::Memo},
    };
    return c;
}

// The rows of Journal that `where` selects, newest first, told in words.
ResultSet shown(Connection &cn, const QString &where, const QVariantMap &params, const QString &text,
                int limit) {
    const QString sql =
        QStringLiteral("SELECT ID, Stamp, Person, TableName, RowKey, Act, Fields FROM Journal "
                       "WHERE %1 ORDER BY ID DESC")
            .arg(where.isEmpty() ? QStringLiteral("1 = 1") : where);
    // Without a text to look for, the database stops at the limit itself.
    const ResultSet rs =
        cn.query(text.isEmpty() ? sql + QStringLiteral(" LIMIT %1").arg(limit) : sql, params);
    ResultSet out;
    out.columns = shownColumns();
    Names names(cn);
    const QStringList words = ProcText::searchWords(text);
    for (const auto &r : rs.rows) {
        const QString table = r[3].toString();
        const qint64 key = r[4].toLongLong();
        const QString act = r[5].toString().trimmed();
        const QString fields = r[6].toString();
        const QString what = whatText(names, table, key, fields, act);
        const QString change = changeText(names, table, act, fields);
        // A client that named no one (SQLite has no roles) writes without a person.
        const QString person =
            r[2].isNull() || r[2].toString().isEmpty() ? QStringLiteral("не назван") : r[2].toString();
        if (!words.isEmpty()) {
            const QString all = FoldText(QStringList{person, what, ActionText(act), change}.join(u'\n'));
            if (!std::all_of(words.begin(), words.end(), [&](const QString &w) { return all.contains(w); }))
                continue;
        }
        out.rows.push_back({r[0], normalizeValue(FieldType::DateTime, r[1]), person, table, key, what,
                            ActionText(act), change});
        if (int(out.rows.size()) >= limit)
            break;
    }
    return out;
}

} // namespace

QList<std::pair<QString, QString>> Tables() {
    QList<std::pair<QString, QString>> out;
    for (const TableWords &w : words())
        out.append({QString::fromLatin1(w.table), QString::fromUtf8(w.caption)});
    return out;
}

QString TableCaption(const QString &table) {
    const TableWords *w = wordsOf(table);
    return w ? QString::fromUtf8(w->caption) : table;
}

QString ActionText(const QString &act) {
    if (act == u"I")
        return QStringLiteral("добавлено");
    if (act == u"U")
        return QStringLiteral("изменено");
    if (act == u"D")
        return QStringLiteral("удалено");
    return act;
}

ResultSet Read(Connection &cn, const Filter &f) {
    QStringList where;
    QVariantMap p;
    if (f.since.isValid()) {
        where << QStringLiteral("Stamp >= :Since");
        p[QStringLiteral("Since")] = f.since;
    }
    if (f.until.isValid()) {
        where << QStringLiteral("Stamp < :Until");
        p[QStringLiteral("Until")] = f.until;
    }
    if (!f.person.trimmed().isEmpty()) {
        where << QStringLiteral("%1 LIKE :Person ESCAPE '\\'")
                     .arg(ProcText::foldSql(cn.engine(), QStringLiteral("coalesce(Person, '')")));
        p[QStringLiteral("Person")] = ProcText::likeContains(FoldText(f.person.trimmed()));
    }
    if (!f.table.isEmpty()) {
        where << QStringLiteral("TableName = :T");
        p[QStringLiteral("T")] = f.table;
    }
    if (f.key) {
        where << QStringLiteral("RowKey = :K");
        p[QStringLiteral("K")] = *f.key;
    }
    return shown(cn, where.join(QStringLiteral(" AND ")), p, f.text, f.limit);
}

ResultSet History(Connection &cn, const QString &kind, qint64 key, int limit) {
    // The object itself, and the rows it holds now or held when they changed. A row's entry is
    // filed under the holder it has after the change, so a row that moved away is found by the
    // old value of its holder field in the change: among the rows this holder ever held, the
    // changes whose holder field went from this key to another (either engine's JSON spacing).
    QString where, holderField;
    const auto movedAway = [&](const char *table, const char *field) {
        holderField = QString::fromLatin1(field);
        return QStringLiteral(" OR (TableName = '%1' AND Act = 'U' AND RowKey IN (SELECT j.RowKey FROM "
                              "Journal j WHERE j.TableName = '%1' AND j.OwnerKey = :K) AND (Fields LIKE "
                              ":L1 OR Fields LIKE :L2))")
            .arg(QLatin1String(table));
    };
    if (kind == u"Department") {
        const QString deps = QStringLiteral("WITH RECURSIVE d(Id) AS (SELECT CAST(:K AS INTEGER) UNION "
                                            "SELECT x.IdDepartment FROM Department x JOIN d ON "
                                            "x.DprtIdHigher = d.Id) SELECT Id FROM d");
        where =
            QStringLiteral("(TableName = 'Department' AND (RowKey IN (%1) OR OwnerKey IN (%1))) OR "
                           "(TableName = 'Workplace' AND OwnerKey IN (%1)) OR (TableName = 'DeviceUnit' AND "
                           "OwnerKey IN (SELECT IdWorkplace FROM Workplace WHERE WrkpIdDepartment IN (%1)))")
                .arg(deps) +
            movedAway("Workplace", "WrkpIdDepartment");
    } else if (kind == u"Workplace") {
        where =
            QStringLiteral("(TableName = 'Workplace' AND RowKey = :K) OR (TableName = 'DeviceUnit' AND "
                           "OwnerKey = :K) OR (TableName = 'CompleteSet' AND OwnerKey IN (SELECT IdDevice "
                           "FROM DeviceUnit WHERE DevcIdWorkplace = :K))") +
            movedAway("DeviceUnit", "DevcIdWorkplace");
    } else if (kind == u"DeviceUnit") {
        where =
            QStringLiteral("(TableName = 'DeviceUnit' AND RowKey = :K) OR (TableName = 'CompleteSet' AND "
                           "OwnerKey = :K) OR (TableName = 'ElementMove' AND OwnerKey IN (SELECT IdComponent "
                           "FROM CompleteSet WHERE CmplIdDevice = :K))") +
            movedAway("CompleteSet", "CmplIdDevice");
    } else if (kind == u"CompleteSet") {
        where =
            QStringLiteral("(TableName = 'CompleteSet' AND RowKey = :K) OR (TableName = 'ElementMove' AND "
                           "OwnerKey = :K)");
    } else if (kind == u"User") {
        where = QStringLiteral(
            "(TableName = 'User' AND RowKey = :K) OR (TableName = 'UserInstall' AND OwnerKey = "
            ":K)");
    } else {
        where = QStringLiteral("TableName = :T AND RowKey = :K");
    }
    QVariantMap p{{QStringLiteral("K"), key}};
    if (where.contains(QStringLiteral(":T")))
        p[QStringLiteral("T")] = kind;
    if (!holderField.isEmpty()) {
        p[QStringLiteral("L1")] = QStringLiteral("%\"%1\":[%2,%").arg(holderField).arg(key);
        p[QStringLiteral("L2")] = QStringLiteral("%\"%1\": [%2,%").arg(holderField).arg(key);
    }
    return shown(cn, QStringLiteral("(%1)").arg(where), p, QString(), limit);
}

int KeepMonths(Connection &cn) {
    const QVariant v = cn.scalar(QStringLiteral("SELECT KeepMonths FROM JournalSetting WHERE ID = 1"));
    return v.isNull() ? 36 : v.toInt();
}

void SetKeepMonths(Connection &cn, int months) {
    if (months < 1)
        throw AppError(
            QStringLiteral("Срок хранения журнала изменений — целое число месяцев не меньше одного"));
    Transaction tx(cn);
    cn.execute(QStringLiteral("UPDATE JournalSetting SET KeepMonths = :M WHERE ID = 1"),
               {{QStringLiteral("M"), months}});
    tx.commit();
}

namespace {

// Inside a writing transaction.
int purgeNow(Connection &cn) {
    const bool pg = cn.engine() == Engine::PostgreSQL;
    const int months = KeepMonths(cn);
    const QString cutoff = pg ? QStringLiteral("localtimestamp(0) - make_interval(months => %1)").arg(months)
                              : QStringLiteral("datetime('now', 'localtime', '-%1 months')").arg(months);
    const int removed = cn.execute(QStringLiteral("DELETE FROM Journal WHERE Stamp < %1").arg(cutoff));
    cn.execute(
        QStringLiteral("UPDATE JournalSetting SET LastPurge = %1 WHERE ID = 1")
            .arg(pg ? QStringLiteral("localtimestamp(0)") : QStringLiteral("datetime('now', 'localtime')")));
    return removed;
}

} // namespace

int Purge(Connection &cn) {
    Transaction tx(cn);
    const int removed = purgeNow(cn);
    tx.commit();
    return removed;
}

int PurgeIfDue(Connection &cn) {
    const bool pg = cn.engine() == Engine::PostgreSQL;
    Transaction tx(cn);
    // The setting's row is locked while it is read, so that of several workstations starting at
    // once one purges.
    if (pg)
        cn.execute(QStringLiteral("SELECT ID FROM JournalSetting WHERE ID = 1 FOR UPDATE"));
    const QString today =
        pg ? QStringLiteral("current_date::timestamp") : QStringLiteral("date('now', 'localtime')");
    if (cn.scalar(QStringLiteral("SELECT count(*) FROM JournalSetting WHERE ID = 1 AND (LastPurge IS NULL OR "
                                 "LastPurge < %1)")
                      .arg(today))
            .toInt() == 0) {
        tx.commit();
        return -1;
    }
    const int removed = purgeNow(cn);
    tx.commit();
    return removed;
}

void RegisterProcedures() {
    using FT = FieldType;
    Proc::add(QStringLiteral("JournalList"),
              {Proc::in("@Since", FT::DateTime), Proc::in("@Until", FT::DateTime),
               Proc::in("@Person", FT::String, 100), Proc::in("@Table", FT::String, 30),
               Proc::in("@Text", FT::String, 100)},
              shownColumns(), [](ProcedureCall &call) {
                  Filter f;
                  f.since = call.arg(QStringLiteral("Since")).toDateTime();
                  f.until = call.arg(QStringLiteral("Until")).toDateTime();
                  f.person = call.argText(QStringLiteral("Person"));
                  f.table = call.argText(QStringLiteral("Table"));
                  f.text = call.argText(QStringLiteral("Text"));
                  return Read(call.cn, f);
              });
    Proc::add(
        QStringLiteral("JournalHistory"), {Proc::req("@Kind", FT::String, 30), Proc::req("@ID", FT::Integer)},
        shownColumns(), [](ProcedureCall &call) {
            return History(call.cn, call.argText(QStringLiteral("Kind")), call.argInt(QStringLiteral("ID")));
        });
}

} // namespace Journal
