// The import dialog: the first rows as they will be read, a heading the person maps (and the
// program remembers), the check that writes nothing, and the import.

#include "AppTest.h"
#include "placement/dgImport.h"

#include <QComboBox>
#include <QFile>
#include <QPlainTextEdit>
#include <QTableWidget>

namespace {

class ImportDialogTest : public AppTest {
protected:
    QString writeFile(const QString &text) {
        const QString path = dir.filePath(QStringLiteral("office.csv"));
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(text.toUtf8());
        return path;
    }
    int devices() { return dm->cnGeneral.scalar(QStringLiteral("SELECT count(*) FROM DeviceUnit")).toInt(); }
    QTemporaryDir dir;
};

TEST_F(ImportDialogTest, PreviewMapCheckAndImport) {
    TImportDG::rememberHeading(QStringLiteral("Кабинет"), QString());
    const QString path = writeFile(QStringLiteral("Подразделение;Кабинет;Устройство;Инвентарный номер\n"
                                                  "Бухгалтерия;101;ПК;И-1\n"
                                                  "Бухгалтерия;102;\"Принтер\nHP\";И-2\n"));
    {
        TImportDG dialog(dm->cnGeneral, path);
        auto *preview = dialog.findChild<QTableWidget *>(QStringLiteral("grPreview"));
        auto *headings = dialog.findChild<QTableWidget *>(QStringLiteral("grHeadings"));
        auto *result = dialog.findChild<QPlainTextEdit *>(QStringLiteral("meResult"));
        ASSERT_TRUE(preview && headings && result);
        EXPECT_EQ(preview->rowCount(), 2);
        EXPECT_EQ(preview->columnCount(), 4);
        EXPECT_EQ(preview->item(1, 2)->text(), QStringLiteral("Принтер\nHP"));
        EXPECT_EQ(preview->verticalHeaderItem(0)->text(), QStringLiteral("2"));
        ASSERT_EQ(headings->rowCount(), 1);
        EXPECT_EQ(headings->item(0, 0)->text(), QStringLiteral("Кабинет"));

        EXPECT_FALSE(dialog.check());
        EXPECT_TRUE(result->toPlainText().contains(
            QStringLiteral("Строка 1, столбец B «Кабинет»: такого столбца нет")))
            << result->toPlainText().toStdString();
        auto *combo = qobject_cast<QComboBox *>(headings->cellWidget(0, 1));
        ASSERT_TRUE(combo);
        combo->setCurrentIndex(combo->findData(QStringLiteral("Рабочее место")));
        EXPECT_TRUE(dialog.check()) << result->toPlainText().toStdString();
        EXPECT_TRUE(result->toPlainText().contains(QStringLiteral("Устройства: создано 2")));
        EXPECT_EQ(devices(), 0) << "the check writes nothing";
        EXPECT_TRUE(dialog.runImport());
        EXPECT_EQ(devices(), 2);
    }
    // The mapping is remembered for the next file with that heading.
    EXPECT_EQ(TImportDG::rememberedHeadings().value(QStringLiteral("кабинет")),
              QStringLiteral("Рабочее место"));
    TImportDG again(dm->cnGeneral, path);
    auto *combo = qobject_cast<QComboBox *>(
        again.findChild<QTableWidget *>(QStringLiteral("grHeadings"))->cellWidget(0, 1));
    ASSERT_TRUE(combo);
    EXPECT_EQ(combo->currentData().toString(), QStringLiteral("Рабочее место"));
    EXPECT_TRUE(again.check());
    EXPECT_TRUE(again.findChild<QPlainTextEdit *>(QStringLiteral("meResult"))
                    ->toPlainText()
                    .contains(QStringLiteral("Устройства: создано 0, найдено 2, изменено 0")));
}

} // namespace
