#include "views/fmSearch.h"

#include "data/TessalADO.h"
#include "data/TessalDialog.h"
#include "data/dmTessalData.h"
#include "ui/Actions.h"
#include "ui/BusyCursor.h"
#include "ui/DataGrid.h"
#include "ui/ImageList.h"
#include "views/ViewLinks.h"

#include <QApplication>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QStyledItemDelegate>
#include <QTimer>
#include <QToolBar>
#include <QVBoxLayout>

namespace {

Connection *shared() {
    return dmTessal ? &dmTessal->cnGeneral : nullptr;
}

const QString HistoryItems = QStringLiteral("cbFind.<P>.Items");
const QString Ellipsis = QStringLiteral("…");

// Trimmed of blanks and control characters at both ends.
QString trimmedText(const QString &s) {
    qsizetype from = 0, to = s.size();
    while (from < to && (s[from].isSpace() || s[from].category() == QChar::Other_Control))
        ++from;
    while (to > from && (s[to - 1].isSpace() || s[to - 1].category() == QChar::Other_Control))
        --to;
    return s.mid(from, to - from);
}

// Places one piece at the running offset and advances it; a piece that does not fit is cut to end
// in "…", and one for which not even "…" fits is left out.
void placePiece(QList<TextPiece> &out, QString piece, bool bold, const QFontMetrics &fm, int width, int &x) {
    if (piece.trimmed().isEmpty())
        return;
    const int room = width - x;
    if (fm.horizontalAdvance(Ellipsis) + 1 >= room)
        return;
    while (fm.horizontalAdvance(piece) + 1 > room)
        piece = piece.left(qMax<qsizetype>(0, piece.size() - 2)) + Ellipsis;
    out << TextPiece{piece, bold, x};
    x += fm.horizontalAdvance(piece) + 1;
}

// Kind pictures, in the order of the letters.
const QString KindLetters = QStringLiteral("DWVHMS");
const int KindImages[] = {Img::Department, Img::Workplace, Img::Device,
                          Img::Hardware,   Img::Material,  Img::Software};

class SearchDelegate : public QStyledItemDelegate {
public:
    SearchDelegate(TSearchFM *view) : QStyledItemDelegate(view), m_view(view) {}

    void paint(QPainter *p, const QStyleOptionViewItem &option, const QModelIndex &index) const override {
        QStyleOptionViewItem opt = option;
        initStyleOption(&opt, index);
        const QString text = opt.text;
        opt.text.clear();
        // The background (selection included) as the grid draws it, without the text: the base
        // paint would read the text from the index again and draw it under the pieces below.
        const QWidget *widget = opt.widget;
        (widget ? widget->style() : QApplication::style())
            ->drawControl(QStyle::CE_ItemViewItem, &opt, p, widget);
        p->save();
        p->setPen(opt.palette.color(opt.state & QStyle::State_Selected ? QPalette::HighlightedText
                                                                       : QPalette::Text));
        if (index.column() == 0) {
            const qsizetype k = KindLetters.indexOf(text.trimmed());
            if (k >= 0 && !text.trimmed().isEmpty())
                imageIcon(KindImages[k]).paint(p, opt.rect.adjusted(2, 1, -2, -1));
        } else {
            QFont regular = opt.font, bold = opt.font;
            regular.setBold(false);
            bold.setBold(true);
            const QFontMetrics rm(regular), bm(bold);
            for (const TextPiece &piece :
                 TSearchFM::namePieces(text, m_view->searchText(), rm, bm, opt.rect.width())) {
                p->setFont(piece.bold ? bold : regular);
                p->drawText(
                    QPoint(opt.rect.left() + piece.x, opt.rect.top() + 1 + (piece.bold ? bm : rm).ascent()),
                    piece.text);
            }
        }
        p->restore();
    }

private:
    TSearchFM *m_view;
};

} // namespace

TSearchFM::TSearchFM(QWidget *parent) : HostedView(QStringLiteral("Поиск"), parent) {
    setObjectName(QStringLiteral("TSearchFM"));

    taSearch = new DataSet(shared(), this);
    taSearch->setObjectName(QStringLiteral("taSearch"));
    taSearch->setCommand(QStringLiteral("GridSearch;1"), CommandType::StoredProc);
    taSearch->setReadOnly(true);
    taSearch->addField({QStringLiteral("Kind"), FieldType::String, 1, true, {}, {}});
    taSearch->addField({QStringLiteral("ID"), FieldType::Integer, 0, true, {}, {}});
    taSearch->addField({QStringLiteral("Name"), FieldType::String, 500, true, {}, {}});
    taSearch->addField({QStringLiteral("Model"), FieldType::Integer, 0, true, {}, {}});
    taSearch->addField({QStringLiteral("Document"), FieldType::Integer, 0, true, {}, {}});

    actions = new ActionList(this);
    auto act = [&](const char *name, const QString &text, const QString &hint, int image) {
        return actions->add(new Action(this, QString::fromLatin1(name), text, hint, image));
    };
    auto hasHits = [this] { return HasRecords(*taSearch); };
    auto hitHas = [this, hasHits](const QString &field) {
        return [this, hasHits, field] { return hasHits() && !taSearch->fieldByName(field)->isNull(); };
    };
    acFind = act("acFind", QStringLiteral("Найти"), QStringLiteral("Поиск."), Img::Find);
    acFind->setEnabledWhen([this] { return searchText().size() >= 2; });
    acFind->onTrigger([this] { Find(); });
    acGoTree = act("acGoTree", QStringLiteral("Размещение"),
                   QStringLiteral("Переход в \"Размещение техники\""), Img::Layout);
    acGoTree->setEnabledWhen(hasHits);
    acGoTree->onTrigger([this] {
        RememberSearch();
        links.GoPlacementAny(taSearch->fieldByName(QStringLiteral("Kind"))->asString().trimmed(),
                             currentKey(*taSearch, QStringLiteral("ID")));
    });
    acGoDocument = act("acGoDocument", QStringLiteral("Документ"), QStringLiteral("Переход в \"Документ\""),
                       Img::Document);
    acGoDocument->setEnabledWhen(hitHas(QStringLiteral("Document")));
    acGoDocument->onTrigger([this] {
        RememberSearch();
        links.GoDocumentComponent(currentKey(*taSearch, QStringLiteral("ID")));
    });
    acGoModel =
        act("acGoModel", QStringLiteral("Модель"), QStringLiteral("Переход в \"Модель\""), Img::Model);
    acGoModel->setEnabledWhen(hitHas(QStringLiteral("Model")));
    acGoModel->onTrigger([this] {
        RememberSearch();
        links.GoModelComponent(currentKey(*taSearch, QStringLiteral("ID")));
    });

    acLabels = act("acLabels", QStringLiteral("Этикетки…"),
                   QStringLiteral("Этикетки с кодами для найденных устройств."), Img::Print);
    acLabels->setEnabledWhen([this, hasHits] { return links.labels && hasHits(); });
    acLabels->onTrigger([this] { printLabels(); });

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    tbDoc = viewToolBar(this, "tbDoc", true);
    addToolButton(tbDoc, acFind);
    tbDoc->addSeparator();
    for (Action *a : {acGoTree, acGoDocument, acGoModel})
        addToolButton(tbDoc, a);
    tbDoc->addSeparator();
    addToolButton(tbDoc, acLabels);
    layout->addWidget(tbDoc);

    cbFind = new QComboBox(this);
    cbFind->setObjectName(QStringLiteral("cbFind"));
    cbFind->setEditable(true);
    cbFind->setCompleter(nullptr);
    cbFind->setInsertPolicy(QComboBox::NoInsert);
    cbFind->setMaxVisibleItems(HistoryCount);
    cbFind->lineEdit()->setMaxLength(250); // the procedure's parameter holds no more
    cbFind->addItems(stSearch.read(HistoryItems).toStringList().mid(0, HistoryCount));
    cbFind->setCurrentIndex(-1);
    cbFind->setEditText(QString());
    layout->addWidget(cbFind);

    grSearch = new DataGrid(this);
    grSearch->setObjectName(QStringLiteral("grSearch"));
    grSearch->setDataSet(taSearch);
    grSearch->setColumns({makeColumn(QStringLiteral("Kind"), QString(), 20),
                          makeColumn(QStringLiteral("Name"), QString(), 400, true)});
    grSearch->horizontalHeader()->hide();
    grSearch->setItemDelegate(new SearchDelegate(this));
    connect(grSearch, &DataGrid::rowDoubleClicked, this, [this] {
        acGoTree->updateEnabled();
        if (acGoTree->isEnabled())
            acGoTree->trigger();
    });
    layout->addWidget(grSearch, 1);

    laNothing = new QLabel(QStringLiteral("Ничего не найдено."), grSearch->viewport());
    laNothing->setObjectName(QStringLiteral("laNothing"));
    laNothing->move(6, 4);
    laNothing->adjustSize();
    laNothing->hide();
    connect(taSearch, &DataSet::stateChanged, this, [this] { showNothingFound(); });
    connect(taSearch, &DataSet::dataChanged, this, [this] { showNothingFound(); });

    // Typing closes the hits and searches again after a pause; Enter searches at once.
    tmTyping = new QTimer(this);
    tmTyping->setObjectName(QStringLiteral("tmTyping"));
    tmTyping->setSingleShot(true);
    tmTyping->setInterval(TypingPauseMs);
    connect(tmTyping, &QTimer::timeout, this, [this] {
        if (searchText().size() >= TypingMinimum && acFind->updateEnabled())
            acFind->trigger();
    });
    connect(cbFind, &QComboBox::editTextChanged, this, [this] { textChanged(); });
    connect(cbFind->lineEdit(), &QLineEdit::returnPressed, this, [this] {
        tmTyping->stop();
        if (acFind->updateEnabled())
            acFind->trigger();
    });
}

TSearchFM::~TSearchFM() {
    Guarded([&] { stSearch.write(HistoryItems, history()); });
}

QString TSearchFM::searchText() const {
    return trimmedText(cbFind->currentText());
}

QStringList TSearchFM::history() const {
    QStringList items;
    for (int i = 0; i < cbFind->count(); ++i)
        items << cbFind->itemText(i);
    return items;
}

void TSearchFM::showNothingFound() {
    laNothing->setVisible(taSearch->isActive() && taSearch->isEmpty());
}

void TSearchFM::textChanged() {
    taSearch->close();
    tmTyping->start();
}

void TSearchFM::Find() {
    tmTyping->stop();
    BusyCursor busy;
    OpenWithParams(*taSearch, {TypedValue::Text(searchText())});
}

void TSearchFM::RememberSearch() {
    const QString text = searchText();
    if (text.isEmpty())
        return;
    // Changing the items must not touch the text (nor close the hits).
    const QSignalBlocker block(cbFind);
    const QString shown = cbFind->currentText();
    bool known = false;
    for (const QString &item : history())
        known = known || item.compare(text, Qt::CaseInsensitive) == 0;
    if (!known)
        cbFind->addItem(text);
    while (cbFind->count() > HistoryCount)
        cbFind->removeItem(0);
    cbFind->setEditText(shown);
}

QList<TextPiece> TSearchFM::namePieces(const QString &name, const QString &search,
                                       const QFontMetrics &regular, const QFontMetrics &bold, int width) {
    QList<TextPiece> out;
    int x = 4;
    // "ё" and "е" are one letter to the search; each folds to one character, so the places match.
    auto folded = [](QString text) {
        text.replace(QChar(u'ё'), QChar(u'е')).replace(QChar(u'Ё'), QChar(u'Е'));
        return text;
    };
    const qsizetype at = search.isEmpty() ? -1 : folded(name).indexOf(folded(search), 0, Qt::CaseInsensitive);
    if (at < 0) {
        // A name without the text: drawn whole in regular.
        placePiece(out, name, false, regular, width, x);
        return out;
    }
    placePiece(out, name.left(at), false, regular, width, x);
    x += 1;
    placePiece(out, name.mid(at, search.size()), true, bold, width, x);
    x += 1;
    placePiece(out, name.mid(at + search.size()), false, regular, width, x);
    return out;
}

void TSearchFM::printLabels() {
    // The devices among the hits, in the list's order; a search without one says so.
    const int kind = taSearch->fieldByName(QStringLiteral("Kind"))->index();
    const int id = taSearch->fieldByName(QStringLiteral("ID"))->index();
    QVector<int> devices;
    for (int row = 0; row < taSearch->recordCount(); ++row)
        if (taSearch->valueAt(row, kind).toString().trimmed() == u"V")
            devices << taSearch->valueAt(row, id).toInt();
    if (devices.isEmpty()) {
        ShowError(QStringLiteral("Среди найденного нет устройств"));
        return;
    }
    RememberSearch();
    links.RunLabels(QStringLiteral("Найденные устройства «%1»").arg(searchText()), devices);
}
