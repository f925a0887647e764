// A fresh temporary folder for one test, removed with everything in it afterwards.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

class ScratchFolder {
public:
    ScratchFolder();
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    // Writes a file into the folder and returns its path.
    std::string Write(const std::string& name, const std::vector<std::uint8_t>& bytes) const;
    std::vector<std::uint8_t> Read(const std::string& path) const;
    // Names of everything in the folder, sorted.
    std::vector<std::string> Entries() const;
    const std::filesystem::path& Path() const { return path_; }

private:
    std::filesystem::path path_;
};
