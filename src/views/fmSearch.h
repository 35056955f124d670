#pragma once

#include "data/DataSet.h"
#include "data/Settings.h"
#include "ui/HostedView.h"
#include "views/ViewLinks.h"

#include <QFontMetrics>
#include <QList>

class Action;
class ActionList;
class DataGrid;
class QComboBox;
class QLabel;
class QTimer;
class QToolBar;

// One piece of a hit's name as the search view draws it: the text (perhaps cut, ending in "…"),
// bold for the matched part, and its left offset in the cell.
struct TextPiece {
    QString text;
    bool bold = false;
    int x = 0;
    bool operator==(const TextPiece &o) const { return text == o.text && bold == o.bold && x == o.x; }
};

// The search view: one list of the departments, workplaces, devices and elements whose text holds
// the search text, the matched part in bold; jumps to the tree, the model and the document.
class TSearchFM : public HostedView {
    Q_OBJECT
public:
    explicit TSearchFM(QWidget *parent = nullptr);
    ~TSearchFM() override;

    // Its ways out into the dialogs and the other tabs; filled by the shell.
    ViewLinks links;

    // The history holds at most this many texts (the drop-down count).
    static constexpr int HistoryCount = 16;
    // Typing waits this long for the next key before it searches.
    static constexpr int TypingPauseMs = 400;
    // Typing searches by itself from this many characters on: shorter texts cannot use the search
    // index and are searched only when asked for (Enter or "Найти").
    static constexpr int TypingMinimum = 3;

    // The trimmed text of the combo box.
    QString searchText() const;
    void Find();
    void RememberSearch();
    QStringList history() const;

    // The pieces of a name cell `width` pixels wide, as drawn: before the match, the match in bold,
    // after the match, each cut with "…" to the room left and left out when it does not fit. The
    // match is found as the search finds it: without regard to case, and "е" and "ё" alike.
    static QList<TextPiece> namePieces(const QString &name, const QString &search,
                                       const QFontMetrics &regular, const QFontMetrics &bold, int width);

    QToolBar *tbDoc;
    QComboBox *cbFind;
    DataGrid *grSearch;
    DataSet *taSearch;
    QTimer *tmTyping;
    QLabel *laNothing; // "Ничего не найдено." over the list while a search found nothing
    ActionList *actions;
    Action *acFind, *acGoTree, *acGoDocument, *acGoModel;
    Action *acLabels; // "Этикетки…" for the devices among the hits

private:
    void textChanged();
    void showNothingFound();
    void printLabels();

    PropertyStore stSearch{QStringLiteral("Search.Form")};
};
