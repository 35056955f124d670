#include "network/dgUserDCScan.h"

#include "data/Errors.h"
#include "data/TessalADO.h"
#include "data/TessalDialog.h"
#include "data/dmTessalData.h"
#include "model/dmLookUpData.h"
#include "netscan/DomainScan.h"
#include "network/dgNetSetup.h"
#include "ui/BusyCursor.h"
#include "ui/Seams.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

TUserDCScanDG::TUserDCScanDG() {
    setObjectName(QStringLiteral("TUserDCScanDG"));
    setWindowTitle(QStringLiteral("Обработка учётных записей домена"));
    auto *layout = new QVBoxLayout(this);
    auto *top = new QHBoxLayout;
    auto *label = new QLabel(QStringLiteral("Домен"), this);
    cbDomain = new QComboBox(this);
    cbDomain->setObjectName(QStringLiteral("cbDomain"));
    label->setBuddy(cbDomain);
    top->addWidget(label);
    top->addWidget(cbDomain, 1);
    btRun = DialogButton(this, "btRun", QStringLiteral("Начать"));
    btExit = DialogButton(this, "btExit", QStringLiteral("Выход"));
    top->addWidget(btRun);
    top->addWidget(btExit);
    layout->addLayout(top);
    mmLog = new QPlainTextEdit(this);
    mmLog->setObjectName(QStringLiteral("mmLog"));
    mmLog->setReadOnly(true);
    mmLog->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    mmLog->setLineWrapMode(QPlainTextEdit::NoWrap);
    layout->addWidget(mmLog, 1);
    resize(520, 400);

    connect(btRun, &QPushButton::clicked, this, [this] { Guarded([this] { btRunClick(); }); });
    connect(btExit, &QPushButton::clicked, this, &QDialog::reject);
}

void TUserDCScanDG::Run() {
    TUserDCScanDG *dialog = Instance();
    if (Guarded([dialog] { dialog->loadDomains(1); }))
        RunModal(*dialog);
}

void TUserDCScanDG::loadDomains(int id) {
    DataSet own(&dmTessal->cnGeneral);
    DataSet *list = dmLookUp ? dmLookUp->taDomain : &own;
    if (!dmLookUp)
        own.setCommand(QStringLiteral("select * from DomainController order by Domain"));
    list->close();
    list->open();
    cbDomain->clear();
    for (int r = 0; r < list->recordCount(); ++r) {
        const QVariant key = list->valueAt(r, list->fieldByName(QStringLiteral("ID"))->index());
        const QString domain =
            list->valueAt(r, list->fieldByName(QStringLiteral("Domain"))->index()).toString();
        const QString controller =
            list->valueAt(r, list->fieldByName(QStringLiteral("Controller"))->index()).toString();
        const Field *bind = list->findField(QStringLiteral("BindAccount"));
        cbDomain->addItem(domain.trimmed(), key);
        cbDomain->setItemData(cbDomain->count() - 1, controller.trimmed(), Qt::UserRole + 1);
        cbDomain->setItemData(cbDomain->count() - 1,
                              bind ? list->valueAt(r, bind->index()).toString() : QString(),
                              Qt::UserRole + 2);
    }
    // Domain 1 when it is listed; a list set up by hand need not have it, and then the first.
    const int index = cbDomain->findData(id);
    cbDomain->setCurrentIndex(index >= 0 || cbDomain->count() == 0 ? index : 0);
    // A new database has no domain yet: say where to define one rather than offer an empty run.
    btRun->setEnabled(cbDomain->count() > 0);
    if (cbDomain->count() == 0)
        mmLog->setPlainText(NoDomainsHint);
}

void TUserDCScanDG::btRunClick() {
    if (m_running)
        return;
    const QString domain = cbDomain->currentText().trimmed();
    const QString controller = cbDomain->currentData(Qt::UserRole + 1).toString();
    // Refused before anything is asked: the users list could not hold such a domain.
    if (cbDomain->currentIndex() < 0) {
        ShowError(QStringLiteral("Выберите домен."));
        return;
    }
    try {
        DomainScan::checkDomain(domain);
    } catch (const AppError &e) {
        ShowError(ExceptionText(e.message()));
        return;
    }

    BusyCursor busy;
    m_running = true;
    btRun->setEnabled(false);
    btExit->setEnabled(false);
    cbDomain->setEnabled(false);
    mmLog->clear();
    struct Restore {
        TUserDCScanDG *d;
        ~Restore() {
            d->m_running = false;
            d->btRun->setEnabled(true);
            d->btExit->setEnabled(true);
            d->cbDomain->setEnabled(true);
        }
    } restore{this};

    DomainScan scan;
    scan.addLine = [this](const QString &line) { mmLog->appendPlainText(line); };
    scan.idle = [] { QCoreApplication::processEvents(); };
    scan.run(dmTessal->cnGeneral, domain, controller,
             DirectoryOptions::forDomain(domain, cbDomain->currentData(Qt::UserRole + 2).toString()));
}

void TUserDCScanDG::reject() {
    if (!m_running)
        QDialog::reject();
}

void TUserDCScanDG::closeEvent(QCloseEvent *e) {
    if (m_running)
        e->ignore();
    else
        QDialog::closeEvent(e);
}
