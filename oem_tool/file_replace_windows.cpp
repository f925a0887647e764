#include <windows.h>

#include <algorithm>

#include "oem_tool/file_bytes.h"

namespace {

std::string SystemError(const std::string& what)
{
    const DWORD code = GetLastError();
    char message[512] = "";
    const DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0,
                                        message, sizeof message, nullptr);
    std::string text(message, length);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) {
        text.pop_back();
    }
    return what + ": " + (text.empty() ? "error " + std::to_string(code) : text);
}

std::string FolderOf(const std::string& path)
{
    const std::size_t separator = path.find_last_of("\\/");
    return separator == std::string::npos ? "." : path.substr(0, separator + 1);
}

bool WriteAll(HANDLE file, const std::vector<std::uint8_t>& bytes)
{
    std::size_t written = 0;
    while (written < bytes.size()) {
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - written, 1u << 30));
        DWORD count = 0;
        if (!WriteFile(file, bytes.data() + written, chunk, &count, nullptr)) {
            return false;
        }
        written += count;
    }
    return FlushFileBuffers(file) != 0;
}

}  // namespace

bool ReplaceFileBytes(const std::string& path, const std::vector<std::uint8_t>& bytes, std::string& error)
{
    // The new file takes the folder's inherited access rights, as the original did;
    // a read-only original makes the final move fail, leaving it untouched.
    char temporary[MAX_PATH];
    if (GetTempFileNameA(FolderOf(path).c_str(), "oem", 0, temporary) == 0) {
        error = SystemError("cannot create a temporary file beside it");
        return false;
    }
    const HANDLE file =
        CreateFileA(temporary, GENERIC_WRITE, 0, nullptr, TRUNCATE_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        error = SystemError(std::string("cannot open the temporary file ") + temporary);
        DeleteFileA(temporary);
        return false;
    }
    const bool written = WriteAll(file, bytes);
    if (!written) {
        error = SystemError(std::string("cannot write the temporary file ") + temporary);
    }
    CloseHandle(file);
    if (!written) {
        DeleteFileA(temporary);
        return false;
    }
    if (!MoveFileExA(temporary, path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        error = SystemError(std::string("cannot move ") + temporary + " over the file");
        DeleteFileA(temporary);
        return false;
    }
    return true;
}
