#include "network/dgUserInstall.h"

#include "data/DataSet.h"
#include "data/TessalADO.h"
#include "data/TessalDialog.h"
#include "data/dmTessalData.h"
#include "network/dgNetSetup.h"
#include "ui/Actions.h"
#include "ui/DataGrid.h"
#include "ui/ImageList.h"
#include "ui/Seams.h"

#include <QApplication>
#include <QBoxLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>

namespace {

const QString DoneMark = QStringLiteral("DoneMark");

} // namespace

TUserInstallDG::TUserInstallDG() {
    setObjectName(QStringLiteral("TUserInstallDG"));
    setWindowTitle(QStringLiteral("Настройка компьютера"));
    taUser = DialogDataSet(this, QStringLiteral("taUser"));
    taUser->setCommand(QStringLiteral("GridUserInstall;1"), CommandType::StoredProc);
    taUser->setReadOnly(true);
    taUser->addField({DoneMark, FieldType::String, 1, true, {}, [](const DataSet &ds) -> QVariant {
                          const Field *title = ds.findField(QStringLiteral("Title"));
                          const Field *done = ds.findField(QStringLiteral("Done"));
                          if (!done || (title && title->asBool()))
                              return {};
                          return done->asBool() ? QStringLiteral("✓") : QString();
                      }});
    setListDataSet(taUser);

    setColumns({makeColumn(QStringLiteral("Name"), QString(), 234, true),
                makeColumn(DoneMark, QString(), 24, false, Qt::AlignCenter)},
               420);
    grList->horizontalHeader()->hide();
    grList->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    grList->setCellStyle(
        [](const DataSet &ds, int row, const GridColumn &, QFont &, QColor &, QColor &background) {
            const Field *title = ds.findField(QStringLiteral("Title"));
            if (title && ds.valueAt(row, title->index()).toBool())
                background = QApplication::palette().color(QPalette::Mid);
        });
    grList->viewport()->installEventFilter(this);
    grList->installEventFilter(this);

    for (QPushButton *b : {btBack, btInsert, btEdit, btDelete, btFind})
        b->hide();
    lbHint = new QLabel(NoChecklistHint, this);
    lbHint->setObjectName(QStringLiteral("lbHint"));
    lbHint->setWordWrap(true);
    lbHint->hide();
    if (auto *box = qobject_cast<QBoxLayout *>(layout()))
        box->insertWidget(0, lbHint);
    btPrint = DialogButton(this, "btPrint", imageIcon(Img::Print), QStringLiteral("Печать"));
    buttonLayout()->insertWidget(0, btPrint);
    onClick(btPrint, [this] {
        if (viewReport && HasRecords(*taUser))
            viewReport(printReport());
    });
}

TUserInstallDG::~TUserInstallDG() {
    // The grid and the checklist go while the whole dialog still exists: their last signals and
    // events reach a complete object.
    grList->viewport()->removeEventFilter(this);
    grList->removeEventFilter(this);
    delete taUser;
}

int TUserInstallDG::Run(int ID) {
    TUserInstallDG *dlg = Instance();
    dlg->openChecklist(ID);
    dlg->btPrint->setEnabled(bool(viewReport));
    return RunModal(*dlg);
}

void TUserInstallDG::openChecklist(int ID) {
    OpenWithParams(*taUser, {TypedValue::Int(ID)});
    if (taUser->isEmpty()) {
        DataSet create(taUser->connection());
        create.setCommand(QStringLiteral("UserInstallInsert;1"), CommandType::StoredProc);
        create.setParameterValue(QStringLiteral("@US"), ID);
        create.execProc();
        OpenWithParams(*taUser, {TypedValue::Int(ID)});
    }
    lbHint->setVisible(taUser->isEmpty());
}

void TUserInstallDG::toggleDone() {
    if (!HasRecords(*taUser) || taUser->value(QStringLiteral("Title")).toBool())
        return;
    // The mark alone is written: another workstation ticking another line loses nothing.
    taUser->connection()->execute(QStringLiteral("UPDATE UserInstall SET Done = :D WHERE ID = :ID"),
                                  {{QStringLiteral("D"), !taUser->value(QStringLiteral("Done")).toBool()},
                                   {QStringLiteral("ID"), taUser->value(QStringLiteral("ID"))}});
    taUser->refresh();
}

QString TUserInstallDG::printReport() const {
    return QStringLiteral("user.install&rs:Command=Render&User=") +
           QString::number(taUser->value(QStringLiteral("User")).toInt());
}

bool TUserInstallDG::eventFilter(QObject *watched, QEvent *event) {
    if (watched == grList->viewport() && event->type() == QEvent::MouseButtonRelease) {
        const auto *m = static_cast<QMouseEvent *>(event);
        const QModelIndex index = grList->indexAt(m->position().toPoint());
        if (index.isValid() && index.column() == 1)
            Guarded([this] { toggleDone(); });
    } else if (watched == grList && event->type() == QEvent::KeyPress &&
               static_cast<QKeyEvent *>(event)->key() == Qt::Key_Space) {
        Guarded([this] { toggleDone(); });
        return true;
    }
    return TBASEListDG::eventFilter(watched, event);
}
