#pragma once

#include <QLabel>
#include <functional>

class QAbstractItemView;
class QWidget;

// A one-line note in the middle of a list or tree that shows nothing, saying what to do first
// (which button adds the first entry). `note` gives the text for the present state, empty when
// nothing is to be said; the note is shown only while the view has no rows. It follows the view's
// rows by itself; refresh() is for states the rows do not show.
class EmptyNote : public QLabel {
    Q_OBJECT
public:
    EmptyNote(QAbstractItemView *view, std::function<QString()> note);
    void refresh();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void place();

    QAbstractItemView *m_view;
    std::function<QString()> m_note;
    bool m_queued = false;
};

// Ends the notes among the children of `host`. A view whose notes ask its own members calls this
// first in its destructor: while the view's children are destroyed after it, their last signals
// (a dataset's end resets its grid) would otherwise ask a view that is already gone.
void EndEmptyNotes(QWidget *host);
