#!/usr/bin/env bash
# A throwaway LDAP directory on 127.0.0.1 for the domain scan tests and the demonstration.
#   source scripts/slapd.sh; slapd_start [ACCOUNTS]   -> exports VELMORA_TEST_LDAP (host:port)
#   slapd_stop                                       -> stops it and removes its folder
# The directory dc=korvant (domain KORVANT) holds ACCOUNTS people (default 300) with Cyrillic full
# names, Windows-style accounts (class user, sAMAccountName, displayName), two machine accounts
# ending in "$", an account whose full name holds "$" and one without a full name. The server
# answers a plain search with 100 entries at most, so only a paged search reads it all.
# Anonymous reads are allowed; cn=admin,dc=korvant binds with the password "secret".
SLAPD_BIN=${SLAPD_BIN:-/usr/sbin/slapd}

slapd_ldif() {
    local count=$1 i
    cat <<LDIF
dn: dc=korvant
objectClass: dcObject
objectClass: organization
dc: korvant
o: Korvant

dn: ou=people,dc=korvant
objectClass: organizationalUnit
ou: people

dn: uid=IVANOV,ou=people,dc=korvant
objectClass: inetOrgPerson
uid: IVANOV
cn: Иванов Иван
sn: Иванов

dn: cn=Петров Пётр,ou=people,dc=korvant
objectClass: user
objectClass: extensibleObject
cn: Петров Пётр
sn: Петров
sAMAccountName: Petrov
displayName: Петров Пётр Петрович
instanceType: 4
objectCategory: cn=Person,dc=korvant
nTSecurityDescriptor:: AQAEgA==

dn: cn=svc-backup,ou=people,dc=korvant
objectClass: inetOrgPerson
uid: svc-backup
cn: svc-backup
sn: svc-backup

dn: uid=cash,ou=people,dc=korvant
objectClass: inetOrgPerson
uid: cash
cn: Касса \$ 1
sn: Касса

dn: cn=BUH-PC01,ou=people,dc=korvant
objectClass: computer
objectClass: extensibleObject
cn: BUH-PC01
sn: BUH-PC01
sAMAccountName: BUH-PC01\$
instanceType: 4
objectCategory: cn=Person,dc=korvant
nTSecurityDescriptor:: AQAEgA==

dn: cn=SRV-DC01,ou=people,dc=korvant
objectClass: computer
objectClass: extensibleObject
cn: SRV-DC01
sn: SRV-DC01
sAMAccountName: SRV-DC01\$
instanceType: 4
objectCategory: cn=Person,dc=korvant
nTSecurityDescriptor:: AQAEgA==

LDIF
    for ((i = 1; i <= count; i++)); do
        printf 'dn: uid=user%05d,ou=people,dc=korvant\nobjectClass: inetOrgPerson\nuid: user%05d\n' "$i" "$i"
        printf 'cn: Сотрудник Номер %05d\nsn: Сотрудник\n\n' "$i"
    done
}

slapd_start() {
    local count=${1:-300} tries=0
    SLAPD_DIR=$(mktemp -d /tmp/velmora-ldap.XXXXXX)
    mkdir -p "$SLAPD_DIR/db"
    cat >"$SLAPD_DIR/slapd.conf" <<CONF
include /etc/ldap/schema/core.schema
include /etc/ldap/schema/cosine.schema
include /etc/ldap/schema/nis.schema
include /etc/ldap/schema/inetorgperson.schema
include /etc/ldap/schema/msuser.schema
pidfile $SLAPD_DIR/slapd.pid
argsfile $SLAPD_DIR/slapd.args
modulepath /usr/lib/ldap
moduleload back_mdb
sizelimit size.soft=100 size.hard=100 size.prtotal=unlimited
database mdb
maxsize 268435456
suffix "dc=korvant"
rootdn "cn=admin,dc=korvant"
rootpw secret
directory $SLAPD_DIR/db
access to * by * read
CONF
    slapd_ldif "$count" >"$SLAPD_DIR/users.ldif"
    if ! /usr/sbin/slapadd -q -f "$SLAPD_DIR/slapd.conf" -l "$SLAPD_DIR/users.ldif" >"$SLAPD_DIR/slapadd.log" 2>&1; then
        cat "$SLAPD_DIR/slapadd.log" >&2
        return 1
    fi
    while :; do
        SLAPD_PORT=$((20000 + RANDOM % 20000))
        if "$SLAPD_BIN" -f "$SLAPD_DIR/slapd.conf" -h "ldap://127.0.0.1:$SLAPD_PORT/" 2>"$SLAPD_DIR/slapd.log"; then
            local wait=0
            while [ ! -s "$SLAPD_DIR/slapd.pid" ] && [ $wait -lt 50 ]; do sleep 0.1; wait=$((wait + 1)); done
            [ -s "$SLAPD_DIR/slapd.pid" ] && break
        fi
        tries=$((tries + 1))
        if [ $tries -ge 5 ]; then
            cat "$SLAPD_DIR/slapd.log" >&2
            return 1
        fi
    done
    export SLAPD_DIR SLAPD_PORT
    export VELMORA_TEST_LDAP="127.0.0.1:$SLAPD_PORT"
    echo "LDAP test directory on 127.0.0.1:$SLAPD_PORT ($count accounts)"
}

slapd_stop() {
    if [ -n "${SLAPD_DIR:-}" ] && [ -d "$SLAPD_DIR" ]; then
        if [ -s "$SLAPD_DIR/slapd.pid" ]; then
            local pid
            pid=$(cat "$SLAPD_DIR/slapd.pid")
            kill "$pid" 2>/dev/null || true
            for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
        fi
        rm -rf "$SLAPD_DIR"
    fi
}
