// libFuzzer target: the readers that meet files the program did not make, the PE resource stamp
// and the version note. Built with -DVELMORA_FUZZ=ON and clang; run as
//   build-fuzz/bin/pe_fuzzer -max_len=4096 fuzz/corpus
// Inputs that find a fault go into fuzz/corpus, which the tests replay.

#include "data/TessalVersionInfo.h"

#include <QBuffer>
#include <QByteArray>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    // The PE reader sees the input through a device, as it sees a file; the note is searched in
    // the input itself, so that a read past its end is seen by the address sanitizer.
    QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    const QDateTime stamp = PeResourceStamp(buffer);
    if (stamp.isValid() && (stamp.date().year() < 1980 || stamp.date().year() > 2107))
        __builtin_trap(); // a DOS date covers 1980–2107 only
    const QString note = VersionNoteOf(QByteArrayView(data, qsizetype(size)));
    for (const QChar c : note) {
        if (c != u'.' && !c.isDigit())
            __builtin_trap();
    }
    (void)VersionKey(note);
    return 0;
}
