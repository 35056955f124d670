#include "TestDatabase.h"

#include "data/Errors.h"
#include "server/Schema.h"
#include "server/Server.h"

#include <QAtomicInt>
#include <QCoreApplication>
#include <QUuid>

const char *engineName(Engine e) {
    return e == Engine::SQLite ? "SQLite" : "PostgreSQL";
}

ScopedTables::ScopedTables(const QVector<TableInfo> &tables) {
    SchemaInfo &si = SchemaInfo::instance();
    for (const TableInfo &t : tables) {
        if (const TableInfo *known = si.table(t.name))
            m_replaced << *known;
        else
            m_added << t.name;
        si.addTable(t);
    }
}

ScopedTables::~ScopedTables() {
    SchemaInfo &si = SchemaInfo::instance();
    for (const QString &name : std::as_const(m_added))
        si.removeTable(name);
    for (const TableInfo &t : std::as_const(m_replaced))
        si.addTable(t);
}

ScopedProcedure::ScopedProcedure(const ProcedureDef &def) : m_name(def.name) {
    ProcedureCatalogue &pc = ProcedureCatalogue::instance();
    if (const ProcedureDef *known = pc.find(def.name))
        m_replaced = *known;
    pc.add(def);
}

ScopedProcedure::~ScopedProcedure() {
    ProcedureCatalogue &pc = ProcedureCatalogue::instance();
    pc.remove(m_name);
    if (m_replaced)
        pc.add(*m_replaced);
}

TestDatabase::TestDatabase(Engine engine) : m_engine(engine) {
    if (engine == Engine::SQLite) {
        m_url = QStringLiteral("sqlite:") + m_dir.filePath(QStringLiteral("test.db"));
    } else {
        m_url = qEnvironmentVariable("VELMORA_TEST_PG");
        if (m_url.isEmpty()) {
            m_error = QStringLiteral("VELMORA_TEST_PG is not set");
            return;
        }
        m_schema = QStringLiteral("t_") + QUuid::createUuid().toString(QUuid::Id128).left(16);
    }
    m_main = connect();
}

TestDatabase::~TestDatabase() {
    if (!m_schema.isEmpty() && m_main) {
        try {
            m_main.reset();
            Connection admin;
            admin.open(m_url);
            admin.execute(QStringLiteral("DROP SCHEMA IF EXISTS %1 CASCADE").arg(m_schema));
        } catch (const AppError &) {
        }
    }
}

bool TestDatabase::available(QString *why) const {
    if (why)
        *why = m_error;
    return m_main != nullptr;
}

std::unique_ptr<Connection> TestDatabase::connect() const {
    auto cn = std::make_unique<Connection>();
    cn->open(m_url);
    if (!m_schema.isEmpty()) {
        cn->execute(QStringLiteral("CREATE SCHEMA IF NOT EXISTS %1").arg(m_schema));
        cn->execute(QStringLiteral("SET search_path TO %1, public").arg(m_schema));
    }
    return cn;
}

void EngineTest::SetUp() {
    db = std::make_unique<TestDatabase>(GetParam());
    QString why;
    if (!db->available(&why)) {
        if (qEnvironmentVariableIsSet("VELMORA_TEST_REQUIRE_PG"))
            FAIL() << "PostgreSQL is required: " << why.toStdString();
        GTEST_SKIP() << why.toStdString();
    }
}

void ServerTest::SetUp() {
    EngineTest::SetUp();
    if (IsSkipped() || HasFatalFailure())
        return;
    InstallServer();
    Schema::prepare(cn());
}

QVariant insertRow(Connection &cn, const QString &table, const QVariantMap &values) {
    const TableInfo *t = SchemaInfo::instance().table(table);
    QStringList cols, marks;
    for (auto it = values.begin(); it != values.end(); ++it) {
        cols << u'[' + it.key() + u']';
        marks << u':' + it.key();
    }
    const QString key = t ? t->key : QStringLiteral("ID");
    return cn.scalar(QStringLiteral("INSERT INTO [%1] (%2) VALUES (%3) RETURNING [%4]")
                         .arg(table, cols.join(u','), marks.join(u','), key),
                     values);
}

QVariant ServerTest::insert(const QString &table, const QVariantMap &values) {
    return insertRow(cn(), table, values);
}

void allowDepartmentCycles(Connection &cn) {
    if (cn.engine() == Engine::PostgreSQL) {
        cn.execute(QStringLiteral("DROP TRIGGER trDepartmentCycle ON Department"));
    } else {
        cn.execute(QStringLiteral("DROP TRIGGER trDepartmentCycleInsert"));
        cn.execute(QStringLiteral("DROP TRIGGER trDepartmentCycleUpdate"));
    }
}
