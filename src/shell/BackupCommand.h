#pragma once

class QWidget;

// "Резервная копия…" in the main window's "База данных" menu: a backup of the embedded database
// file made now (FileBackup.h), its path told in a box. On a server database the command is
// there but disabled: a server's backup is the administrator's `velmora-db copy`.
void AddBackupCommand(QWidget *mainWindow);

// The start of the program on the embedded file: the day's first backup, when it is due. A
// backup that fails is written to the log and never stops the start.
void MakeDailyBackup();
