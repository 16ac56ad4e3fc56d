#pragma once

#include <filesystem>
#include <string>

// A fresh directory for one test, removed with everything in it when the test ends.
class ScratchDir {
public:
    ScratchDir();
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::string operator/(const std::string& name) const { return (path_ / name).string(); }

private:
    std::filesystem::path path_;
};

std::string read_file(const std::string& path);
void write_file(const std::string& path, const std::string& bytes);
