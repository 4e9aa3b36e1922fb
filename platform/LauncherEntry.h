#pragma once

#include <QString>

// The program's entry in a dock or task manager (the Unity launcher API that
// Plasma, Dash to Dock and Plank read: com.canonical.Unity.LauncherEntry's
// Update signal on the session bus). A signal only: nothing waits, and no
// bus or no dock changes nothing.
namespace LauncherEntry {
// Shows progress (0 to 1) on the entry of the desktop file desktopEntry
// (its name without ".desktop"), or hides it.
void ShowProgress(const QString &desktopEntry, double progress);
void HideProgress(const QString &desktopEntry);
} // namespace LauncherEntry
