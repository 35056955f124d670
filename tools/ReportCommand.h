#pragma once

#include <QCoreApplication>
#include <QStringList>

#include <functional>
#include <memory>

// The application object of the admin tool: a GUI one (without a screen) for the report command.
std::unique_ptr<QCoreApplication> MakeToolApplication(int &argc, char **argv);

class Connection;

// velmora-db report NAME [KEY] --pdf FILE. `open` opens the tool's database; usageError reports a
// wrong command line (and does not return); database and file errors are thrown as AppError.
int ReportCommand(QStringList args, const std::function<void(Connection &)> &open,
                  const std::function<void(const QString &)> &usageError);
