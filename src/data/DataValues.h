#pragma once

#include <QVariant>

// The order of two field values: nulls first, numbers by value whatever their type, moments by
// time, anything else as text in the order of names. Negative, 0 or positive.
int CompareValues(const QVariant &a, const QVariant &b);

// Whether two field values are the same: nulls only equal nulls, numbers by value whatever their
// type, moments by time, texts exactly or ignoring case, whole or (`partial`) as a prefix.
bool SameValue(const QVariant &a, const QVariant &b, bool caseInsensitive, bool partial);
