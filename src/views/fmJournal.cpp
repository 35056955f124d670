#include "views/fmJournal.h"

#include "data/TessalADO.h"
#include "data/TessalDialog.h"
#include "data/dmTessalData.h"
#include "server/Journal.h"
#include "ui/BusyCursor.h"
#include "ui/DataGrid.h"

#include <QComboBox>
#include <QDateEdit>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

TJournalFM::TJournalFM(QWidget *parent) : HostedView(QStringLiteral("Журнал изменений"), parent) {
    setObjectName(QStringLiteral("TJournalFM"));

    taJournal = new DataSet(dmTessal ? &dmTessal->cnGeneral : nullptr, this);
    taJournal->setObjectName(QStringLiteral("taJournal"));
    taJournal->setCommand(QStringLiteral("JournalList;1"), CommandType::StoredProc);
    taJournal->setReadOnly(true);
    taJournal->addField(
        {QStringLiteral("Stamp"), FieldType::DateTime, 0, true, QStringLiteral("dd.MM.yyyy hh:mm:ss"), {}});

    auto named = [](QWidget *w, const char *name) {
        w->setObjectName(QString::fromLatin1(name));
        return w;
    };
    edSince =
        static_cast<QDateEdit *>(named(new QDateEdit(QDate::currentDate().addMonths(-1), this), "edSince"));
    edUntil = static_cast<QDateEdit *>(named(new QDateEdit(QDate::currentDate(), this), "edUntil"));
    for (QDateEdit *e : {edSince, edUntil}) {
        e->setCalendarPopup(true);
        e->setDisplayFormat(QStringLiteral("dd.MM.yyyy"));
    }
    edPerson = static_cast<QLineEdit *>(named(new QLineEdit(this), "edPerson"));
    edPerson->setPlaceholderText(QStringLiteral("часть имени"));
    edText = static_cast<QLineEdit *>(named(new QLineEdit(this), "edText"));
    edText->setPlaceholderText(QStringLiteral("слова в записи"));
    cbTable = static_cast<QComboBox *>(named(new QComboBox(this), "cbTable"));
    cbTable->addItem(QStringLiteral("Все"), QString());
    for (const auto &[table, caption] : Journal::Tables())
        cbTable->addItem(caption, table);
    btShow = static_cast<QPushButton *>(named(new QPushButton(QStringLiteral("Показать"), this), "btShow"));
    laCount = static_cast<QLabel *>(named(new QLabel(this), "laCount"));

    grJournal = new DataGrid(this);
    grJournal->setObjectName(QStringLiteral("grJournal"));
    grJournal->setDataSet(taJournal);
    grJournal->setColumns({makeColumn(QStringLiteral("Stamp"), QStringLiteral("Когда"), 125, false,
                                      Qt::AlignRight | Qt::AlignVCenter),
                           makeColumn(QStringLiteral("Person"), QStringLiteral("Кто"), 130),
                           makeColumn(QStringLiteral("What"), QStringLiteral("Что"), 220),
                           makeColumn(QStringLiteral("Act"), QStringLiteral("Действие"), 80),
                           makeColumn(QStringLiteral("Change"), QStringLiteral("Изменения"), 400, true)});
    grJournal->setWordWrap(true);
    grJournal->verticalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);

    auto *filters = new QHBoxLayout;
    auto label = [this](const QString &text, QWidget *buddy) {
        auto *l = new QLabel(text, this);
        l->setBuddy(buddy);
        return l;
    };
    filters->addWidget(label(QStringLiteral("С"), edSince));
    filters->addWidget(edSince);
    filters->addWidget(label(QStringLiteral("по"), edUntil));
    filters->addWidget(edUntil);
    filters->addWidget(label(QStringLiteral("Кто"), edPerson));
    filters->addWidget(edPerson, 1);
    filters->addWidget(label(QStringLiteral("Что"), cbTable));
    filters->addWidget(cbTable);
    filters->addWidget(label(QStringLiteral("Текст"), edText));
    filters->addWidget(edText, 2);
    filters->addWidget(btShow);
    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addLayout(filters);
    outer->addWidget(grJournal, 1);
    outer->addWidget(laCount);

    connect(btShow, &QPushButton::clicked, this, [this] { Guarded([this] { Refresh(); }); });
    for (QLineEdit *e : {edPerson, edText})
        connect(e, &QLineEdit::returnPressed, this, [this] { Guarded([this] { Refresh(); }); });
}

void TJournalFM::Refresh() {
    if (edUntil->date() < edSince->date()) {
        ShowError(QStringLiteral("Конец периода раньше его начала: поправьте даты"));
        return;
    }
    BusyCursor busy;
    OpenWithParams(*taJournal, {TypedValue::Variant(edSince->date().startOfDay()),
                                TypedValue::Variant(edUntil->date().addDays(1).startOfDay()),
                                TypedValue::Text(edPerson->text().trimmed()),
                                TypedValue::Text(cbTable->currentData().toString()),
                                TypedValue::Text(edText->text().trimmed())});
    laCount->setText(QStringLiteral("Записей: %1").arg(taJournal->recordCount()));
}
