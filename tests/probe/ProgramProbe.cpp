// Linked into a test build of the program only (never into Velmora itself): every message box is
// appended to the file named by $VELMORA_MESSAGE_LOG, as its title, a tab and its text on one line,
// and answered with OK, so that a test can start the program unattended and read what it showed.
#include "data/TessalDialog.h"

#include <QFile>
#include <QTextStream>

namespace {

const bool installed = [] {
    const QString log = qEnvironmentVariable("VELMORA_MESSAGE_LOG");
    if (log.isEmpty())
        return false;
    SetMessageHandler([log](const MessageRequest &r) {
        QFile f(log);
        if (f.open(QIODevice::Append | QIODevice::Text))
            QTextStream(&f) << r.title << '\t' << QString(r.text).replace(u'\n', u' ') << '\n';
        return true;
    });
    return true;
}();

} // namespace
