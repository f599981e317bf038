#pragma once

// Gives the application its window icon the first time a window needs one. Looking the icon up in
// the theme reads every installed theme's index: at start it was a third of the tray program's
// instructions, for a program that mostly opens no window at all.
void useApplicationIcon();
