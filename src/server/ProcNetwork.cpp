// Server procedures of the network and users views, the domain account scan, the computer setup
// checklist and the program versions kept in the database.
//
// Case of logins and domains: account names are matched without regard to case. SQLite's lower()
// folds ASCII only (and PostgreSQL's depends on the database's locale), so the folding is done
// here, in C++, where it covers Cyrillic too; the statements only narrow the rows down.

#include "server/ServerProcs.h"

#include "data/Errors.h"
#include "data/ProgramVersions.h"
#include "server/ProcText.h"

#include <QHash>
#include <QRegularExpression>
#include <QSet>
#include <algorithm>

namespace {

using FT = FieldType;
using ProcText::sortByText;

QVariantMap params(std::initializer_list<std::pair<const char *, QVariant>> list) {
    QVariantMap m;
    for (const auto &[k, v] : list)
        m.insert(QString::fromLatin1(k), v);
    return m;
}

// Account names and domains compare folded by the one rule of names.
QString folded(const QVariant &v) {
    return FoldText(v.toString().trimmed());
}

// Blocked accounts (UserIgnore): each is a login in one domain ('' for an account without a
// domain); a row without a domain (left from before accounts were kept per domain) blocks the
// login in every domain. Logins and domains compare folded.
struct Blocked {
    QSet<QString> accounts;  // folded domain + '\\' + folded login
    QSet<QString> anyDomain; // folded logins blocked everywhere

    bool contains(const QVariant &domain, const QVariant &login) const {
        const QString l = folded(login);
        return anyDomain.contains(l) || accounts.contains(folded(domain) + u'\\' + l);
    }
    void add(const QVariant &domain, const QVariant &login) {
        if (domain.isNull())
            anyDomain.insert(folded(login));
        else
            accounts.insert(folded(domain) + u'\\' + folded(login));
    }
};

Blocked blockedAccounts(const Connection &cn) {
    Blocked out;
    const ResultSet rs = cn.query(QStringLiteral("SELECT Domain, DomainUser FROM UserIgnore"));
    for (const auto &row : rs.rows)
        out.add(row[0], row[1]);
    return out;
}

bool isIgnored(const Connection &cn, const QString &domain, const QString &login) {
    // The length narrows the rows; the comparison itself folds the case here.
    const ResultSet rs = cn.query(
        QStringLiteral("SELECT Domain, DomainUser FROM UserIgnore WHERE length(trim(DomainUser)) = :N"),
        params({{"N", int(login.trimmed().size())}}));
    Blocked b;
    for (const auto &row : rs.rows)
        b.add(row[0], row[1]);
    return b.contains(domain, login);
}

// ---- Network computers ----------------------------------------------------------------------

// The computers are the devices with a network name. The workplace key goes out under the name
// the network view looks rows up by: "IDWorkpla" + CYRILLIC SMALL LETTER ES (U+0441) + "e". The
// statement uses a Latin alias and the column is renamed here, so no non-ASCII identifier ever
// reaches either engine's parser.
const char *const WorkplaceKeyColumn = "IDWorkpla\xD1\x81"
                                       "e";

ResultSet gridNodeList(ProcedureCall &call) {
    ResultSet rs = call.cn.query(QStringLiteral(
        "SELECT d.IdDevice AS ID, w.WrkpName AS Workplace, w.Phone AS Phone, d.Domain AS Domain, "
        "w.IdWorkplace AS WorkplaceKey "
        "FROM DeviceUnit d LEFT JOIN Workplace w ON w.IdWorkplace = d.DevcIdWorkplace "
        "WHERE d.Domain IS NOT NULL"));
    const int k = rs.indexOf(QStringLiteral("WorkplaceKey"));
    rs.columns[k].name = QString::fromUtf8(WorkplaceKeyColumn);
    sortByText(rs, QStringLiteral("Domain"), QStringLiteral("ID"));
    return rs;
}

// The users linked to a computer through UseComputer, each once, ordered by login.
ResultSet gridNodeUserList(ProcedureCall &call) {
    ResultSet rs = call.cn.query(
        QStringLiteral(
            "SELECT u.ID AS ID, u.[Login] AS [Login], u.Name AS Name, u.Pass AS Pass FROM [User] u "
            "WHERE u.ID IN (SELECT c.[User] FROM UseComputer c WHERE c.Computer = :ID)"),
        params({{"ID", call.arg(QStringLiteral("@ID"))}}));
    sortByText(rs, QStringLiteral("Login"), QStringLiteral("ID"));
    return rs;
}

// ---- Users ----------------------------------------------------------------------------------

constexpr int DisplayNameWidth = 251;

// Every user whose account (domain and login) has not been blocked by IgnoreDomainUser, ordered
// by login. Name is the
// name followed by ", " and the addition when there is one (the addition alone when the name is
// empty), cut to 251 characters. Workplace, Phone and WorkplaceID are those of the workplace
// whose [User] is this user, the one with the lowest key when there are several; NULL when none.
ResultSet gridDomainUser(ProcedureCall &call) {
    const Blocked ignored = blockedAccounts(call.cn);
    ResultSet rs = call.cn.query(QStringLiteral(
        "SELECT u.ID AS ID, u.[Login] AS [Login], u.Domain AS Domain, u.Name AS Name, w.WrkpName AS "
        "Workplace, "
        "w.Phone AS Phone, u.Pass AS Pass, u.AddName AS AddName, u.EMail AS EMail, u.MailPass AS MailPass, "
        "w.IdWorkplace AS WorkplaceID, u.EMailGroup AS EMailGroup, u.SkypeLogin AS SkypeLogin, "
        "u.SkypePass AS SkypePass "
        "FROM [User] u LEFT JOIN Workplace w ON w.IdWorkplace = "
        "(SELECT min(x.IdWorkplace) FROM Workplace x WHERE x.[User] = u.ID)"));
    const int login = rs.indexOf(QStringLiteral("Login"));
    const int domain = rs.indexOf(QStringLiteral("Domain"));
    const int name = rs.indexOf(QStringLiteral("Name"));
    const int add = rs.indexOf(QStringLiteral("AddName"));
    std::vector<QVector<QVariant>> kept;
    kept.reserve(rs.rows.size());
    for (auto &row : rs.rows) {
        if (!row[login].isNull() && ignored.contains(row[domain], row[login]))
            continue;
        QStringList parts;
        for (int i : {name, add})
            if (const QString s = row[i].toString().trimmed(); !s.isEmpty())
                parts << s;
        row[name] = parts.isEmpty() ? QVariant() : QVariant(parts.join(u' ').left(DisplayNameWidth));
        kept.push_back(std::move(row));
    }
    rs.rows = std::move(kept);
    sortByText(rs, QStringLiteral("Login"), QStringLiteral("ID"));
    return rs;
}

// Sets a user aside: the user's account, its login in its domain, goes into UserIgnore (once),
// which hides it from GridDomainUser and makes the domain scan skip it; the same login in another
// domain stays. Nothing is deleted. An unknown key does nothing. A user without a login cannot be
// set aside this way, and saying so is better than reporting a removal that did not happen.
ResultSet ignoreDomainUser(ProcedureCall &call) {
    const ResultSet rs = call.cn.query(QStringLiteral("SELECT [Login], Domain FROM [User] WHERE ID = :ID"),
                                       params({{"ID", call.argInt(QStringLiteral("@ID"), -1)}}));
    if (rs.rows.empty())
        return Proc::none();
    const QString login = rs.rows.front()[0].toString().trimmed();
    // An account without a domain is kept with the empty domain, never NULL (which means any).
    const QString domain =
        rs.rows.front()[1].isNull() ? QStringLiteral("") : rs.rows.front()[1].toString().trimmed();
    if (login.isEmpty())
        throw AppError(
            QStringLiteral("У пользователя нет учётной записи, поэтому его нельзя убрать из списка; "
                           "укажите учётную запись или оставьте пользователя в списке"));
    // The account is unique in UserIgnore: of two workstations blocking it at once, one adds the row.
    if (!isIgnored(call.cn, domain, login))
        call.cn.execute(QStringLiteral("INSERT INTO UserIgnore (DomainUser, Domain) VALUES (:L, :D) "
                                       "ON CONFLICT (Domain, DomainUser) DO NOTHING"),
                        params({{"L", login}, {"D", domain}}));
    return Proc::none();
}

// The blocked accounts, by domain and login: the row's key, the domain (NULL: every domain), the
// login, and the name of a user with that account (the lowest key) when there is one.
ResultSet gridUserIgnore(ProcedureCall &call) {
    ResultSet rs = call.cn.query(QStringLiteral("SELECT ID, Domain, DomainUser AS [Login] FROM UserIgnore"));
    const ResultSet users =
        call.cn.query(QStringLiteral("SELECT Domain, [Login], Name FROM [User] WHERE [Login] IS NOT NULL "
                                     "AND Name IS NOT NULL ORDER BY ID"));
    QHash<QString, QString> names;
    for (const auto &u : users.rows) {
        const QString key = folded(u[0]) + u'\\' + folded(u[1]);
        if (!names.contains(key))
            names.insert(key, u[2].toString());
    }
    rs.columns.append(Proc::col("Name", FT::String, 100));
    for (auto &row : rs.rows) {
        const QString name =
            row[1].isNull() ? QString() : names.value(folded(row[1]) + u'\\' + folded(row[2]));
        row.append(name.isEmpty() ? QVariant() : QVariant(name));
    }
    sortByText(rs, QStringLiteral("Login"), QStringLiteral("ID"));
    std::stable_sort(rs.rows.begin(), rs.rows.end(), [](const auto &a, const auto &b) {
        return CompareText(a[1].toString(), b[1].toString()) < 0;
    });
    return rs;
}

// Brings a blocked account back: its UserIgnore row (by key) is removed, so the users view lists
// the account again and the domain scan handles it. An unknown key does nothing.
ResultSet restoreDomainUser(ProcedureCall &call) {
    call.cn.execute(QStringLiteral("DELETE FROM UserIgnore WHERE ID = :ID"),
                    params({{"ID", call.argInt(QStringLiteral("@ID"), -1)}}));
    return Proc::none();
}

constexpr int LoginWidth = 25, DomainWidth = 20, UserNameWidth = 100;

// One account of a domain scan. @RS returns "<DOMAIN>\<login>: " followed by what was done:
// - "пропущена (заблокирована)" — the account, this login in this domain, is in UserIgnore (any
//   case);
// - "пропущена (учётная запись длиннее 25 символов)" — it cannot be stored; the scan goes on;
// - "добавлена" — no user had that domain and login (any case): one is added with the full name
//   and "data from the domain" set;
// - "обновлено имя" — the user(s) with that domain and login get the full name from the domain;
// - "без изменений" — the name is the same, or the domain gives none (an empty full name never
//   erases a name entered by hand).
// An empty login or domain is refused: there is nothing to store the account under. A full name
// longer than the column is cut to its width, before it is compared, so rescans stay unchanged.
ResultSet checkDomainUser(ProcedureCall &call) {
    const QString domain = call.argText(QStringLiteral("@DM"));
    const QString login = call.argText(QStringLiteral("@US"));
    const QString fullName = call.argText(QStringLiteral("@UN")).left(UserNameWidth);
    if (login.isEmpty())
        throw AppError(QStringLiteral("Не указано имя учётной записи домена %1").arg(quoteInput(domain)));
    if (domain.isEmpty())
        throw AppError(QStringLiteral("Не указан домен учётной записи %1").arg(quoteInput(login)));
    if (domain.size() > DomainWidth)
        throw AppError(
            QStringLiteral("Имя домена %1 длиннее %2 символов").arg(quoteInput(domain)).arg(DomainWidth));

    const QString account = domain + u'\\' + login + QStringLiteral(": ");
    auto answer = [&](const QString &what) {
        call.setOut(QStringLiteral("@RS"), account + what);
        return Proc::none();
    };

    if (isIgnored(call.cn, domain, login))
        return answer(QStringLiteral("пропущена (заблокирована)"));
    if (login.size() > LoginWidth)
        return answer(QStringLiteral("пропущена (учётная запись длиннее %1 символов)").arg(LoginWidth));

    // Two workstations scanning one domain at once would both find the account missing and both
    // add it: on the shared server the accounts of one folded name are checked one call at a time
    // (a lock on that name alone, to the end of the call; the look-up below then sees the other
    // call's row). SQLite runs one writer at a time anyway.
    if (call.cn.engine() == Engine::PostgreSQL)
        call.cn.execute(
            QStringLiteral("SELECT pg_advisory_xact_lock(hashtext('CheckDomainUser'), hashtext(:K))"),
            params({{"K", login.toCaseFolded()}}));

    const ResultSet rs = call.cn.query(
        QStringLiteral(
            "SELECT ID, Domain, [Login], Name FROM [User] WHERE length(trim([Login])) = :N ORDER BY ID"),
        params({{"N", int(login.size())}}));
    const QString foldedLogin = FoldText(login), foldedDomain = FoldText(domain);
    QVariantList renamed;
    bool known = false;
    for (const auto &row : rs.rows) {
        if (folded(row[2]) != foldedLogin || folded(row[1]) != foldedDomain)
            continue;
        known = true;
        if (!fullName.isEmpty() && row[3].toString() != fullName)
            renamed << row[0];
    }

    if (!known) {
        call.cn.execute(
            QStringLiteral(
                "INSERT INTO [User] (Domain, [Login], Name, DomainSource) VALUES (:D, :L, :N, :S)"),
            params({{"D", domain},
                    {"L", login},
                    {"N", fullName.isEmpty() ? QVariant() : QVariant(fullName)},
                    {"S", true}}));
        return answer(QStringLiteral("добавлена"));
    }
    if (renamed.isEmpty())
        return answer(QStringLiteral("без изменений"));
    for (const QVariant &id : renamed)
        call.cn.execute(QStringLiteral("UPDATE [User] SET Name = :N WHERE ID = :ID"),
                        params({{"N", fullName}, {"ID", id}}));
    return answer(QStringLiteral("обновлено имя"));
}

// ---- Domain controllers ---------------------------------------------------------------------

// "host" or "host:port": a host name or dotted address of Latin letters, digits, "-", "_" and ".",
// and a port from 1 to 65535.
bool validController(const QString &text) {
    static const QRegularExpression form(QStringLiteral("^[A-Za-z0-9_.-]{1,253}(:([0-9]{1,5}))?$"));
    const auto m = form.match(text);
    if (!m.hasMatch() || text.startsWith(u'.') || text.startsWith(u'-'))
        return false;
    return !m.hasCaptured(2) || (m.captured(2).toInt() >= 1 && m.captured(2).toInt() <= 65535);
}

// Adds a domain to scan (@ID NULL; the new key comes back in @ID) or changes domain @ID: its name
// (@DM, at most 20 characters, the width the users' Domain holds; unique whatever the case), its
// controller (@DC, "host" or "host:port") and the account the directory is read with (@BA, none
// for an anonymous bind).
ResultSet domainControllerSave(ProcedureCall &call) {
    const QString domain = call.argText(QStringLiteral("@DM"));
    const QString controller = call.argText(QStringLiteral("@DC"));
    const QString bind = call.argText(QStringLiteral("@BA"));
    if (domain.isEmpty())
        throw AppError(QStringLiteral("Укажите имя домена"));
    if (domain.size() > DomainWidth)
        throw AppError(QStringLiteral("Имя домена %1 длиннее %2 символов: домен учётной записи хранится "
                                      "не длиннее %2 символов")
                           .arg(quoteInput(domain))
                           .arg(DomainWidth));
    if (controller.isEmpty())
        throw AppError(QStringLiteral("Укажите контроллер домена: имя или адрес компьютера, при "
                                      "необходимости с портом, например dc1.corp.local:389"));
    if (!validController(controller))
        throw AppError(QStringLiteral("Контроллер домена %1 указан неверно: нужно имя или адрес компьютера "
                                      "латинскими буквами и цифрами, при необходимости с портом от 1 до "
                                      "65535, например dc1.corp.local:389")
                           .arg(quoteInput(controller)));
    // New keys are taken one workstation at a time (SQLite has one writer anyway).
    if (call.cn.engine() == Engine::PostgreSQL)
        call.cn.execute(QStringLiteral("LOCK TABLE DomainController IN SHARE ROW EXCLUSIVE MODE"));
    const QVariant id =
        call.isNull(QStringLiteral("@ID")) ? QVariant() : QVariant(call.argInt(QStringLiteral("@ID")));
    const ResultSet all = call.cn.query(QStringLiteral("SELECT ID, Domain FROM DomainController"));
    int top = 0;
    bool found = false;
    for (const auto &row : all.rows) {
        top = std::max(top, row[0].toInt());
        if (!id.isNull() && row[0].toInt() == id.toInt()) {
            found = true;
            continue;
        }
        if (folded(row[1]) == FoldText(domain))
            throw AppError(
                QStringLiteral("Домен %1 уже есть в списке контроллеров домена").arg(quoteInput(domain)));
    }
    const QVariantMap values =
        params({{"DM", domain}, {"DC", controller}, {"BA", bind.isEmpty() ? QVariant() : QVariant(bind)}});
    if (id.isNull()) {
        QVariantMap row = values;
        row.insert(QStringLiteral("ID"), top + 1);
        call.cn.execute(QStringLiteral("INSERT INTO DomainController (ID, Domain, Controller, BindAccount) "
                                       "VALUES (:ID, :DM, :DC, :BA)"),
                        row);
        call.setOut(QStringLiteral("@ID"), top + 1);
        return Proc::none();
    }
    if (!found)
        throw AppError(QStringLiteral("Домена с кодом %1 нет в списке контроллеров домена: его удалили на "
                                      "другом рабочем месте")
                           .arg(id.toInt()));
    QVariantMap row = values;
    row.insert(QStringLiteral("ID"), id);
    call.cn.execute(
        QStringLiteral("UPDATE DomainController SET Domain = :DM, Controller = :DC, BindAccount = "
                       ":BA WHERE ID = :ID"),
        row);
    return Proc::none();
}

// ---- Setup checklist ------------------------------------------------------------------------

ResultSet gridUserInstall(ProcedureCall &call) {
    return call.cn.query(
        QStringLiteral("SELECT ID, Line, Title, Name, Done, [User] AS [User] FROM UserInstall "
                       "WHERE [User] = :US ORDER BY Line, ID"),
        params({{"US", call.arg(QStringLiteral("@US"))}}));
}

// Creates the user's checklist from the default lines (UserInstallDefault, by line), none done. A
// user who already has a checklist keeps it as it is, so a repeated call adds nothing; on
// PostgreSQL the user's row is locked first so that two workstations cannot both copy the lines
// (a lock that still lets the copied lines reference the user).
ResultSet userInstallInsert(ProcedureCall &call) {
    const QVariant user = call.arg(QStringLiteral("@US"));
    const QString lock =
        call.cn.engine() == Engine::PostgreSQL ? QStringLiteral(" FOR NO KEY UPDATE") : QString();
    if (user.isNull() ||
        call.cn.query(QStringLiteral("SELECT ID FROM [User] WHERE ID = :US") + lock, params({{"US", user}}))
            .rows.empty())
        throw AppError(
            QStringLiteral("Пользователь с кодом %1 не найден, бланк настройки компьютера не создан")
                .arg(user.isNull() ? QStringLiteral("(пусто)") : user.toString()));
    const QString no = Proc::sqlBool(call.cn, false);
    call.cn.execute(
        QStringLiteral(
            "INSERT INTO UserInstall ([User], Line, Title, Name, Done) "
            "SELECT CAST(:US AS integer), Line, coalesce(Title, %1), Name, %1 FROM UserInstallDefault "
            "WHERE NOT EXISTS (SELECT 1 FROM UserInstall WHERE [User] = CAST(:US AS integer)) "
            "ORDER BY Line, ID")
            .arg(no),
        params({{"US", user}}));
    return Proc::none();
}

// ---- Program versions -----------------------------------------------------------------------

// The updater is kept as a version of its own under this name; it is never the newest version.
const QString UpdaterVersion = QStringLiteral("update");

// One row: the greatest version key, compared as plain texts (ordinal, as the program compares
// them, whatever the database's collation), the updater left out; MaxVersion is NULL when the
// table holds no version.
ResultSet checkVersionMax(ProcedureCall &call) {
    const ResultSet all = call.cn.query(QStringLiteral("SELECT Version FROM ProgramVersion"));
    QVariant newest;
    for (const auto &row : all.rows) {
        const QString v = row[0].toString();
        if (v.trimmed().compare(UpdaterVersion, Qt::CaseInsensitive) == 0)
            continue;
        if (newest.isNull() || v.compare(newest.toString(), Qt::CaseSensitive) > 0)
            newest = v;
    }
    ResultSet rs;
    rs.columns = {Proc::col("MaxVersion", FT::String, 50)};
    rs.rows.push_back({newest});
    return rs;
}

// A version key as passed; NULL stays NULL and finds nothing.
QVariant versionArg(const ProcedureCall &call) {
    return call.isNull(QStringLiteral("@VR")) ? QVariant() : QVariant(call.argText(QStringLiteral("@VR")));
}

// The image put together from its stored parts: one row when the version is there.
ResultSet checkVersionProg(ProcedureCall &call) {
    ResultSet rs;
    rs.columns = {Proc::col("Programm", FT::Blob)};
    const QVariant version = versionArg(call);
    if (version.isNull())
        return rs;
    if (const auto image = ReadStoredProgram(call.cn, version.toString()))
        rs.rows.push_back({*image});
    return rs;
}

ResultSet checkVersionChange(ProcedureCall &call) {
    return call.cn.query(
        QStringLiteral("SELECT [Change] AS [Change] FROM ProgramVersion WHERE Version = :VR"),
        params({{"VR", versionArg(call)}}));
}

} // namespace

void registerNetworkProcedures() {
    using namespace Proc;

    add(QStringLiteral("GridNodeList"), {},
        {col("ID", FT::Integer), col("Workplace", FT::String, 50), col("Phone", FT::String, 15),
         col("Domain", FT::String, 50), col(WorkplaceKeyColumn, FT::Integer)},
        gridNodeList);

    add(QStringLiteral("GridNodeUserList"), {in("@ID", FT::Integer)},
        {col("ID", FT::Integer), col("Login", FT::String, 25), col("Name", FT::String, 100),
         col("Pass", FT::String, 50)},
        gridNodeUserList);

    add(QStringLiteral("GridDomainUser"), {},
        {col("ID", FT::Integer), col("Login", FT::String, 25), col("Domain", FT::String, 20),
         col("Name", FT::String, DisplayNameWidth), col("Workplace", FT::String, 50),
         col("Phone", FT::String, 15), col("Pass", FT::String, 50), col("AddName", FT::String, 150),
         col("EMail", FT::String, 50), col("MailPass", FT::String, 50), col("WorkplaceID", FT::Integer),
         col("EMailGroup", FT::String, 50), col("SkypeLogin", FT::String, 50),
         col("SkypePass", FT::String, 50)},
        gridDomainUser);

    add(QStringLiteral("IgnoreDomainUser"), {req("@ID", FT::Integer)}, {}, ignoreDomainUser);

    add(QStringLiteral("GridUserIgnore"), {},
        {col("ID", FT::Integer), col("Domain", FT::String, 20), col("Login", FT::String, 50),
         col("Name", FT::String, 100)},
        gridUserIgnore);

    add(QStringLiteral("RestoreDomainUser"), {req("@ID", FT::Integer)}, {}, restoreDomainUser);

    add(QStringLiteral("CheckDomainUser"),
        {in("@DM", FT::String, 20), in("@US", FT::String, 50), in("@UN", FT::String, 100),
         inout("@RS", FT::String, 200)},
        {}, checkDomainUser);

    add(QStringLiteral("DomainControllerSave"),
        {inout("@ID", FT::Integer), in("@DM", FT::String, 50), in("@DC", FT::String, 50),
         in("@BA", FT::String, 200)},
        {}, domainControllerSave);

    add(QStringLiteral("GridUserInstall"), {in("@US", FT::Integer)},
        {col("ID", FT::Integer), col("Line", FT::Integer), col("Title", FT::Boolean),
         col("Name", FT::String, 150), col("Done", FT::Boolean), col("User", FT::Integer)},
        gridUserInstall);

    add(QStringLiteral("UserInstallInsert"), {in("@US", FT::Integer)}, {}, userInstallInsert);

    add(QStringLiteral("CheckVersionMax"), {}, {col("MaxVersion", FT::String, 50)}, checkVersionMax);

    add(QStringLiteral("CheckVersionProg"), {in("@VR", FT::String, 50)}, {col("Programm", FT::Blob)},
        checkVersionProg);

    add(QStringLiteral("CheckVersionChange"), {in("@VR", FT::String, 50)}, {col("Change", FT::Memo)},
        checkVersionChange);
}
