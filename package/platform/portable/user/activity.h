// Portable USER: how the program uses its message queue, for the entry point's
// words on common mistakes: a program that opens windows and never waits for an
// event, and one that stops waiting (an endless loop) while its windows are open.
//
// USER writes this record on the program's thread (CreateWindowExA, DestroyWindow,
// GetMessageA); the entry point reads it, also from its watchdog thread, so every
// field is atomic. Times are real time (a steady clock, milliseconds), never the
// presenter's clock: a headless run's virtual clock says nothing about a program
// that is stuck.
#pragma once

#include <cstddef>
#include <cstdint>

namespace portable {

// Milliseconds on the steady clock the record uses.
int64_t steady_now_ms();

// Whether any window was created since the start (or the last reset_user_state).
bool windows_were_created();
// Whether GetMessageA was called while a window was live.
bool waited_with_windows_open();
// Real time, at `now_ms`, since the program last returned from GetMessageA (or
// since its first window opened, when it has not waited since): 0 while it is
// inside GetMessageA or while no window is open.
int64_t ms_without_waiting(int64_t now_ms);
// True the first time the program has gone `limit_ms` without waiting while a
// window was open (at `now_ms`); never again afterwards, so it is said once.
bool first_long_stall(int64_t now_ms, int64_t limit_ms);

// How long a program with open windows may go without waiting before it is
// told: 5 s, or the milliseconds in the environment variable
// TAVLO_NOT_WAITING_MS (a test's short limit).
int64_t not_waiting_limit_ms();

// ---- Written by USER.
void note_live_windows(size_t count);  // after every create, destroy and reset
void note_get_message_started();
void note_get_message_returned();
void reset_activity();  // reset_user_state
// When set, GetMessageA calls this on entry, before it counts as waiting: the
// check of a build without threads (a page), made when the program waits again,
// since nothing else runs while it does not.
void set_wait_gap_check(void (*check)());

}  // namespace portable
