#pragma once

#include <QString>
#include <QStringList>

#include <functional>

class Connection;

// Where and how a domain's accounts are read. The bind account comes from the domain's row in the
// list of domain controllers (DomainController.BindAccount). Settings of the workstation (section
// "Domain.Scan", one set per domain name in upper case, e.g. "KORVANT.Base"): Base, the search base
// (default from the domain name, see SearchBaseForDomain); BindDN, a bind account of this
// workstation that takes the list's place; Password, the bind account's password (kept on the
// workstation, never in the database); PageSize, the entries per page (default 100). Without a
// bind account the bind is anonymous.
struct DirectoryOptions {
    QString base;
    QString bindDn;
    QString password;
    int pageSize = 100;
    int timeoutSeconds = 5;

    static DirectoryOptions forDomain(const QString &domain, const QString &bindAccount = {});
};

// "corp.example.com" -> "dc=corp,dc=example,dc=com"; a single name "KORVANT" -> "dc=korvant".
QString SearchBaseForDomain(const QString &domain);

// The accounts of a controller ("host" or "host:port", port 389 by default) as lines
// "account|full name", in the order the directory delivers them, read page by page with the
// paged-results control so that a directory larger than the server's size limit comes complete.
// An account is an entry of class user, inetOrgPerson or posixAccount; its name is sAMAccountName,
// else uid; its full name displayName, else cn, and empty when cn only repeats the account name.
// `error` says why the enumeration stopped early (unreachable, bind refused, search failed);
// `lines` then holds what came before.
struct DirectoryResult {
    QStringList lines;
    QString error;
};
DirectoryResult EnumNetUsers(const QString &controller, const DirectoryOptions &options);

// The domain scan without a window: the log lines, and every account handed to CheckDomainUser;1.
class DomainScan {
public:
    static constexpr int DomainWidth = 20; // what CheckDomainUser's @DM takes

    // Called on the caller's thread for every log line, and repeatedly while the directory is read
    // on a thread of its own (a window processes its events there).
    std::function<void(const QString &line)> addLine;
    std::function<void()> idle;

    // Throws AppError, before anything is asked, when the domain name is empty or longer than
    // DomainWidth. A database error of CheckDomainUser;1 ends the scan with AppError naming the
    // account and the reason; the accounts before it stay processed.
    void run(Connection &cn, const QString &domain, const QString &controller,
             const DirectoryOptions &options);

    static void checkDomain(const QString &domain);
};

// Upper / lower case of the Latin letters A to Z only.
QString LatinUpper(const QString &text);
QString LatinLower(const QString &text);
