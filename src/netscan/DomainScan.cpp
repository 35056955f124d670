#include "netscan/DomainScan.h"

#include "data/Connection.h"
#include "data/DataSet.h"
#include "data/Errors.h"
#include "data/Settings.h"

#include <QTime>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#define LDAP_DEPRECATED 0
#include <ldap.h>

namespace {

QString latinCase(const QString &text, bool upper) {
    QString out = text;
    for (QChar &c : out) {
        const char16_t u = c.unicode();
        if (upper && u >= u'a' && u <= u'z')
            c = QChar(u - 32);
        else if (!upper && u >= u'A' && u <= u'Z')
            c = QChar(u + 32);
    }
    return out;
}

QString ldapText(int rc) {
    return QString::fromUtf8(ldap_err2string(rc));
}

// The first value of an attribute, empty when the entry has none.
QString firstValue(LDAP *ld, LDAPMessage *entry, const char *attribute) {
    berval **values = ldap_get_values_len(ld, entry, attribute);
    if (!values)
        return {};
    QString out;
    if (values[0])
        out = QString::fromUtf8(values[0]->bv_val, qsizetype(values[0]->bv_len));
    ldap_value_free_len(values);
    return out;
}

QString timeOfDay() {
    return QTime::currentTime().toString(QStringLiteral("HH:mm:ss"));
}

} // namespace

QString LatinUpper(const QString &text) {
    return latinCase(text, true);
}
QString LatinLower(const QString &text) {
    return latinCase(text, false);
}

QString SearchBaseForDomain(const QString &domain) {
    QStringList parts;
    for (const QString &label : domain.trimmed().split(u'.', Qt::SkipEmptyParts))
        parts << QStringLiteral("dc=") + LatinLower(label);
    return parts.join(u',');
}

DirectoryOptions DirectoryOptions::forDomain(const QString &domain, const QString &bindAccount) {
    const PropertyStore store(QStringLiteral("Domain.Scan"));
    const QString key = LatinUpper(domain.trimmed()) + u'.';
    DirectoryOptions o;
    o.base = store.read(key + QStringLiteral("Base")).toString();
    if (o.base.isEmpty())
        o.base = SearchBaseForDomain(domain);
    o.bindDn = store.read(key + QStringLiteral("BindDN")).toString();
    if (o.bindDn.isEmpty())
        o.bindDn = bindAccount.trimmed();
    o.password = store.read(key + QStringLiteral("Password")).toString();
    o.pageSize = qBound(1, store.read(key + QStringLiteral("PageSize"), 100).toInt(), 10000);
    return o;
}

DirectoryResult EnumNetUsers(const QString &controller, const DirectoryOptions &options) {
    DirectoryResult r;
    QString host = controller.trimmed();
    if (host.isEmpty()) {
        r.error = QStringLiteral("Контроллер домена не указан.");
        return r;
    }
    if (!host.contains(u':'))
        host += QStringLiteral(":389");
    LDAP *ld = nullptr;
    int rc = ldap_initialize(&ld, (QByteArrayLiteral("ldap://") + host.toUtf8()).constData());
    if (rc != LDAP_SUCCESS || !ld) {
        r.error = QStringLiteral("Контроллер домена %1 не найден: %2.").arg(controller, ldapText(rc));
        return r;
    }
    struct Unbind {
        LDAP *ld;
        ~Unbind() { ldap_unbind_ext_s(ld, nullptr, nullptr); }
    } unbind{ld};

    const int version = LDAP_VERSION3;
    ldap_set_option(ld, LDAP_OPT_PROTOCOL_VERSION, &version);
    ldap_set_option(ld, LDAP_OPT_REFERRALS, LDAP_OPT_OFF);
    timeval timeout{options.timeoutSeconds, 0};
    ldap_set_option(ld, LDAP_OPT_NETWORK_TIMEOUT, &timeout);
    ldap_set_option(ld, LDAP_OPT_TIMEOUT, &timeout);

    QByteArray password = options.bindDn.isEmpty() ? QByteArray() : options.password.toUtf8();
    berval credentials{ber_len_t(password.size()), password.data()};
    rc = ldap_sasl_bind_s(ld, options.bindDn.isEmpty() ? nullptr : options.bindDn.toUtf8().constData(),
                          LDAP_SASL_SIMPLE, &credentials, nullptr, nullptr, nullptr);
    if (rc != LDAP_SUCCESS) {
        r.error =
            rc == LDAP_SERVER_DOWN || rc == LDAP_TIMEOUT || rc == LDAP_CONNECT_ERROR
                ? QStringLiteral("Контроллер домена %1 недоступен: %2.").arg(controller, ldapText(rc))
                : QStringLiteral("Контроллер домена %1 отказал во входе: %2.").arg(controller, ldapText(rc));
        return r;
    }

    const QByteArray base = options.base.toUtf8();
    char filter[] = "(|(objectClass=user)(objectClass=inetOrgPerson)(objectClass=posixAccount))";
    char a0[] = "sAMAccountName", a1[] = "uid", a2[] = "displayName", a3[] = "cn";
    char *attributes[] = {a0, a1, a2, a3, nullptr};
    berval cookie{0, nullptr};
    for (;;) {
        LDAPControl *page = nullptr;
        rc = ldap_create_page_control(ld, ber_int_t(options.pageSize), cookie.bv_len ? &cookie : nullptr, 0,
                                      &page);
        if (rc != LDAP_SUCCESS) {
            r.error = QStringLiteral("Поиск учётных записей прерван: %1.").arg(ldapText(rc));
            break;
        }
        LDAPControl *controls[] = {page, nullptr};
        LDAPMessage *result = nullptr;
        rc = ldap_search_ext_s(ld, base.constData(), LDAP_SCOPE_SUBTREE, filter, attributes, 0, controls,
                               nullptr, &timeout, LDAP_NO_LIMIT, &result);
        ldap_control_free(page);
        for (LDAPMessage *e = result ? ldap_first_entry(ld, result) : nullptr; e;
             e = ldap_next_entry(ld, e)) {
            QString account = firstValue(ld, e, "sAMAccountName");
            if (account.isEmpty())
                account = firstValue(ld, e, "uid");
            if (account.isEmpty())
                continue;
            QString fullName = firstValue(ld, e, "displayName");
            if (fullName.isEmpty()) {
                fullName = firstValue(ld, e, "cn");
                if (fullName.compare(account, Qt::CaseInsensitive) == 0)
                    fullName.clear();
            }
            r.lines << account + u'|' + fullName;
        }
        int code = rc;
        LDAPControl **serverControls = nullptr;
        if (result)
            ldap_parse_result(ld, result, &code, nullptr, nullptr, nullptr, &serverControls, 0);
        ldap_msgfree(result);
        if (cookie.bv_val)
            ber_memfree(cookie.bv_val);
        cookie = {0, nullptr};
        if (rc != LDAP_SUCCESS || code != LDAP_SUCCESS) {
            ldap_controls_free(serverControls);
            r.error = QStringLiteral("Поиск учётных записей прерван: %1.")
                          .arg(ldapText(rc != LDAP_SUCCESS ? rc : code));
            break;
        }
        if (LDAPControl *response = ldap_control_find(LDAP_CONTROL_PAGEDRESULTS, serverControls, nullptr)) {
            ber_int_t estimate = 0;
            if (ldap_parse_pageresponse_control(ld, response, &estimate, &cookie) != LDAP_SUCCESS)
                cookie = {0, nullptr};
        }
        ldap_controls_free(serverControls);
        if (cookie.bv_len == 0)
            break;
    }
    if (cookie.bv_val)
        ber_memfree(cookie.bv_val);
    return r;
}

void DomainScan::checkDomain(const QString &domain) {
    if (domain.trimmed().isEmpty())
        throw AppError(QStringLiteral("Не выбран домен"));
    if (domain.trimmed().size() > DomainWidth)
        throw AppError(QStringLiteral("Имя домена «%1» длиннее %2 символов: в списке пользователей оно не "
                                      "поместится; сократите его в списке контроллеров домена")
                           .arg(domain.trimmed())
                           .arg(DomainWidth));
}

void DomainScan::run(Connection &cn, const QString &domain, const QString &controller,
                     const DirectoryOptions &options) {
    checkDomain(domain);
    auto line = [this](const QString &text) {
        if (addLine)
            addLine(text);
    };
    line(QStringLiteral("Запрос учётных записей домена %1, контроллер %2 (%3).")
             .arg(domain, controller, timeOfDay()));

    // The directory is read on a thread of its own; the database stays on this one. The thread is
    // waited for on every path (jthread), also when the window's event processing throws.
    DirectoryResult result;
    std::mutex mutex;
    std::condition_variable ready;
    bool done = false;
    std::jthread reader([&] {
        DirectoryResult r;
        try {
            r = EnumNetUsers(controller, options);
        } catch (const std::exception &e) {
            r.error = QStringLiteral("Чтение каталога прервано: %1.").arg(QString::fromLocal8Bit(e.what()));
        }
        {
            const std::lock_guard lock(mutex);
            result = std::move(r);
            done = true;
        }
        ready.notify_all();
    });
    {
        std::unique_lock lock(mutex);
        while (!done) {
            if (!idle) {
                ready.wait(lock, [&] { return done; });
                break;
            }
            lock.unlock();
            idle();
            lock.lock();
            ready.wait_for(lock, std::chrono::milliseconds(15), [&] { return done; });
        }
    }
    reader.join();

    if (!result.error.isEmpty())
        line(result.error);
    line(QStringLiteral("Получено %1 записей (%2).").arg(result.lines.size()).arg(timeOfDay()));

    DataSet check(&cn);
    check.setCommand(QStringLiteral("CheckDomainUser;1"), CommandType::StoredProc);
    const QString upperDomain = LatinUpper(domain);
    int processed = 0;
    for (const QString &account : std::as_const(result.lines)) {
        if (account.contains(u'$'))
            continue; // machine and trust accounts
        const qsizetype bar = account.indexOf(u'|');
        check.setParameterValue(QStringLiteral("@DM"), upperDomain);
        check.setParameterValue(QStringLiteral("@US"), LatinLower(account.left(bar)));
        check.setParameterValue(QStringLiteral("@UN"), account.mid(bar + 1));
        check.setParameterValue(QStringLiteral("@RS"), QVariant());
        try {
            check.execProc();
        } catch (const DatabaseError &e) {
            throw AppError(QStringLiteral("Обработка прервана на учётной записи %1 (%2). Учётные записи "
                                          "до неё (%3) обработаны")
                               .arg(quoteInput(account.left(bar)), e.message())
                               .arg(processed));
        }
        ++processed;
        line(check.parameter(QStringLiteral("@RS")).value.toString());
        if (idle)
            idle();
    }
}
