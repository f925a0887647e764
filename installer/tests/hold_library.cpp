// Keeps a DLL loaded, as a running host keeps its driver, until a release file appears
// (or two minutes pass): hold_library DLL RELEASE-FILE
#include <windows.h>

int wmain(int argc, wchar_t** argv)
{
    if (argc != 3) return 2;
    HMODULE library = LoadLibraryW(argv[1]);
    if (library == nullptr) return 1;
    for (int waited = 0; waited < 1200 && GetFileAttributesW(argv[2]) == INVALID_FILE_ATTRIBUTES; ++waited) Sleep(100);
    FreeLibrary(library);
    return 0;
}
