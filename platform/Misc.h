#pragma once

// The default beep. Every call is counted, so tests can check that a message
// was announced.
void MessageBeep();
int BeepCount();

// Blocks the calling thread; no events are handled meanwhile.
void Sleep(int milliseconds);
