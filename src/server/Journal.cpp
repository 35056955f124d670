#include "server/Journal.h"

#include "data/Errors.h"
#include "server/JournalFields.h"
#include "server/JournalSchema.h"
#include "server/OsUser.h"
#include "server/ProcText.h"
#include "server/ServerProcs.h"

#include <QHash>
#include <QSet>
#include <QSysInfo>
#include <QVarLengthArray>
#include <algorithm>
#include <cmath>
#include <map>

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
    if (key < 0)
        return QStringLiteral("%1").arg(key, 4, 16, QLatin1Char('0')).toUpper();
    // At least four digits, capitals.
    char16_t out[16];
    int n = 16;
    do {
        out[--n] = u"0123456789ABCDEF"[key % 16];
        key /= 16;
    } while (key > 0);
    while (n > 12)
        out[--n] = u'0';
    return QString(reinterpret_cast<const QChar *>(out + n), 16 - n);
}

// Names of rows a key points to: the keys a batch of entries needs are gathered first and read
// with one statement a table, each key once per call.
class Names {
public:
    // The names of one table (as an entry or a reference spells it).
    struct Table {
        QString name;
        QSet<qint64> wanted;
        QHash<qint64, QString> known;
    };

    explicit Names(Connection &cn) : m_cn(cn) {}

    // The table of that spelling, found once for the entries that refer to it.
    Table *table(const QString &name) {
        auto it = m_tables.find(name);
        if (it == m_tables.end())
            it = m_tables.emplace(name, Table{name, {}, {}}).first;
        return &it->second;
    }

    // Asks for a name that of() will give after fetch().
    static void want(Table *t, qint64 key) {
        if (!t->known.contains(key))
            t->wanted.insert(key);
    }

    void fetch() {
        for (auto &[name, t] : m_tables) {
            if (t.wanted.isEmpty())
                continue;
            QList<qint64> keys(t.wanted.begin(), t.wanted.end());
            for (qint64 k : keys)
                t.known.insert(k, QString()); // a row that is gone has no name
            constexpr qsizetype Chunk = 500;
            for (qsizetype from = 0; from < keys.size(); from += Chunk) {
                try {
                    read(name, keys.mid(from, Chunk), t.known);
                } catch (const AppError &) {
                }
            }
            t.wanted.clear();
        }
    }

    static QString of(const Table *t, qint64 key) { return t ? t->known.value(key) : QString(); }

private:
    void read(const QString &table, const QList<qint64> &keys, QHash<qint64, QString> &known) {
        const TableInfo *ti = SchemaInfo::instance().table(table);
        if (!ti)
            return;
        const auto in = [&] {
            QString list;
            list.reserve(keys.size() * 8);
            for (qint64 k : keys) {
                if (!list.isEmpty())
                    list += u',';
                list += QString::number(k);
            }
            return list;
        };
        if (table == u"CompleteSet") {
            for (qint64 k : keys)
                known.insert(k, hexCode(k));
            const ResultSet rs =
                m_cn.query(QStringLiteral("SELECT c.IdComponent, m.ModlName FROM CompleteSet c "
                                          "LEFT JOIN Model m ON m.IdModel = c.CmplIdModel "
                                          "WHERE c.IdComponent IN (%1)")
                               .arg(in()));
            for (const auto &r : rs.rows) {
                const QString model = r[1].toString().trimmed();
                if (!model.isEmpty()) {
                    QString &name = known[r[0].toLongLong()];
                    name = name + u' ' + model;
                }
            }
            return;
        }
        QString column;
        if (table == u"Client") {
            column = QStringLiteral("DisplayName");
        } else {
            const TableWords *w = wordsOf(table);
            if (!w || !w->nameColumn)
                return;
            column = QString::fromLatin1(w->nameColumn);
        }
        const ResultSet rs = m_cn.query(QStringLiteral("SELECT [%1], [%2] FROM [%3] WHERE [%1] IN (%4)")
                                            .arg(ti->key, column, ti->name, in()));
        for (const auto &r : rs.rows)
            known.insert(r[0].toLongLong(), r[1].toString().trimmed());
    }

    Connection &m_cn;
    std::map<QString, Table> m_tables; // tables and references keep pointers into it
};

QString quoted(const QString &s) {
    return QStringLiteral("«%1»").arg(s);
}

void appendQuoted(QString &out, const QString &s) {
    out += u'«';
    out += s;
    out += u'»';
}

// A field of a journalled table as the entries tell it.
struct FieldWords {
    QString name; // as the words of the table spell it
    QString caption;
    FieldType type = FieldType::Unknown;
    QString references;            // the table a key points to, or none
    Names::Table *names = nullptr; // the names of that table
    bool used = false;             // DeviceUnit.Used, told by its code's name
};

// A journalled table as the entries tell it, looked up once per call.
struct TableTold {
    const TableWords *words = nullptr;
    QString caption;
    QVector<FieldWords> fields;     // in the order the program shows them
    QHash<QString, int> fieldIndex; // lower-case name → index in fields
    QHash<qint64, QString> whats;   // the object of a row that has a name now, told once
    Names::Table *names = nullptr;  // the names of its own rows
};

using JournalFields::Field;
using FieldValue = JournalFields::Value;

// One entry read from Journal, with its fields parsed.
struct Entry {
    QString table, act;
    qint64 key = 0;
    TableTold *told = nullptr; // its whats filled as entries are told
    std::vector<Field> fields; // in the order of their names
    // The fields present, in the order they are told: (index in told->fields, or -1, index in fields).
    QVarLengthArray<std::pair<int, int>, 8> order;

    const Field *field(QLatin1StringView name) const {
        for (const Field &f : fields)
            if (f.name == name)
                return &f;
        return nullptr;
    }
};

// A number as the entries show it: up to 15 significant digits (a whole number as its digits).
QString numberText(double d) {
    if (d == std::trunc(d) && std::abs(d) < 1e15 && !(d == 0 && std::signbit(d)))
        return QString::number(qint64(d));
    return QString::number(d, 'g', 15);
}

// A number of the change text as numberText tells it.
QString numberText(const FieldValue &v) {
    if (v.kind == FieldValue::Kind::Integer && v.integer > -1000000000000000 && v.integer < 1000000000000000)
        return QString::number(v.integer);
    return numberText(v.toDouble());
}

// Dates and times as the entries tell them. One save writes its entries with one time, and a
// move's own time is mostly that time too: each time is made once per call, since a local time
// costs a look at the time zone.
class Times {
public:
    // A text of Journal's Stamp as normalizeValue reads it.
    QVariant stamp(const QVariant &raw) {
        if (raw.typeId() != QMetaType::QString)
            return normalizeValue(FieldType::DateTime, raw);
        const QString text = raw.toString();
        if (text.size() == 19 && text[16] == u':') {
            const QDateTime dt = local(text);
            if (dt.isValid())
                return dt;
        }
        return normalizeValue(FieldType::DateTime, raw);
    }

    // A date of the change text in words: "dd.MM.yyyy", with " HH:mm" unless it is midnight; the
    // text itself in quotes when it is no date.
    QString text(const QString &value) {
        QDateTime dt = local(value);
        if (dt.isValid())
            return words(dt);
        QString s = value;
        s.replace(u'T', u' ');
        dt = QDateTime::fromString(s.left(19), QStringLiteral("yyyy-MM-dd HH:mm:ss"));
        if (!dt.isValid())
            dt = QDateTime::fromString(s.left(16), QStringLiteral("yyyy-MM-dd HH:mm"));
        return dt.isValid() ? words(dt) : quoted(s);
    }

private:
    // "yyyy-MM-dd HH:mm:ss" or "yyyy-MM-dd HH:mm" at the start of `s` (a "T" for the blank),
    // read by position (the format parser takes many times longer); invalid for anything else.
    QDateTime local(const QString &s) {
        const auto digits = [&](qsizetype at, qsizetype n) {
            int value = 0;
            for (qsizetype i = at; i < at + n; ++i) {
                const char16_t c = s[i].unicode();
                if (c < u'0' || c > u'9')
                    return -1;
                value = value * 10 + (c - u'0');
            }
            return value;
        };
        if (s.size() < 16 || s[4] != u'-' || s[7] != u'-' || (s[10] != u' ' && s[10] != u'T') ||
            s[13] != u':')
            return QDateTime();
        const bool seconds = s.size() >= 19 && s[16] == u':';
        const int y = digits(0, 4), mo = digits(5, 2), d = digits(8, 2), h = digits(11, 2),
                  mi = digits(14, 2), sec = seconds ? digits(17, 2) : 0;
        if (std::min({y, mo, d, h, mi, sec}) < 0)
            return QDateTime();
        const qint64 key = ((((qint64(y) * 100 + mo) * 100 + d) * 100 + h) * 100 + mi) * 100 + sec;
        auto it = m_local.constFind(key);
        if (it == m_local.constEnd()) {
            const QDate date(y, mo, d);
            const QTime time(h, mi, sec);
            it = m_local.insert(key, date.isValid() && time.isValid() ? QDateTime(date, time) : QDateTime());
        }
        return *it;
    }

    static QString words(const QDateTime &dt) {
        const QDate d = dt.date();
        const QTime t = dt.time();
        const bool midnight = t == QTime(0, 0);
        if (d.year() < 1 || d.year() > 9999) {
            const QString day = QStringLiteral("%1.%2.%3")
                                    .arg(d.day(), 2, 10, QLatin1Char('0'))
                                    .arg(d.month(), 2, 10, QLatin1Char('0'))
                                    .arg(d.year(), 4, 10, QLatin1Char('0'));
            return midnight ? day
                            : QStringLiteral("%1 %2:%3")
                                  .arg(day)
                                  .arg(t.hour(), 2, 10, QLatin1Char('0'))
                                  .arg(t.minute(), 2, 10, QLatin1Char('0'));
        }
        char16_t out[16];
        int n = 0;
        const auto digits = [&](int value, int width) {
            for (int i = width - 1; i >= 0; --i, value /= 10)
                out[n + i] = char16_t(u'0' + value % 10);
            n += width;
        };
        digits(d.day(), 2);
        out[n++] = u'.';
        digits(d.month(), 2);
        out[n++] = u'.';
        digits(d.year(), 4);
        if (!midnight) {
            out[n++] = u' ';
            digits(t.hour(), 2);
            out[n++] = u':';
            digits(t.minute(), 2);
        }
        return QString(reinterpret_cast<const QChar *>(out), n);
    }

    QHash<qint64, QDateTime> m_local;
};

// Tells entries in the program's words: the object, and each field with its caption and values.
class Teller {
public:
    Teller(Connection &cn, Times &times) : m_names(cn), m_times(times) {}

    TableTold *told(const QString &table) {
        if (m_last && m_lastTable == table)
            return m_last;
        auto it = m_tables.find(table);
        if (it == m_tables.end()) {
            TableTold t;
            t.words = wordsOf(table);
            t.caption = TableCaption(table);
            t.names = m_names.table(table);
            const TableInfo *ti = SchemaInfo::instance().table(table);
            if (t.words)
                for (const auto &[name, caption] : t.words->fields) {
                    FieldWords f;
                    f.name = QString::fromLatin1(name);
                    f.caption = QString::fromUtf8(caption);
                    fill(f, ti, table);
                    t.fieldIndex.insert(f.name.toLower(), int(t.fields.size()));
                    t.fields.push_back(f);
                }
            it = m_tables.emplace(table, std::move(t)).first;
        }
        m_lastTable = table;
        m_last = &it->second;
        return m_last;
    }

    // Reads an entry's fields and asks for the names it will need.
    void prepare(Entry &e, const QString &json) {
        e.told = told(e.table);
        e.fields = JournalFields::Read(json);
        Names::want(e.told->names, e.key);
        for (int pos = 0; pos < int(e.fields.size()); ++pos) {
            const Field &field = e.fields[size_t(pos)];
            const int i = fieldIndex(*e.told, field.name);
            e.order.push_back({i, pos});
            FieldWords unknown;
            const FieldWords &f = i >= 0 ? e.told->fields[i] : (unknown = unknownField(e.table, field.name));
            if (f.references.isEmpty())
                continue;
            Names::Table *names = f.names ? f.names : m_names.table(f.references);
            if (e.act == u"U" && field.value.isArray()) {
                wantKey(names, field.first);
                wantKey(names, field.second);
            } else {
                wantKey(names, field.value);
            }
        }
        // The program's fields first, in its order; others after them as the object holds them.
        std::stable_sort(e.order.begin(), e.order.end(), [&](const auto &x, const auto &y) {
            const auto rank = [&](int i) { return i < 0 ? qsizetype(e.told->fields.size()) : qsizetype(i); };
            return rank(x.first) < rank(y.first);
        });
    }

    void fetchNames() { m_names.fetch(); }

    // The object an entry is about: its table's caption and its name now, or as the entry had it.
    QString what(const Entry &e) {
        QHash<qint64, QString> &whats = e.told->whats;
        if (const auto it = whats.constFind(e.key); it != whats.constEnd())
            return *it;
        QString name = Names::of(e.told->names, e.key);
        if (!name.isEmpty())
            return *whats.insert(e.key, QStringLiteral("%1 %2").arg(e.told->caption, quoted(name.trimmed())));
        const TableWords *w = e.told->words;
        if (w && w->nameColumn) {
            const Field *f = e.field(QLatin1StringView(w->nameColumn));
            if (f)
                name = f->value.isArray() ? (e.act == u"D" ? f->first : f->second).toString()
                                          : f->value.toString();
        } else if (e.table == u"CompleteSet") {
            name = hexCode(e.key);
        }
        if (!name.isEmpty())
            return QStringLiteral("%1 %2").arg(e.told->caption, quoted(name.trimmed()));
        // The caption of a table the program does not know is its name, which may hold anything.
        if (e.told->caption.contains(u'%'))
            return QStringLiteral("%1 № %2").arg(e.told->caption).arg(e.key);
        return e.told->caption + QStringLiteral(" № ") + QString::number(e.key);
    }

    // Each field in words, old → new for a change.
    QString change(const Entry &e) {
        QString out;
        out.reserve(64 * qsizetype(e.order.size()));
        bool first = true;
        const auto part = [&](const QString &caption) {
            if (!first)
                out += QStringLiteral("; ");
            first = false;
            out += caption;
        };
        const bool changed = e.act == u"U";
        for (const auto &[i, pos] : e.order) {
            const Field &field = e.fields[size_t(pos)];
            FieldWords unknown;
            const FieldWords &f = i >= 0 ? e.told->fields[i] : (unknown = unknownField(e.table, field.name));
            const FieldValue &v = field.value;
            if (changed) {
                part(f.caption);
                if (!v.isArray()) {
                    out += QStringLiteral(": изменён (значение не сохраняется)");
                    continue;
                }
                out += QStringLiteral(": ");
                appendValue(out, f, field.first);
                out += QStringLiteral(" → ");
                appendValue(out, f, field.second);
            } else {
                if (v.isNull() || (v.isString() && v.text.isEmpty()))
                    continue;
                part(f.caption);
                out += QStringLiteral(": ");
                appendValue(out, f, v);
            }
        }
        return out;
    }

private:
    // The index in the table's fields of a field of the change text, its name's case not counting.
    static int fieldIndex(const TableTold &t, const QString &name) {
        const bool ascii = std::all_of(name.begin(), name.end(), [](QChar c) { return c.unicode() < 0x80; });
        if (!ascii)
            return t.fieldIndex.value(name.toLower(), -1);
        for (int i = 0; i < int(t.fields.size()); ++i)
            if (name.compare(t.fields[i].name, Qt::CaseInsensitive) == 0)
                return i;
        return -1;
    }

    void fill(FieldWords &f, const TableInfo *ti, const QString &table) {
        const ColumnInfo *c = ti ? ti->column(f.name) : nullptr;
        if (c) {
            f.type = c->type;
            f.references = c->references;
        }
        if (!f.references.isEmpty())
            f.names = m_names.table(f.references);
        f.used = table == u"DeviceUnit" && f.name == u"Used";
    }

    // A field the program's words do not name: told by its own name.
    static FieldWords unknownField(const QString &table, const QString &key) {
        FieldWords f;
        f.name = key;
        f.caption = key;
        const ColumnInfo *c = [&]() -> const ColumnInfo * {
            const TableInfo *ti = SchemaInfo::instance().table(table);
            return ti ? ti->column(f.name) : nullptr;
        }();
        if (c) {
            f.type = c->type;
            f.references = c->references;
        }
        f.used = table == u"DeviceUnit" && f.name == u"Used";
        return f;
    }

    static bool isKey(const FieldValue &v) {
        return !(v.isNull() || v.isUndefined() || (v.isString() && v.text.isEmpty()) || v.isBool());
    }

    static void wantKey(Names::Table *names, const FieldValue &v) {
        if (isKey(v))
            Names::want(names, keyOf(v));
    }

    static qint64 keyOf(const FieldValue &v) {
        if (v.kind == FieldValue::Kind::Integer && v.integer > -1000000000000000 &&
            v.integer < 1000000000000000)
            return v.integer;
        return (v.isDouble() ? numberText(v) : v.toString()).toLongLong();
    }

    const Names::Table *namesOf(const FieldWords &f) {
        return f.names ? f.names : m_names.table(f.references);
    }

    // One value in words: a key as the name of its row, a flag as yes or no, a date as a date.
    void appendValue(QString &out, const FieldWords &f, const FieldValue &v) {
        if (v.isNull() || v.isUndefined() || (v.isString() && v.text.isEmpty())) {
            out += QStringLiteral("пусто");
            return;
        }
        if (f.type == FieldType::Boolean || v.isBool()) {
            const bool on = v.isBool() ? v.toBool() : v.toVariant().toInt() != 0;
            out += on ? QStringLiteral("да") : QStringLiteral("нет");
            return;
        }
        if (f.type == FieldType::DateTime) {
            out += m_times.text(v.toString());
            return;
        }
        if (!f.references.isEmpty() && !f.used && v.kind == FieldValue::Kind::Integer &&
            v.integer > -1000000000000000 && v.integer < 1000000000000000) {
            const QString name = Names::of(namesOf(f), v.integer);
            if (name.isEmpty())
                out += QStringLiteral("№ ") + QString::number(v.integer);
            else
                appendQuoted(out, name);
            return;
        }
        const QString raw = v.isDouble() ? numberText(v) : v.toString();
        if (f.used) {
            out += usedText(raw.toInt());
            return;
        }
        if (!f.references.isEmpty() && (v.isDouble() || !raw.isEmpty())) {
            const qint64 key = raw.toLongLong();
            const QString name = Names::of(namesOf(f), key);
            if (name.isEmpty())
                out += QStringLiteral("№ ") + QString::number(key);
            else
                appendQuoted(out, name);
            return;
        }
        if (f.type == FieldType::Money) {
            bool ok = false;
            const double d = raw.toDouble(&ok);
            if (ok) {
                out += QString::number(d, 'f', 2);
                return;
            }
        }
        if (v.isDouble())
            out += raw;
        else
            appendQuoted(out, raw);
    }

    Names m_names;
    std::map<QString, TableTold> m_tables; // entries keep pointers into it
    QString m_lastTable;
    TableTold *m_last = nullptr;
    Times &m_times;
};

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

// A text column's value as it is, without a conversion (null: a null text).
QString textOf(const QVariant &v) {
    if (v.typeId() == QMetaType::QString)
        return *static_cast<const QString *>(v.constData());
    return v.isNull() ? QString() : v.toString();
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
    Times times;
    Teller teller(cn, times);
    const QStringList words = ProcText::searchWords(text);
    // In batches: the names a batch needs are read together, and a search by text stops at the
    // limit without telling the rest.
    constexpr size_t Batch = 1000;
    std::vector<Entry> entries;
    for (size_t from = 0; from < rs.rows.size() && int(out.rows.size()) < limit; from += Batch) {
        const size_t to = std::min(rs.rows.size(), from + Batch);
        entries.assign(to - from, Entry());
        for (size_t i = from; i < to; ++i) {
            const auto &r = rs.rows[i];
            Entry &e = entries[i - from];
            e.table = textOf(r[3]);
            e.key = r[4].toLongLong();
            e.act = textOf(r[5]).trimmed();
            teller.prepare(e, textOf(r[6]));
        }
        teller.fetchNames();
        for (size_t i = from; i < to; ++i) {
            const auto &r = rs.rows[i];
            const Entry &e = entries[i - from];
            const QString what = teller.what(e);
            const QString change = teller.change(e);
            // A client that named no one (SQLite has no roles) writes without a person.
            QString person = textOf(r[2]);
            if (person.isEmpty())
                person = QStringLiteral("не назван");
            if (!words.isEmpty()) {
                const QString all =
                    FoldText(QStringList{person, what, ActionText(e.act), change}.join(u'\n'));
                if (!std::all_of(words.begin(), words.end(),
                                 [&](const QString &w) { return all.contains(w); }))
                    continue;
            }
            out.rows.push_back(
                {r[0], times.stamp(r[1]), person, e.table, e.key, what, ActionText(e.act), change});
            if (int(out.rows.size()) >= limit)
                break;
        }
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
    QStringList parts; // an entry shown is one that any part selects
    QString holderField;
    const auto movedAway = [&](const char *table, const char *field) {
        holderField = QString::fromLatin1(field);
        return QStringLiteral("TableName = '%1' AND Act = 'U' AND RowKey IN (SELECT j.RowKey FROM Journal j "
                              "WHERE j.TableName = '%1' AND j.OwnerKey = :K) AND (Fields LIKE :L1 OR Fields "
                              "LIKE :L2)")
            .arg(QLatin1String(table));
    };
    if (kind == u"Department") {
        const QString deps = QStringLiteral("WITH RECURSIVE d(Id) AS (SELECT CAST(:K AS INTEGER) UNION "
                                            "SELECT x.IdDepartment FROM Department x JOIN d ON "
                                            "x.DprtIdHigher = d.Id) SELECT Id FROM d");
        parts << QStringLiteral("TableName = 'Department' AND RowKey IN (%1)").arg(deps)
              << QStringLiteral("TableName = 'Department' AND OwnerKey IN (%1)").arg(deps)
              << QStringLiteral("TableName = 'Workplace' AND OwnerKey IN (%1)").arg(deps)
              << QStringLiteral("TableName = 'DeviceUnit' AND OwnerKey IN (SELECT IdWorkplace FROM Workplace "
                                "WHERE WrkpIdDepartment IN (%1))")
                     .arg(deps)
              << movedAway("Workplace", "WrkpIdDepartment");
    } else if (kind == u"Workplace") {
        parts << QStringLiteral("TableName = 'Workplace' AND RowKey = :K")
              << QStringLiteral("TableName = 'DeviceUnit' AND OwnerKey = :K")
              << QStringLiteral("TableName = 'CompleteSet' AND OwnerKey IN (SELECT IdDevice FROM DeviceUnit "
                                "WHERE DevcIdWorkplace = :K)")
              << movedAway("DeviceUnit", "DevcIdWorkplace");
    } else if (kind == u"DeviceUnit") {
        parts << QStringLiteral("TableName = 'DeviceUnit' AND RowKey = :K")
              << QStringLiteral("TableName = 'CompleteSet' AND OwnerKey = :K")
              << QStringLiteral(
                     "TableName = 'ElementMove' AND OwnerKey IN (SELECT IdComponent FROM CompleteSet "
                     "WHERE CmplIdDevice = :K)")
              << movedAway("CompleteSet", "CmplIdDevice");
    } else if (kind == u"CompleteSet") {
        parts << QStringLiteral("TableName = 'CompleteSet' AND RowKey = :K")
              << QStringLiteral("TableName = 'ElementMove' AND OwnerKey = :K");
    } else if (kind == u"User") {
        parts << QStringLiteral("TableName = 'User' AND RowKey = :K")
              << QStringLiteral("TableName = 'UserInstall' AND OwnerKey = :K");
    } else {
        parts << QStringLiteral("TableName = :T AND RowKey = :K");
    }
    QVariantMap p{{QStringLiteral("K"), key}};
    if (parts.constFirst().contains(QStringLiteral(":T")))
        p[QStringLiteral("T")] = kind;
    if (!holderField.isEmpty()) {
        p[QStringLiteral("L1")] = QStringLiteral("%\"%1\":[%2,%").arg(holderField).arg(key);
        p[QStringLiteral("L2")] = QStringLiteral("%\"%1\": [%2,%").arg(holderField).arg(key);
    }
    // Each part by its own index, the entries then read by their keys: as one condition of ORs,
    // PostgreSQL read the whole journal for the parts with a subquery.
    QStringList keys;
    for (const QString &part : parts)
        keys << QStringLiteral("SELECT ID FROM Journal WHERE ") + part;
    return shown(cn, QStringLiteral("ID IN (%1)").arg(keys.join(QStringLiteral(" UNION ALL "))), p, QString(),
                 limit);
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
