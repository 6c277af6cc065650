// The program's own folder in the user's local application data: state
// that must outlive a run but may not fit in updater.ini (a copy under
// Program Files, or one the user may not write). local_data_win32.cpp asks
// Windows for the user's Local AppData folder; local_data_posix.cpp uses
// the XDG data folder ($XDG_DATA_HOME, else ~/.local/share).
#ifndef UPDATER_APP_LOCAL_DATA_H
#define UPDATER_APP_LOCAL_DATA_H

// Writes the folder's path (program form) into buffer, creating the folder
// when it is missing. False, with buffer empty, when there is no such
// folder or its path does not fit capacity - 1.
bool OsLocalDataFolder(char16_t* buffer, int capacity);

#endif  // UPDATER_APP_LOCAL_DATA_H
