#pragma once

#include <QCoreApplication>
#include <QProcess>
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
