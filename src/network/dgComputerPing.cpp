#include "network/dgComputerPing.h"

#include "data/TessalDialog.h"
#include "data/dmTessalData.h"
#include "netscan/PingSweep.h"
#include "ui/Seams.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTextBlock>
#include <QTextCursor>
#include <QVBoxLayout>

TComputerPingDG::TComputerPingDG() {
    setObjectName(QStringLiteral("TComputerPingDG"));
    setWindowTitle(QStringLiteral("Проверка наличия компьютеров в сети"));
    auto *layout = new QVBoxLayout(this);
    mmLog = new QPlainTextEdit(this);
    mmLog->setObjectName(QStringLiteral("mmLog"));
    mmLog->setReadOnly(true);
    mmLog->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    mmLog->setLineWrapMode(QPlainTextEdit::NoWrap);
    layout->addWidget(mmLog, 1);
    pbPing = new QProgressBar(this);
    pbPing->setObjectName(QStringLiteral("pbPing"));
    // Empty while no sweep runs: a range of 0 to 0 would animate as "busy".
    pbPing->setRange(0, 1);
    pbPing->reset();
    layout->addWidget(pbPing);
    auto *buttons = new QHBoxLayout;
    cbLog = new QCheckBox(QStringLiteral("Записать результат в журнал"), this);
    cbLog->setObjectName(QStringLiteral("cbLog"));
    buttons->addWidget(cbLog);
    buttons->addStretch(1);
    btRun = DialogButton(this, "btRun", QStringLiteral("Начать"));
    btExit = DialogButton(this, "btExit", QStringLiteral("Выход"));
    buttons->addWidget(btRun);
    buttons->addWidget(btExit);
    layout->addLayout(buttons);
    resize(420, 360);

    connect(btRun, &QPushButton::clicked, this, [this] { Guarded([this] { btRunClick(); }); });
    connect(btExit, &QPushButton::clicked, this, &QDialog::reject);

    Guarded([this] {
        cbLog->setChecked(m_store.read(QStringLiteral("cbLog.<P>.Checked"), false).toBool());
        const QVariant left = m_store.read(QStringLiteral("<P>.Left")),
                       top = m_store.read(QStringLiteral("<P>.Top"));
        if (left.isValid() && top.isValid())
            move(left.toInt(), top.toInt());
    });
}

void TComputerPingDG::hideEvent(QHideEvent *e) {
    // Kept for the next run of the program whenever the dialog goes away.
    Guarded([this] {
        m_store.write(QStringLiteral("<P>.Left"), x());
        m_store.write(QStringLiteral("<P>.Top"), y());
        m_store.write(QStringLiteral("cbLog.<P>.Checked"), cbLog->isChecked());
    });
    QDialog::hideEvent(e);
}

void TComputerPingDG::Run() {
    RunModal(*Instance());
}

void TComputerPingDG::setLine(int index, const QString &text) {
    QTextDocument *doc = mmLog->document();
    if (index >= doc->blockCount() || (index == 0 && doc->isEmpty())) {
        if (doc->isEmpty() && index == 0)
            mmLog->setPlainText(text);
        else
            mmLog->appendPlainText(text);
        return;
    }
    QTextCursor c(doc->findBlockByNumber(index));
    c.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
    c.insertText(text);
}

void TComputerPingDG::btRunClick() {
    if (m_running)
        return;
    m_running = true;
    btRun->setEnabled(false);
    btExit->setEnabled(false);
    pbPing->setRange(0, 1);
    pbPing->reset();
    mmLog->clear();

    PingSweep sweep;
    sweep.lineChanged = [&](int i) { setLine(i, sweep.lines()[i]); };
    // Hosts answered or given up on, of all; a list without devices shows no bar at all.
    sweep.progress = [&](int done, int total) {
        if (total == 0) {
            pbPing->setRange(0, 1);
            pbPing->reset();
            return;
        }
        pbPing->setRange(0, total);
        pbPing->setValue(done);
    };
    sweep.idle = [] { QCoreApplication::processEvents(); };
    try {
        sweep.run(dmTessal->cnGeneral);
        if (cbLog->isChecked()) {
            sweep.writeLog(QDateTime::currentDateTime(), logFolder);
            mmLog->appendPlainText(sweep.lines().back());
        }
    } catch (...) {
        // A broken sweep leaves the buttons usable: the user may try again or close the window.
        m_running = false;
        btRun->setEnabled(true);
        btExit->setEnabled(true);
        throw;
    }
    m_running = false;
    btRun->setEnabled(true);
    btExit->setEnabled(true);
}

void TComputerPingDG::reject() {
    if (!m_running)
        QDialog::reject();
}

void TComputerPingDG::closeEvent(QCloseEvent *e) {
    if (m_running)
        e->ignore();
    else
        QDialog::closeEvent(e);
}
