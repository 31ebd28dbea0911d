// The program's own start-up and shutdown as the benchmark programs run them:
// without the single-instance guard and the message loop, on a settings key
// of their own, in a fresh start directory.
#pragma once
#include <windows.h>
#include <string>

#define BENCH_VISIBLE_NOTES 100

// A settings key of this process, absent until start-up reads it (so that
// start-up pays for its first registry access): the defaults, no info screen.
// The data folder as an 8-bit path (the benchmarks run in folders that fit).
std::string BenchDataFolder();
void UseOwnSettingsKey();
// A fresh, empty start directory made the current directory.
void EnterFreshStartFolder();
// The program's start-up (StartQuiblet); true when the icon is added.
bool StartUp(HINSTANCE instance);
// The same with `count` generated notes in the data folder, `visible` shown.
bool StartUpWithNotes(HINSTANCE instance, int count, int visible);
// Sounds would only measure the sound card.
void SilenceSounds();
// The program's shutdown (ShutDownQuiblet), then the notes, the main dialog,
// the start directory and the settings key gone.
void ShutDown();

int CountWindowedNotes();
// Replaces the notes in memory and on disk by `count` generated ones.
bool LoadGeneratedNotes(int count, int visible);
