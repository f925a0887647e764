#include "oem_tool/oem_block_file.h"

#include "oem_tool/file_bytes.h"

namespace {

bool LoadImageWithBlock(const std::string& path, std::vector<std::uint8_t>& image, std::size_t& blockOffset,
                        std::string& error)
{
    if (!ReadFileBytes(path, image, error) || !LocateOemBlock(image, blockOffset, error)) {
        error = path + ": " + error;
        return false;
    }
    return true;
}

}  // namespace

bool ReadOemFile(const std::string& path, std::vector<OemFieldValue>& fields, std::string& error)
{
    std::vector<std::uint8_t> image;
    std::size_t blockOffset = 0;
    if (!LoadImageWithBlock(path, image, blockOffset, error)) {
        return false;
    }
    fields = ReadOemFields(image, blockOffset);
    return true;
}

bool PatchOemFile(const std::string& path, const std::vector<OemEdit>& edits, std::string& error,
                  std::vector<std::string>* warnings)
{
    std::vector<std::uint8_t> image;
    std::size_t blockOffset = 0;
    if (!LoadImageWithBlock(path, image, blockOffset, error)) {
        return false;
    }
    const std::vector<std::uint8_t> original = image;
    std::vector<std::string> newWarnings;
    if (!ApplyOemEdits(image, blockOffset, edits, error, &newWarnings)) {
        error = path + ": " + error;
        return false;
    }
    // Unchanged contents are not rewritten, so the file keeps its time stamps.
    if (image != original && !ReplaceFileBytes(path, image, error)) {
        error = path + ": " + error;
        return false;
    }
    if (warnings != nullptr) {
        warnings->insert(warnings->end(), newWarnings.begin(), newWarnings.end());
    }
    return true;
}
