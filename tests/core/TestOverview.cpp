// The overview's aggregates on a small organisation whose answers are known, on both engines:
// kinds with "Прочее", the age by document year, the month boundaries of warranty ends and
// consumable forecasts, the network state, the departments and the department filter.
#include "TestDatabase.h"
#include "ToolRun.h"
#include "data/Errors.h"
#include "data/TessalADO.h"
#include "model/Overview.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>

namespace {

QDateTime at(int y, int m, int d, int h = 0, int min = 0) {
    return QDateTime(QDate(y, m, d), QTime(h, min));
}

// The day the tests stand on: the middle of a 31-day month after a short one.
const QDate Today(2026, 3, 15);

class OverviewTest : public ServerTest {
protected:
    void SetUp() override {
        ServerTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        org = insert("Department", {{"DprtName", "Организация"}});
        acc = insert("Department", {{"DprtName", "Бухгалтерия"}, {"DprtIdHigher", org}});
        cash = insert("Department", {{"DprtName", "Касса"}, {"DprtIdHigher", acc}});
        store = insert("Department", {{"DprtName", "Склад"}, {"DprtIdHigher", org}});
        wAcc = insert("Workplace", {{"WrkpIdDepartment", acc}, {"WrkpName", "Стол"}});
        wCash = insert("Workplace", {{"WrkpIdDepartment", cash}, {"WrkpName", "Окно"}});
        wStore = insert("Workplace", {{"WrkpIdDepartment", store}, {"WrkpName", "Полка"}});
    }

    QVariant kind(const char *type, const QString &name) {
        return insert("Kind", {{"KindType", type}, {"KindName", name}});
    }
    QVariant device(const QVariant &wp, const QString &name, const QVariantMap &more = {}) {
        QVariantMap v = more;
        v.insert("DevcIdWorkplace", wp);
        v.insert("DevcName", name);
        return insert("DeviceUnit", v);
    }
    QVariant element(const QVariant &dev, const QVariant &model, const QVariantMap &more = {}) {
        QVariantMap v = more;
        v.insert("CmplIdDevice", dev);
        v.insert("CmplIdModel", model);
        return insert("CompleteSet", v);
    }

    // A procedure's rows, each as its values in column order.
    std::vector<QVariantList> rows(const QString &proc, const QVariantMap &args) {
        QVector<Parameter> params = procedureParameters(proc);
        for (Parameter &p : params)
            if (args.contains(p.name.mid(1)))
                p.value = args.value(p.name.mid(1));
        const ResultSet rs = callProcedure(cn(), proc, params);
        std::vector<QVariantList> out;
        for (const auto &r : rs.rows)
            out.push_back(QVariantList(r.begin(), r.end()));
        return out;
    }
    // The keys (ID) behind one bar.
    QList<int> behind(const char *chart, int key, const QVariant &department = {}) {
        QList<int> ids;
        for (const QVariantList &r :
             rows(QStringLiteral("OverviewRows;1"), {{"Chart", chart},
                                                     {"Key", key},
                                                     {"Department", department},
                                                     {"Today", QDateTime(Today, QTime(0, 0))}}))
            ids << r[0].toInt();
        std::sort(ids.begin(), ids.end());
        return ids;
    }
    // A month chart as {offset -> count}, the count before today under -1.
    std::map<int, qint64> months(const char *proc, const QVariant &department = {}) {
        std::map<int, qint64> out;
        for (const QVariantList &r :
             rows(QString::fromLatin1(proc) + QStringLiteral(";1"),
                  {{"Department", department}, {"Today", QDateTime(Today, QTime(0, 0))}}))
            if (r[2].toLongLong() != 0)
                out[r[0].toInt()] = r[2].toLongLong();
        return out;
    }

    QVariant org, acc, cash, store, wAcc, wCash, wStore;
};

using Overview = OverviewTest;

static QList<int> keys(std::initializer_list<QVariant> l) {
    QList<int> out;
    for (const QVariant &v : l)
        out << v.toInt();
    std::sort(out.begin(), out.end());
    return out;
}

TEST_P(Overview, KindsLargestFirstTheRestAsOther) {
    // Devices per kind A..J: 3 3 2 2 2 2 2 2 1 1, and one without a kind.
    const int counts[] = {3, 3, 2, 2, 2, 2, 2, 2, 1, 1};
    QList<int> rest;
    QVariant inCash, inAcc;
    for (int i = 0; i < 10; ++i) {
        const QVariant k = kind("D", QString(QChar(u'A' + i)));
        for (int n = 0; n < counts[i]; ++n) {
            const QVariant wp = i == 0 && n == 0 ? wCash : i == 2 && n == 0 ? wAcc : wStore;
            const QVariant d = device(wp, QStringLiteral("У%1-%2").arg(i).arg(n), {{"DevcIdKind", k}});
            if (i >= 8)
                rest << d.toInt();
            if (wp == wCash)
                inCash = d;
            if (wp == wAcc)
                inAcc = d;
        }
    }
    rest << device(wStore, QStringLiteral("Без вида")).toInt();
    std::sort(rest.begin(), rest.end());

    QStringList names;
    QList<qint64> values;
    for (const QVariantList &r : rows(QStringLiteral("OverviewKinds;1"), {})) {
        names << r[1].toString();
        values << r[2].toLongLong();
    }
    EXPECT_EQ(names, (QStringList{"A", "B", "C", "D", "E", "F", "G", "H", "Прочее"}));
    EXPECT_EQ(values, (QList<qint64>{3, 3, 2, 2, 2, 2, 2, 2, 3}));
    EXPECT_EQ(behind("kinds", -1), rest) << "the rows behind Прочее are the kinds it holds";

    names.clear();
    values.clear();
    for (const QVariantList &r : rows(QStringLiteral("OverviewKinds;1"), {{"Department", acc}})) {
        names << r[1].toString();
        values << r[2].toLongLong();
    }
    EXPECT_EQ(names, (QStringList{"A", "C"})) << "the branch holds the cash desk's device too";
    EXPECT_EQ(values, (QList<qint64>{1, 1}));
    EXPECT_EQ(
        behind("kinds", rows(QStringLiteral("OverviewKinds;1"), {{"Department", acc}})[0][0].toInt(), acc),
        keys({inCash}));
}

TEST_P(Overview, WarrantyEndsByMonthAroundToday) {
    const QVariant m = insert("Model", {{"ModlName", "Диск"}, {"ModlKind", kind("H", "Диск")}});
    const QVariant dCash = device(wCash, "ПК"), dStore = device(wStore, "Сервер");
    const QVariant doc = insert("Document", {{"DocNumber", "1"}, {"DocDate", at(2025, 4, 30)}});
    const struct {
        const char *what;
        QVariantMap values;
        int offset; // -1 ended, 0.. months from March 2026, 99 not counted
    } cases[] = {
        {"ended yesterday", {{"DateSeller", at(2025, 3, 14)}, {"Warranty", 12}}, -1},
        {"ends today", {{"DateSeller", at(2025, 3, 15, 17, 0)}, {"Warranty", 12}}, 0},
        {"document's date, ends this month", {{"DocumentId", doc}, {"Warranty", 11}}, 0},
        {"installation date, clipped to 28 February",
         {{"CmplDateSet", at(2026, 1, 31)}, {"Warranty", 1}},
         -1},
        {"31 January + 14 months: 31 March", {{"DateSeller", at(2025, 1, 31)}, {"Warranty", 14}}, 0},
        {"seller's date before the document's",
         {{"DateSeller", at(2026, 3, 31)}, {"DocumentId", doc}, {"Warranty", 1}},
         1},
        {"last counted month", {{"DateSeller", at(2026, 3, 31)}, {"Warranty", 11}}, 11},
        {"past the twelve months", {{"DateSeller", at(2026, 3, 1)}, {"Warranty", 12}}, 99},
        {"no warranty", {{"DateSeller", at(2026, 1, 1)}, {"Warranty", 0}}, 99},
        {"no months", {{"DateSeller", at(2026, 1, 1)}}, 99},
    };
    std::map<int, QList<int>> expected;
    std::map<int, qint64> counts;
    for (const auto &cs : cases) {
        QVariantMap v = cs.values;
        if (!v.contains("CmplDateSet"))
            v.insert("CmplDateSet", at(2026, 3, 1));
        const QVariant e = element(cs.offset == 11 ? dStore : dCash, m, v);
        if (cs.offset != 99) {
            expected[cs.offset] << e.toInt();
            ++counts[cs.offset];
        }
    }
    EXPECT_EQ(months("OverviewWarranty"), counts);
    for (auto &[offset, ids] : expected) {
        std::sort(ids.begin(), ids.end());
        SCOPED_TRACE(offset);
        EXPECT_EQ(behind("warranty", offset), ids);
    }
    counts.erase(11);
    EXPECT_EQ(months("OverviewWarranty", acc), counts) << "the server in the store is outside the branch";
}

TEST_P(Overview, ForecastMonthsFollowTheConsumablesView) {
    const QVariant toner = insert("Model", {{"ModlName", "HP 12A"}, {"ModlKind", kind("M", "Картридж")}});
    const QVariant disk = insert("Model", {{"ModlName", "SSD"}, {"ModlKind", kind("H", "Диск")}});
    const struct {
        const char *what;
        QVariant workplace;
        std::vector<QDateTime> sets;
        int offset; // of the forecast from March 2026; -1 overdue
    } cases[] = {
        {"31 days: 4 March, overdue", wCash, {at(2026, 1, 1), at(2026, 2, 1)}, -1},
        {"30 days: 31 March, this month", wCash, {at(2026, 1, 30), at(2026, 3, 1)}, 0},
        {"30 days: 1 April, next month", wCash, {at(2026, 1, 31), at(2026, 3, 2)}, 1},
        {"76 days: 2 May", wStore, {at(2025, 12, 1), at(2026, 2, 15)}, 2},
        // One day of installations: the model's mean over every device, (31+30+30+76) / 4 days.
        {"one day, the model's mean: 20 April", wAcc, {at(2026, 3, 10, 9, 0), at(2026, 3, 10, 9, 5)}, 1},
    };
    std::map<int, qint64> counts;
    std::map<int, QList<int>> devices;
    for (const auto &cs : cases) {
        const QVariant d = device(cs.workplace, QString::fromUtf8(cs.what));
        for (const QDateTime &t : cs.sets)
            element(d, toner, {{"CmplDateSet", t}});
        element(d, disk, {{"CmplDateSet", cs.sets.front()}}); // equipment is not forecast
        ++counts[cs.offset];
        devices[cs.offset] << d.toInt();
    }
    EXPECT_EQ(months("OverviewForecast"), counts);
    for (auto &[offset, ids] : devices) {
        std::sort(ids.begin(), ids.end());
        SCOPED_TRACE(offset);
        EXPECT_EQ(behind("forecast", offset), ids);
    }

    // The same months as the consumables view's forecasts.
    std::map<int, qint64> fromView;
    for (const QVariantList &r : rows(QStringLiteral("GridChangeDevice;1"), {{"ID", toner}})) {
        const QDateTime next = r[4].toDateTime();
        const int offset =
            next < QDateTime(Today, QTime(0, 0))
                ? -1
                : (next.date().year() * 12 + next.date().month()) - (Today.year() * 12 + Today.month());
        ++fromView[offset];
    }
    EXPECT_EQ(fromView, counts);

    // The branch counts its own devices, with forecasts still learned from every device.
    EXPECT_EQ(months("OverviewForecast", acc), (std::map<int, qint64>{{-1, 1}, {0, 1}, {1, 2}}));
}

TEST_P(Overview, AgeByDocumentYearWithTheMedian) {
    const QVariant m = insert("Model", {{"ModlName", "Диск"}, {"ModlKind", kind("H", "Диск")}});
    const QVariant d2020 = insert("Document", {{"DocNumber", "1"}, {"DocDate", at(2020, 12, 31, 23, 0)}});
    const QVariant d2022 = insert("Document", {{"DocNumber", "2"}, {"DocDate", at(2022, 1, 1)}});
    const QVariant undated = insert("Document", {{"DocNumber", "3"}, {"DocDate", QVariant()}});
    // Device A: elements of 2020 and 2022, counts under 2020. B: 2022. C: nothing dated. D: empty.
    const QVariant a = device(wCash, "A"), b = device(wStore, "B"), c = device(wStore, "C");
    device(wStore, "D");
    const QVariant e1 = element(a, m, {{"DocumentId", d2020}});
    element(a, m, {{"DocumentId", d2022}});
    const QVariant e3 = element(b, m, {{"DocumentId", d2022}});
    const QVariant e4 = element(c, m, {{"DocumentId", undated}});
    const QVariant e5 = element(c, m);

    std::vector<QVariantList> age = rows(QStringLiteral("OverviewAge;1"), {});
    ASSERT_EQ(age.size(), 3u);
    EXPECT_EQ(age[0], (QVariantList{2020, 1, 1}));
    EXPECT_EQ(age[1], (QVariantList{2022, 1, 2}));
    EXPECT_TRUE(age[2][0].isNull());
    EXPECT_EQ(age[2].mid(1), (QVariantList{2, 2}));
    EXPECT_EQ(behind("ageDevices", 2020), keys({a}));
    EXPECT_EQ(behind("ageDevices", 0).size(), 2);
    EXPECT_EQ(behind("ageElements", 2020), keys({e1}));
    EXPECT_EQ(behind("ageElements", 0), keys({e4, e5}));

    age = rows(QStringLiteral("OverviewAge;1"), {{"Department", acc}});
    ASSERT_EQ(age.size(), 2u);
    EXPECT_EQ(age[0], (QVariantList{2020, 1, 1}));
    EXPECT_EQ(age[1], (QVariantList{2022, 0, 1}));
    EXPECT_EQ(behind("ageElements", 2022, store), keys({e3}));

    const OverviewData data = LoadOverview(cn(), {}, Today);
    ASSERT_NE(data.chart("age"), nullptr);
    EXPECT_EQ(data.chart("age")->note, QStringLiteral("медиана: устройства 5 лет, элементы 4 года"));
}

TEST_P(Overview, NetworkStateOfTheLastSweep) {
    device(wCash, "Сервер", {{"Domain", "srv"}, {"OnLine", true}});
    device(wStore, "ПК 1", {{"Domain", "pc1"}, {"OnLine", true}});
    const QVariant off = device(wStore, "ПК 2", {{"Domain", "pc2"}, {"OnLine", false}});
    const QVariant never = device(wAcc, "ПК 3", {{"Domain", "pc3"}});
    device(wAcc, "Монитор", {{"OnLine", false}}); // no network name: not a computer
    EXPECT_EQ(rows(QStringLiteral("OverviewNetwork;1"), {})[0], (QVariantList{2, 1, 1}));
    EXPECT_EQ(rows(QStringLiteral("OverviewNetwork;1"), {{"Department", acc}})[0], (QVariantList{1, 0, 1}));
    EXPECT_EQ(behind("network", 0), keys({off}));
    EXPECT_EQ(behind("network", -1), keys({never}));
    EXPECT_EQ(behind("network", 1, store).size(), 1);
}

TEST_P(Overview, DepartmentsBelowTheChosenOne) {
    for (const auto &[wp, n] : {std::pair{wAcc, 1}, {wCash, 2}, {wStore, 4}})
        for (int i = 0; i < n; ++i)
            device(wp, QStringLiteral("У%1").arg(i));
    const QVariant empty = insert("Department", {{"DprtName", "Пустой"}, {"DprtIdHigher", org}});
    Q_UNUSED(empty);
    const struct {
        const char *what;
        QVariant department;
        std::vector<QVariantList> rows;
    } cases[] = {
        {"one top department is passed through", {}, {{store, "Склад", 4}, {acc, "Бухгалтерия", 3}}},
        {"a branch shows its own departments", acc, {{cash, "Касса", 2}}},
        {"a department without departments shows none", store, {}},
    };
    for (const auto &cs : cases) {
        SCOPED_TRACE(cs.what);
        std::vector<QVariantList> got =
            rows(QStringLiteral("OverviewDepartments;1"), {{"Department", cs.department}});
        ASSERT_EQ(got.size(), cs.rows.size());
        for (size_t i = 0; i < got.size(); ++i)
            EXPECT_EQ(got[i], (QVariantList{cs.rows[i][0].toInt(), cs.rows[i][1], cs.rows[i][2]}));
    }
}

TEST_P(Overview, LoadsEveryChartAndRefusesAnUnknownDepartment) {
    const OverviewData all = LoadOverview(cn(), {}, Today);
    QStringList titles;
    for (const OverviewChart &c : all.charts)
        titles << c.title;
    EXPECT_EQ(titles,
              (QStringList{"Устройства по типам", "Возраст техники", "Окончание гарантии",
                           "Замена расходных материалов", "Последняя проверка сети", "Подразделения"}));
    EXPECT_EQ(all.chart("warranty")->categories.front(), QStringLiteral("мар 2026"));
    EXPECT_EQ(all.chart("warranty")->categories.size(), 12);
    EXPECT_EQ(all.chart("warranty")->note, QStringLiteral("мар 2026 — фев 2027; уже без гарантии: 0"));
    EXPECT_EQ(LoadOverview(cn(), acc, Today).departmentName, QStringLiteral("Бухгалтерия"));
    EXPECT_THROW(LoadOverview(cn(), 999999, Today), AppError);
}

VELMORA_BOTH_ENGINES(Overview);

TEST(OverviewText, MedianAndYears) {
    const struct {
        std::vector<std::pair<int, qint64>> counts;
        double median;
    } medians[] = {
        {{}, -1},
        {{{3, 0}}, -1},
        {{{5, 1}}, 5},
        {{{1, 1}, {4, 1}}, 2.5},
        {{{9, 1}, {2, 2}}, 2},
        {{{1, 2}, {3, 2}}, 2},
    };
    for (const auto &m : medians)
        EXPECT_DOUBLE_EQ(MedianAge(m.counts), m.median);
    const struct {
        double years;
        const char *text;
    } years[] = {{0, "0 лет"},   {1, "1 год"},   {2, "2 года"},   {5, "5 лет"},     {11, "11 лет"},
                 {14, "14 лет"}, {21, "21 год"}, {22, "22 года"}, {2.5, "2,5 года"}};
    for (const auto &y : years)
        EXPECT_EQ(YearsText(y.years), QString::fromUtf8(y.text));
    EXPECT_EQ(CountText(100000), QStringLiteral("100\u00a0000"));
}

// velmora-db overview, run as a process without a display: the page as PDF with its titles
// readable as text, for one branch; wrong arguments are refused with a sentence.
TEST(OverviewTool, WritesThePageWithoutADisplay) {
    const QString tool = ToolPath();
    if (!QFileInfo(tool).isExecutable())
        GTEST_SKIP() << "velmora-db is not built beside the tests";
    const QString pdftotext = QStandardPaths::findExecutable(QStringLiteral("pdftotext"));
    if (pdftotext.isEmpty())
        GTEST_SKIP() << "pdftotext is not installed";
    QTemporaryDir dir;
    const QString db = "sqlite:" + dir.filePath("o.db");
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("DISPLAY"));
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb")); // the command needs none
    auto run = [&](const QStringList &args) {
        const ToolRun r = RunProgram(tool, QStringList{"--database", db} + args, env);
        return std::pair{r.exitCode, r.err};
    };
    ASSERT_EQ(run({"create", "--demo"}).first, 0);
    const QString pdf = dir.filePath("s.pdf");

    const struct {
        QStringList args;
        int exitCode;
        const char *err;     // a pattern the standard error holds; nullptr: not checked
        const char *heading; // what the page's text starts with; nullptr: no page
    } cases[] = {
        {{"overview", "--pdf", pdf}, 0, nullptr, "Сводка: Все подразделения на "},
        {{"overview", "--department", "1", "--pdf", pdf}, 0, nullptr, "Сводка: [^\\n]+ на "},
        {{"overview", "--department", "999999", "--pdf", pdf}, 1, "Подразделение 999999 не найдено", nullptr},
        {{"overview", "--department", "первый", "--pdf", pdf}, 1, "не распознан", nullptr},
        {{"overview"}, 2, "укажите --pdf", nullptr},
        {{"overview", "--pdf"}, 2, "нужно значение", nullptr},
        {{"overview", "--pdf", dir.filePath("нет/s.pdf")}, 1, "не удаётся записать", nullptr},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.args.join(' ').toStdString());
        QFile::remove(pdf);
        const auto [code, err] = run(c.args);
        EXPECT_EQ(code, c.exitCode) << err.toStdString();
        if (c.err) {
            EXPECT_TRUE(QRegularExpression(QString::fromUtf8(c.err)).match(err).hasMatch())
                << err.toStdString();
        }
        if (!c.heading)
            continue;
        QProcess text;
        text.start(pdftotext, {pdf, QStringLiteral("-")});
        ASSERT_TRUE(text.waitForFinished(20000));
        const QString page = QString::fromUtf8(text.readAllStandardOutput());
        EXPECT_TRUE(
            QRegularExpression(QStringLiteral("^") + QString::fromUtf8(c.heading)).match(page).hasMatch())
            << page.left(200).toStdString();
        for (const char *title : {"Устройства по типам", "Возраст техники", "Окончание гарантии",
                                  "Замена расходных материалов", "Последняя проверка сети", "Подразделения"})
            EXPECT_TRUE(page.contains(QString::fromUtf8(title))) << title;
    }
}

} // namespace
