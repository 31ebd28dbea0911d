// The program's start-up and shutdown as the benchmark programs run them:
// RunQuiblet's steps without the single-instance guard and the message
// loop, on a settings key of their own, in a fresh start directory.
#pragma once
#include <windows.h>

#define BENCH_VISIBLE_NOTES 100

// A settings key of this process, absent until start-up reads it (so that
// start-up pays for its first registry access): the defaults, no info screen.
void UseOwnSettingsKey();
// A fresh, empty start directory made the current directory.
void EnterFreshStartFolder();
// RunQuiblet's start-up up to the message loop; true when the icon is added.
bool StartUp(HINSTANCE instance);
// What the program does before the note steps of InitInstance.
bool StartUpToNotes(HINSTANCE instance);
// What InitInstance does after the note steps.
void FinishStartUp();
// Sounds would only measure the sound card.
void SilenceSounds();
void ShutDown();

int CountWindowedNotes();
// Replaces the notes in memory and on disk by `count` generated ones.
bool LoadGeneratedNotes(int count, int visible);
