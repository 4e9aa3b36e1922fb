#pragma once

namespace Ui {
class TMainForm1;
}

// Ties the main window's labels to the controls they name, names the
// standard controls no label names, and gives the track bars the scale
// marks to read as their values: what a screen reader reads, in the texts
// the window shows.
void NameForScreenReaders(Ui::TMainForm1 &form);
