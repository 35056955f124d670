#pragma once

#include <QCoreApplication>
#include <QProcess>
#include <QRegularExpression>
#include <QStringList>
#include <gtest/gtest.h>

// A program the tests run as a process, as a script or a person would: its exit status (-1 when
// it crashed or did not end in time) and what it wrote to each stream.
struct ToolRun {
    int exitCode = -1;
    QString out, err;
};

// The admin tool built beside the test binary.
inline QString ToolPath() {
    return QCoreApplication::applicationDirPath() + QStringLiteral("/velmora-db");
}

inline ToolRun RunProgram(const QString &program, const QStringList &args,
                          const QProcessEnvironment &env = QProcessEnvironment::systemEnvironment()) {
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(program, args);
    ToolRun r;
    const bool finished = p.waitForFinished(120000);
    EXPECT_TRUE(finished) << args.join(u' ').toStdString();
    if (!finished)
        return r;
    r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = QString::fromUtf8(p.readAllStandardOutput());
    r.err = QString::fromUtf8(p.readAllStandardError());
    return r;
}

// A run as a case of a command line expects it: its exit status, and a pattern each stream holds
// (nullptr: that stream is not checked).
inline void ExpectRun(const ToolRun &r, int exitCode, const char *outPattern, const char *errPattern) {
    EXPECT_EQ(r.exitCode, exitCode) << r.err.toStdString();
    if (outPattern) {
        EXPECT_TRUE(QRegularExpression(QString::fromUtf8(outPattern)).match(r.out).hasMatch())
            << r.out.toStdString();
    }
    if (errPattern) {
        EXPECT_TRUE(QRegularExpression(QString::fromUtf8(errPattern)).match(r.err).hasMatch())
            << r.err.toStdString();
    }
}
