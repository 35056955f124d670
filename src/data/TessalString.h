#pragma once

#include "data/TessalADO.h"

#include <QList>
#include <QString>
#include <QStringList>

// Text helpers shared by the screens: character replacement, trimming by count, firm names in
// guillemets, generated passwords, object keys ("W15") and formatted messages.

// Every character of `text` that occurs in `set` becomes `replacement`; the length stays.
QString ReplaceChars(const QString &text, const QString &set, QChar replacement);

// The text without its first / last n characters (empty when n reaches the length; a negative
// n removes nothing).
QString DropLeft(const QString &text, int n);
QString DropRight(const QString &text, int n);

// A firm's name in guillemets: one leading and one trailing apostrophe are dropped, every kind of
// double quote and guillemet becomes a blank (so inner blanks may double), the ends are trimmed of
// blanks and control characters, and the result is put in « ». ООО "Ромашка" → «ООО  Ромашка».
QString QuoteName(const QString &text);

// The non-empty parts, each trimmed, in order, joined by `sep`.
QString JoinedText(const QStringList &parts, const QString &sep);

// A random password of `count` distinct characters, none of them easy to confuse (0, 1, I, O, Q,
// W, i, j, l, o, q never appear). Kinds:
//   0: digits 2–9 and capitals A–Y (29 usable characters), used with 8 for mail passwords;
//   1: small letters (21 usable);
//   2: digits, capitals and small letters (50 usable);
//   3: digits 2–9 (8 usable), always four of them whatever `count` says; used for user PINs.
// A kind outside 0–3 or a count above the kind's usable characters throws AppError (the draw
// could never finish); a count of 0 or less gives an empty text.
QString GeneratePassword(int count, int kind);

// Object keys: a kind letter followed by a decimal id, for example W15 for workplace 15.
QString MakeKey(const QString &kind, int id);
QString KeyKind(const QString &key); // the first character; empty for an empty key
int KeyId(const QString &key);       // the tail as a decimal integer; AppError when it is not one

// ---- Case folding and ordering of names ---------------------------------------------------------
//
// One rule wherever names are matched or put in order (the server's finds and lists, the search
// texts the database keeps, the client-side sort): Latin A–Z and the Cyrillic capitals U+0400–U+042F
// become small letters, and "ё" is read as "е", as people type it. Every other character stays
// as it is, so that the database can apply exactly the same rule in SQL (FoldTextSql) on any
// engine and under any locale.
inline char16_t FoldUnit(char16_t u) {
    if (u < 0x80)
        return u >= u'A' && u <= u'Z' ? char16_t(u + 0x20) : u;
    if (u >= 0x410 && u <= 0x42F)
        return char16_t(u + 0x20);
    if (u == 0x401 || u == 0x451) // Ё, ё
        return 0x435;
    if (u >= 0x400 && u <= 0x40F)
        return char16_t(u + 0x50);
    return u;
}
QString FoldText(QStringView text);

// The order of names: by their folded text (so alphabetical for Russian and Latin, "ёж" beside
// "еж"), then by the exact text, so that the order is total. Negative, 0 or positive. Every sort
// of names uses it. `from`: the number of leading units the caller already knows to be equal
// after folding (a sort that keys names by their first units), skipped in the first comparison.
int CompareText(QStringView a, QStringView b, qsizetype from = 0);
// Whether `text` contains `what`, both folded.
bool ContainsText(QStringView text, QStringView what);

// Fills the placeholders of `format` with `values`, taken in order:
//   %s  text (any value as its text form),
//   %d  integer,
//   %m  money: an exact amount rounded to kopecks in the Russian currency format, "1 234,50 ₽"
//       (the group separator and the blank before the sign are no-break spaces),
//   %%  a percent sign.
// An unknown placeholder, a missing value or a value that does not fit its placeholder throws
// AppError; surplus values are ignored.
QString FormatText(const QString &format, const QList<TypedValue> &values);
