// "Этикетки…" of the placement view and of the search view: the dialog for the selected node or
// the devices found writes the labels' PDF, keeps its choices and the organisation's name for the
// next time, and a refused choice keeps the dialog open with what was typed.
#include "AppTest.h"
#include "model/Labels.h"
#include "placement/dgLabels.h"
#include "placement/fmLayout.h"
#include "shell/ViewWiring.h"
#include "ui/Actions.h"
#include "views/fmSearch.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileInfo>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QSpinBox>

namespace {

QString pdfText(const QString &path) {
    QProcess p;
    p.start(QStringLiteral("pdftotext"), {path, QStringLiteral("-")});
    p.waitForFinished(60000);
    return QString::fromUtf8(p.readAllStandardOutput()).simplified();
}

class LabelsDialogTest : public AppTest {
protected:
    LabelsDialogTest() : AppTest({.modal = false}) {}
    void SetUp() override {
        AppTest::SetUp();
        if (HasFatalFailure())
            return;
        savedModal = SetModalHandler({});
        previousAsk = TLabelsDG::askFileName;
        TLabelsDG::askFileName = [this](QWidget *, const QString &suggested) {
            asked << suggested;
            return answerPath;
        };
        const int dep = insert("Department", {{"DprtName", "Бухгалтерия"}});
        wp = insert("Workplace", {{"WrkpIdDepartment", dep}, {"WrkpName", "Кассир"}});
        const int kind = insert("Kind", {{"KindType", "H"}, {"KindName", "Диск"}});
        const int model = insert("Model", {{"ModlKind", kind}, {"ModlName", "WD Blue"}});
        pc = insert("DeviceUnit",
                    {{"DevcIdWorkplace", wp}, {"DevcName", "ПК кассира"}, {"DevcNumber", "000101"}});
        insert("DeviceUnit", {{"DevcIdWorkplace", wp}, {"DevcName", "Принтер"}, {"DevcNumber", "ИНВ-7"}});
        insert("CompleteSet", {{"CmplIdDevice", pc},
                               {"CmplIdModel", model},
                               {"ModelKind", kind},
                               {"NumberManufact", "WD-123"}});
        SetLabelOrganisation(QString());
    }
    void TearDown() override {
        view.reset();
        SetModalHandler(savedModal);
        TLabelsDG::askFileName = previousAsk;
        AppTest::TearDown();
    }
    // Opens "Этикетки…" for the node; `fill` sets the dialog's choices and presses a button.
    int runLabels(const QString &kind, int id, const std::function<void(TLabelsDG &)> &fill) {
        if (!view) {
            view = std::make_unique<TLayoutMainFM>();
            view->SelectedKind();
        }
        view->FindNode(kind, id);
        view->actions->updateAll();
        EXPECT_TRUE(view->acLabels->isEnabled());
        int result = -1;
        SetModalHandler([&](QDialog &d) {
            auto *dialog = qobject_cast<TLabelsDG *>(&d);
            EXPECT_NE(dialog, nullptr);
            if (dialog) {
                fill(*dialog);
                result = dialog->result();
            }
            return result;
        });
        view->acLabels->trigger();
        return result;
    }

    std::unique_ptr<TLayoutMainFM> view;
    std::function<QString(QWidget *, const QString &)> previousAsk;
    ModalHandler savedModal;
    QStringList asked;
    QString answerPath;
    int wp = 0, pc = 0;
};

TEST_F(LabelsDialogTest, WritesTheNodesLabelsAndKeepsTheChoices) {
    answerPath = dir.filePath(QStringLiteral("labels.pdf"));
    QString what;
    const int result = runLabels(QStringLiteral("W"), wp, [&](TLabelsDG &d) {
        what = d.laWhat->text();
        d.cbFormat->setCurrentIndex(d.cbFormat->findData(QStringLiteral("a4-4x10")));
        EXPECT_EQ(d.seStart->maximum(), 40);
        d.seStart->setValue(5);
        d.chElements->setChecked(true);
        clearBox(d.edOrganisation);
        typeInto(d.edOrganisation, QStringLiteral("ООО «Ромашка»"));
        d.btSave->click();
    });
    EXPECT_EQ(result, QDialog::Accepted);
    EXPECT_TRUE(boxes.isEmpty()) << (boxes.isEmpty() ? "" : boxes.front().text.toStdString());
    EXPECT_EQ(what, QStringLiteral("Рабочее место «Кассир»"));
    ASSERT_EQ(asked.size(), 1);
    EXPECT_TRUE(asked.front().endsWith(QStringLiteral("/Этикетки Рабочее место Кассир.pdf")))
        << asked.front().toStdString();
    ASSERT_TRUE(QFileInfo::exists(answerPath));
    const QString text = pdfText(answerPath);
    for (const char *shown : {"ООО «Ромашка»", "000101", "ИНВ-7", "WD-123", "ПК кассира"})
        EXPECT_TRUE(text.contains(QString::fromUtf8(shown))) << shown << " in " << text.toStdString();
    EXPECT_EQ(LabelOrganisation(), QStringLiteral("ООО «Ромашка»"));

    // The next time the dialog offers the same choices; the single place of a roll has no start.
    runLabels(QStringLiteral("V"), pc, [&](TLabelsDG &d) {
        EXPECT_EQ(d.cbFormat->currentData().toString(), QStringLiteral("a4-4x10"));
        EXPECT_TRUE(d.chElements->isChecked());
        EXPECT_EQ(d.edOrganisation->text(), QStringLiteral("ООО «Ромашка»"));
        d.cbFormat->setCurrentIndex(d.cbFormat->findData(QStringLiteral("roll-58x40")));
        EXPECT_FALSE(d.seStart->isEnabled());
        EXPECT_EQ(d.seStart->value(), 1);
        d.btCancel->click();
    });
}

TEST_F(LabelsDialogTest, ARefusedChoiceKeepsTheDialogAndWhatWasTyped) {
    answerPath = dir.filePath(QStringLiteral("labels.pdf"));
    QString kept;
    const int result = runLabels(QStringLiteral("W"), wp, [&](TLabelsDG &d) {
        d.cbCode->setCurrentIndex(d.cbCode->findData(QStringLiteral("code128")));
        typeInto(d.edOrganisation, QStringLiteral("ООО «Ромашка»"));
        d.btSave->click();
        kept = d.edOrganisation->text();
    });
    EXPECT_NE(result, QDialog::Accepted);
    EXPECT_EQ(kept, QStringLiteral("ООО «Ромашка»"));
    ASSERT_EQ(boxes.size(), 1);
    EXPECT_TRUE(boxes.front().text.contains(QStringLiteral("«ИНВ-7»"))) << boxes.front().text.toStdString();
    EXPECT_TRUE(asked.isEmpty()) << "no file is asked for labels that cannot be printed";
    EXPECT_FALSE(QFileInfo::exists(answerPath));
    EXPECT_EQ(LabelOrganisation(), QString()) << "nothing kept from a refused try";
}

// The search view's labels cover the devices among its hits, not the workplaces or elements.
TEST_F(LabelsDialogTest, SearchPrintsTheDevicesFound) {
    answerPath = dir.filePath(QStringLiteral("found.pdf"));
    TSearchFM search;
    ConnectDialogs(search.links);
    QString what;
    SetModalHandler([&](QDialog &d) {
        auto *dialog = qobject_cast<TLabelsDG *>(&d);
        EXPECT_NE(dialog, nullptr);
        if (!dialog)
            return int(QDialog::Rejected);
        what = dialog->laWhat->text();
        dialog->chElements->setChecked(false);
        dialog->btSave->click();
        return dialog->result();
    });
    search.cbFind->setEditText(QStringLiteral("касс"));
    search.Find();
    ASSERT_EQ(search.taSearch->recordCount(), 2); // the workplace and the computer
    search.actions->updateAll();
    ASSERT_TRUE(search.acLabels->isEnabled());
    search.acLabels->trigger();
    EXPECT_TRUE(boxes.isEmpty());
    EXPECT_EQ(what, QStringLiteral("Найденные устройства «касс»"));
    const QString text = pdfText(answerPath);
    EXPECT_TRUE(text.contains(QStringLiteral("000101"))) << text.toStdString();
    EXPECT_FALSE(text.contains(QStringLiteral("ИНВ-7"))) << "the printer was not found";

    // Hits without a device: said so, no dialog.
    what.clear();
    search.cbFind->setEditText(QStringLiteral("бухгалтерия"));
    search.Find();
    ASSERT_FALSE(search.taSearch->isEmpty());
    search.actions->updateAll();
    search.acLabels->trigger();
    EXPECT_TRUE(what.isEmpty());
    ASSERT_EQ(boxes.size(), 1);
    EXPECT_EQ(boxes.front().text, QStringLiteral("Среди найденного нет устройств"));
}

} // namespace
