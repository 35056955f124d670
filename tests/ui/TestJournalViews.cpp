// "История" and the journal tab over a real database: entries in the program's words, newest
// first, the filters, the export.

#include "AppTest.h"
#include "dialogs/dgHistory.h"
#include "shell/ViewWiring.h"
#include "ui/DataGrid.h"
#include "views/ViewLinks.h"
#include "views/fmJournal.h"

#include <QComboBox>
#include <QDateEdit>
#include <QFile>
#include <QLineEdit>

namespace {

class JournalViewsTest : public AppTest {
protected:
    void SetUp() override {
        AppTest::SetUp();
        if (HasFatalFailure())
            return;
        cn().setPerson(QStringLiteral("olga@ws3"));
        kind = insert("Kind", {{"KindType", "D"}, {"KindName", "Сканер"}});
        const int dep = insert("Department", {{"DprtName", "Склад"}});
        const int wp = insert("Workplace", {{"WrkpIdDepartment", dep}, {"WrkpName", "Кладовщик"}});
        dev = insert("DeviceUnit", {{"DevcIdWorkplace", wp}, {"DevcName", "Canon"}, {"DevcIdKind", kind}});
        Transaction tx(cn());
        cn().execute(QStringLiteral("UPDATE DeviceUnit SET DevcNumber = 'A-1' WHERE IdDevice = :D"),
                     {{QStringLiteral("D"), dev}});
        tx.commit();
    }
    // The column of every row of a dataset.
    static QStringList column(DataSet &ds, const QString &field) {
        QStringList out;
        ds.first();
        while (!ds.eof()) {
            out << ds.value(field).toString();
            ds.next();
        }
        return out;
    }
    int kind = 0, dev = 0;
};

TEST_F(JournalViewsTest, HistoryShowsTheDevicesEntriesNewestFirstInWords) {
    QStringList changes, people;
    QString title;
    SetModalHandler([&](QDialog &d) {
        auto *h = qobject_cast<THistoryDG *>(&d);
        if (h) {
            title = h->windowTitle();
            changes = column(*h->taHistory, QStringLiteral("Change"));
            people = column(*h->taHistory, QStringLiteral("Person"));
        }
        return int(QDialog::Rejected);
    });
    ViewLinks links;
    ConnectDialogs(links);
    links.RunHistory(QStringLiteral("DeviceUnit"), dev, QStringLiteral("Canon"));
    EXPECT_EQ(title, QStringLiteral("История: Canon"));
    ASSERT_EQ(changes.size(), 2);
    EXPECT_EQ(changes[0], QStringLiteral("Номер: пусто → «A-1»"));
    EXPECT_TRUE(changes[1].contains(QStringLiteral("Вид: «Сканер»"))) << changes[1].toStdString();
    EXPECT_EQ(people, (QStringList{QStringLiteral("olga@ws3"), QStringLiteral("olga@ws3")}));
}

TEST_F(JournalViewsTest, JournalTabFiltersAndExports) {
    TJournalFM view;
    view.Refresh();
    EXPECT_GE(view.taJournal->recordCount(), 5); // kind, department, workplace, device, change

    const struct {
        const char *person, *table, *text;
        int rows;
    } cases[] = {
        {"OLGA", "", "", -1},      // every entry of this person, whatever the case
        {"someone", "", "", 0},    // nobody else wrote
        {"", "DeviceUnit", "", 2}, // the device's addition and change
        {"", "", "a-1", 1},        // the text of a change
        {"", "Kind", "сканер", 1}, // table and text together
    };
    const int all = view.taJournal->recordCount();
    ASSERT_GE(all, 5);
    for (const auto &c : cases) {
        SCOPED_TRACE(std::string(c.person) + "/" + c.table + "/" + c.text);
        view.edPerson->setText(QString::fromUtf8(c.person));
        view.cbTable->setCurrentIndex(view.cbTable->findData(QString::fromLatin1(c.table)));
        view.edText->setText(QString::fromUtf8(c.text));
        view.Refresh();
        EXPECT_EQ(view.taJournal->recordCount(), c.rows < 0 ? all : c.rows);
    }

    // A period that ends before it begins is refused with a message and reads nothing.
    boxes.clear();
    view.edUntil->setDate(view.edSince->date().addDays(-1));
    view.Refresh();
    ASSERT_EQ(boxes.size(), 1);

    // The export writes what the grid shows, with its titles.
    view.edUntil->setDate(QDate::currentDate());
    view.cbTable->setCurrentIndex(0);
    view.edPerson->clear();
    view.edText->setText(QStringLiteral("a-1"));
    view.Refresh();
    const QString path = dir.filePath(QStringLiteral("journal.csv"));
    view.grJournal->exportCsv(path);
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QString csv = QString::fromUtf8(f.readAll());
    EXPECT_TRUE(csv.contains(QStringLiteral("Кто"))) << csv.toStdString();
    EXPECT_TRUE(csv.contains(QStringLiteral("Номер: пусто → «A-1»"))) << csv.toStdString();
}

} // namespace
