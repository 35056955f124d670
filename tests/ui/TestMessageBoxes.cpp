// The program's own message boxes, as the installed handler shows them to the user.
#include "data/TessalDialog.h"
#include "ui/Seams.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFile>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <gtest/gtest.h>

#include <functional>

namespace {

// What a box looked like when it was answered.
struct Seen {
    bool shown = false;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QString title, text;
    QMessageBox::StandardButtons buttons;
    QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;
};

class MessageBoxTest : public ::testing::Test {
protected:
    void SetUp() override {
        previous = SetMessageHandler({});
        InstallMessageBoxes();
    }
    void TearDown() override { SetMessageHandler(previous); }

    // Shows a box through `show`, answers it with `press` from inside its event loop, and returns
    // what `show` returned.
    bool answer(const std::function<bool()> &show, QMessageBox::StandardButton press) {
        seen = Seen();
        QTimer::singleShot(0, [this, press] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            if (!box)
                return;
            seen.shown = true;
            seen.icon = box->icon();
            seen.title = box->windowTitle();
            seen.text = box->text();
            seen.buttons = box->standardButtons();
            seen.defaultButton = box->standardButton(box->defaultButton());
            box->button(press)->click();
        });
        return show();
    }

    MessageHandler previous;
    Seen seen;
};

TEST_F(MessageBoxTest, EachKindHasItsIconTitleButtonsAndOkAsDefault) {
    using MB = QMessageBox;
    struct Case {
        const char *what;
        std::function<bool()> show;
        MB::StandardButton press;
        bool result;
        MB::Icon icon;
        QString title, text;
        MB::StandardButtons buttons;
    };
    const Case cases[] = {
        {"a confirmation answered with Cancel",
         [] { return ConfirmWarning(QStringLiteral("Вы хотите удалить устройство\r\"Принтер\"?")); },
         MB::Cancel, false, MB::Warning, QStringLiteral("Предупреждение"),
         QStringLiteral("Вы хотите удалить устройство\n\"Принтер\"?"), MB::Ok | MB::Cancel},
        {"a confirmation answered with OK", [] { return ConfirmDelete(QStringLiteral("Принтер")); }, MB::Ok,
         true, MB::Warning, QStringLiteral("Предупреждение"), QStringLiteral("Удалить «Принтер»?"),
         MB::Ok | MB::Cancel},
        {"an error, a line break written as CR LF",
         [] { return ShowError(QStringLiteral("Первая\r\nвторая")); }, MB::Ok, true, MB::Critical,
         QStringLiteral("Ошибка"), QStringLiteral("Первая\nвторая"), MB::Ok},
        {"the exception box",
         [] {
             ShowException(QStringLiteral("Сбой"));
             return true;
         },
         MB::Ok, true, MB::Critical, QStringLiteral("Velmora"), QStringLiteral("Сбой."), MB::Ok},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(answer(c.show, c.press), c.result);
        ASSERT_TRUE(seen.shown);
        EXPECT_EQ(seen.icon, c.icon);
        EXPECT_EQ(seen.title, c.title);
        EXPECT_EQ(seen.text, c.text);
        EXPECT_EQ(seen.buttons, c.buttons);
        EXPECT_EQ(seen.defaultButton, MB::Ok);
    }
}

TEST_F(MessageBoxTest, TheProgramShowsItsBoxesWhateverTheEnvironmentSays) {
    // A variable that once made the program log and answer its boxes by itself does nothing now.
    QTemporaryDir dir;
    const QString log = dir.filePath(QStringLiteral("messages.txt"));
    qputenv("VELMORA_MESSAGE_LOG", QFile::encodeName(log));
    SetMessageHandler({});
    InstallMessageBoxes();
    EXPECT_FALSE(answer([] { return ConfirmWarning(QStringLiteral("Продолжить?")); }, QMessageBox::Cancel));
    qunsetenv("VELMORA_MESSAGE_LOG");
    EXPECT_TRUE(seen.shown);
    EXPECT_FALSE(QFile::exists(log));
}

TEST(MessageBoxText, ACarriageReturnStartsANewLine) {
    struct Case {
        QString in, out;
    };
    const Case cases[] = {
        {"а\rб", "а\nб"}, {"а\r\nб", "а\nб"}, {"а\nб", "а\nб"}, {"а\r\r\nб", "а\n\nб"}, {"аб", "аб"}};
    for (const Case &c : cases)
        EXPECT_EQ(MessageBoxText(c.in), c.out) << c.in.toStdString();
}

} // namespace
