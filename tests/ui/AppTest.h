#pragma once
// Common fixture of the tests that run windows and dialogs over a real database: the server
// procedures, recorded message boxes, the modal seam, and the data modules on a SQLite file of
// its own; the single-instance dialogs of a test are owned by a dialog registry of its own and go
// before the data modules. Fixtures derive
// from it and add their own data.
#include "TestDatabase.h"
#include "data/TessalDialog.h"
#include "data/dmTessalData.h"
#include "dialogs/dgCommon.h"
#include "model/dmChainData.h"
#include "model/dmLookUpData.h"
#include "server/Schema.h"
#include "server/Server.h"
#include "ui/Seams.h"

#include <QLineEdit>
#include <QList>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include <memory>

// Which parts of the common set-up a fixture takes.
struct AppTestOptions {
    bool chain = true;  // a TdmChain on the connection
    bool lookup = true; // a TdmLookUp on the connection
    bool modal = true;  // modalHandler() runs the modal dialogs; false leaves the modal seam alone
};

class AppTest : public ::testing::Test {
protected:
    explicit AppTest(AppTestOptions options = {}) : m_options(options) {}

    // Derived fixtures reset their dialogs before this and add their own set-up after it,
    // returning early when it has failed (HasFatalFailure()).
    void SetUp() override {
        dialogs = std::make_unique<DialogRegistry>();
        InstallServer();
        previousBoxes = SetMessageHandler([this](const MessageRequest &r) {
            boxes << r;
            return answer;
        });
        m_boxesSet = true;
        if (m_options.modal) {
            previousModal = SetModalHandler(modalHandler());
            m_modalSet = true;
        }
        // The schema alone: each test fills the catalogue it needs (a new database of the program
        // would also get the basic catalogue).
        previousPrepare = TdmTessal::prepareDatabase;
        TdmTessal::prepareDatabase = [](Connection &cn) { Schema::prepare(cn); };
        m_prepareSet = true;
        dm = std::make_unique<TdmTessal>(url());
        ASSERT_TRUE(dm->cnGeneral.isOpen());
        if (m_options.chain)
            chain = std::make_unique<TdmChain>(dm->cnGeneral);
        if (m_options.lookup)
            lookup = std::make_unique<TdmLookUp>(dm->cnGeneral);
    }
    // Derived fixtures close their views and dialogs before this: the modules go first, then the
    // database module, and the previous handlers come back last.
    void TearDown() override {
        dialogs.reset(); // dialogs made over this database go with it
        lookup.reset();
        chain.reset();
        dm.reset();
        if (m_modalSet)
            SetModalHandler(previousModal);
        if (m_boxesSet)
            SetMessageHandler(previousBoxes);
        m_modalSet = m_boxesSet = false;
        if (m_prepareSet)
            TdmTessal::prepareDatabase = previousPrepare;
        m_prepareSet = false;
    }

    // What runs the modal dialogs during a test; by default none (they run for real unless a
    // test sets its own handler).
    virtual ModalHandler modalHandler() { return {}; }

    QString url() const { return QStringLiteral("sqlite:") + dir.filePath(QStringLiteral("v.db")); }
    Connection &cn() { return dm->cnGeneral; }
    QVariant scalar(const QString &sql, const QVariantMap &params = {}) { return cn().scalar(sql, params); }
    // Inserts one row and returns its key.
    int insert(const QString &table, const QVariantMap &values) {
        return insertRow(cn(), table, values).toInt();
    }

    // The texts of the recorded boxes of one kind, in order.
    QStringList texts(MessageKind kind) const {
        QStringList out;
        for (const MessageRequest &r : boxes)
            if (r.kind == kind)
                out << r.text;
        return out;
    }
    // Types the text into the widget a character at a time, as the keyboard does.
    static void typeInto(QWidget *w, const QString &text) {
        for (const QChar ch : text)
            QTest::sendKeyEvent(QTest::Click, w, Qt::Key_unknown, QString(ch), Qt::NoModifier);
    }
    // Empties a line edit as the user does: select all, then Delete.
    static void clearBox(QLineEdit *e) {
        e->selectAll();
        QTest::keyClick(e, Qt::Key_Delete);
    }

    QTemporaryDir dir;
    MessageHandler previousBoxes;
    ModalHandler previousModal;
    std::function<void(Connection &)> previousPrepare;
    QList<MessageRequest> boxes;
    bool answer = true;                      // how the confirmation boxes are answered
    std::unique_ptr<DialogRegistry> dialogs; // the dialogs of one test, as the program owns them
    std::unique_ptr<TdmTessal> dm;
    std::unique_ptr<TdmChain> chain;
    std::unique_ptr<TdmLookUp> lookup;

private:
    AppTestOptions m_options;
    bool m_boxesSet = false, m_modalSet = false, m_prepareSet = false;
};
