#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "oem_tool/file_bytes.h"

namespace {

std::string SystemError(const std::string& what)
{
    return what + ": " + std::strerror(errno);
}

bool WriteAll(int descriptor, const std::vector<std::uint8_t>& bytes)
{
    std::size_t written = 0;
    while (written < bytes.size()) {
        const ssize_t count = write(descriptor, bytes.data() + written, bytes.size() - written);
        if (count < 0 && errno != EINTR) {
            return false;
        }
        written += count > 0 ? static_cast<std::size_t>(count) : 0;
    }
    return true;
}

}  // namespace

bool ReplaceFileBytes(const std::string& path, const std::vector<std::uint8_t>& bytes, std::string& error)
{
    // Through a symbolic link the link's target is the file to replace, not the link.
    char resolved[PATH_MAX];
    if (realpath(path.c_str(), resolved) == nullptr) {
        error = SystemError("cannot resolve the path");
        return false;
    }
    const std::string target = resolved;
    struct stat original {};
    if (stat(target.c_str(), &original) != 0) {
        error = SystemError("cannot inspect the file");
        return false;
    }
    std::string temporary = target + ".XXXXXX";
    const int descriptor = mkstemp(&temporary[0]);
    if (descriptor < 0) {
        error = SystemError("cannot create a temporary file beside it");
        return false;
    }
    bool written =
        fchmod(descriptor, original.st_mode & 07777) == 0 && WriteAll(descriptor, bytes) && fsync(descriptor) == 0;
    if (!written) {
        error = SystemError("cannot write the temporary file " + temporary);
    }
    if (close(descriptor) != 0 && written) {
        written = false;
        error = SystemError("cannot write the temporary file " + temporary);
    }
    if (!written) {
        std::remove(temporary.c_str());
        return false;
    }
    if (std::rename(temporary.c_str(), target.c_str()) != 0) {
        error = SystemError("cannot rename " + temporary + " over the file");
        std::remove(temporary.c_str());
        return false;
    }
    return true;
}
