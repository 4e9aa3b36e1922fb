#pragma once

#include <QString>

// Shows a file selected in its folder, in the user's file manager
// (org.freedesktop.FileManager1's ShowItems on the session bus). Where no
// file manager answers (none running or none that speaks it, no bus, or no
// file: an empty path or one that is gone), the folder is opened through the
// desktop instead (ShellOpen). Never waits for the file manager.
void ShowInFolder(const QString &file, const QString &folder);
