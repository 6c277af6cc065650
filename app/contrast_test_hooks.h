// Test-only entry of high contrast. The program never calls it.
#ifndef UPDATER_APP_CONTRAST_TEST_HOOKS_H
#define UPDATER_APP_CONTRAST_TEST_HOOKS_H

// Makes RefreshHighContrast read high contrast as on (1) or off (0) instead
// of asking the system, which under Wine always says off and cannot be
// changed; -1 asks the system again. Takes effect at the next refresh, as a
// real change of the setting would.
void HighContrastPretendForTests(int state);

#endif  // UPDATER_APP_CONTRAST_TEST_HOOKS_H
