// What the Linux program sets up first, before any thread exists.
#pragma once

// Gives SIGCHLD back its default disposition. A program started by a launcher
// that ignores SIGCHLD inherits that, and then no child's exit status can be
// collected: every scan would end without its exit code.
void RestoreDefaultChildSignal();
