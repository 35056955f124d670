// Text for the admin tool's standard output and error.
#pragma once

#include <QByteArray>
#include <QString>
#include <cstdio>

// Writes the text as UTF-8 and flushes, so that what goes to standard output and standard error
// keeps its order where both reach one terminal or file.
inline void WriteText(FILE *to, const QString &text) {
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), to);
    std::fflush(to);
}
