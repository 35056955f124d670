#pragma once

#include <QString>
#include <QWidget>
#include <functional>

class Action;
class ActionList;
class Connection;
class DataGrid;
class DataSet;
class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QToolBar;
struct ReportTable;

// A stocktaking window of a department ("D") or workplace ("W"): what the database expects there,
// and one input line that takes scanned codes (a USB scanner types the code and Enter; typing works
// the same). Each scan marks its row found, adds it as kept elsewhere or as unknown, flashes the
// result line in the result's colour and beeps. The count is kept in the database as it goes: the
// window resumes the place's open count, or starts one with "Начать".
class TStocktakeFM : public QWidget {
    Q_OBJECT
public:
    TStocktakeFM(Connection &cn, const QString &placeKind, int placeId, const QString &caption,
                 QWidget *parent = nullptr);
    ~TStocktakeFM() override;

    // Opens the window of a place as a window of its own, deleted when closed; the window already
    // open for the place is raised instead.
    static TStocktakeFM *Open(Connection &cn, const QString &placeKind, int placeId, const QString &caption,
                              QWidget *parent = nullptr);

    // How a finished count's report is shown (the program's print preview); set by the program.
    // Without it the report command is disabled.
    static std::function<void(const ReportTable &)> &ReportViewer();
    // The sound of a result ("F", "P", "U", or "R" for a code scanned before); beeps unless a test
    // sets its own. Returns the previous one.
    using ResultSignal = std::function<void(const QString &result)>;
    static ResultSignal SetResultSignal(ResultSignal signal);

    int stocktake() const { return m_count; }
    // Scans one code as the input line does on Enter; false (the text kept) when it was refused.
    bool scan(const QString &code);
    void refresh();

    // Components, by their names.
    QToolBar *tbMain;
    QLabel *laPlace, *laResult;
    QCheckBox *cbElements;
    QPushButton *btStart;
    QLineEdit *edScan;
    DataGrid *grList;
    DataSet *taList;
    ActionList *actions;
    Action *acMoveHere, *acFinish, *acReport, *acRefresh;

private:
    void start();
    void resume(int count);
    void showHead();
    void showResult(const QString &result, const QString &text);
    void moveHere();
    void finish();
    void report();
    bool finished() const;
    QString currentValue(const QString &field) const;

    Connection &m_cn;
    QString m_placeKind, m_caption;
    int m_placeId;
    int m_count = 0;
    bool m_finished = false; // as read when the head was last shown
};
