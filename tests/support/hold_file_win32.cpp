// Holds a file open without any sharing for a while, from a process of its
// own, as a virus scanner or the search indexer does with a fresh file.
//   hold_file PATH MILLISECONDS EVENT
// Sets the named event once the file is held, lets go after MILLISECONDS.
// Exit code 0, or 2 when the file could not be opened or the arguments are
// wrong.
#include <stdlib.h>
#include <windows.h>

int wmain(int argumentCount, wchar_t** arguments) {
    if (argumentCount != 4) return 2;
    HANDLE file = CreateFileW(arguments[1], GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 2;
    HANDLE held = OpenEventW(EVENT_MODIFY_STATE, FALSE, arguments[3]);
    if (held == nullptr) return 2;
    SetEvent(held);
    Sleep(static_cast<DWORD>(wcstoul(arguments[2], nullptr, 10)));
    CloseHandle(file);
    return 0;
}
