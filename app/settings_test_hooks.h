// Test-only entries of the settings. The program never calls them.
#ifndef UPDATER_APP_SETTINGS_TEST_HOOKS_H
#define UPDATER_APP_SETTINGS_TEST_HOOKS_H

// Both builds: LoadSettings asks the system for the executable's path with a
// buffer of capacity units instead of SETTINGS_PATH_CAPACITY, so that a test
// can see what a path too long for the buffer does. 0 puts the real one back.
void SettingsSetExecutablePathCapacityForTests(int capacity);

#endif  // UPDATER_APP_SETTINGS_TEST_HOOKS_H
