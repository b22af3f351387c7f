// A scratch device root for one test: the device's directories under a
// temporary folder, removed afterwards.
#pragma once
#include <string>
#include <vector>

class ScratchRoot {
public:
    ScratchRoot();
    ~ScratchRoot();
    ScratchRoot(const ScratchRoot&) = delete;
    ScratchRoot& operator=(const ScratchRoot&) = delete;

    const std::string& path() const { return root_; }
    // root + device path
    std::string at(const std::string& device_path) const { return root_ + device_path; }
    // Points NVRWEB_ROOT of this process at the root (for in-process tests).
    void use_in_process() const;

    bool exists(const std::string& device_path) const;
    std::string read(const std::string& device_path) const;
    void write(const std::string& device_path, const std::string& data) const;
    // Names in a device directory (no "." or "..").
    std::string list(const std::string& device_dir) const;

private:
    std::string root_;
};

// Paths of the build.
std::string build_dir();
std::string source_dir();
// The words that start a built program: its path, behind the emulator when the
// build is for another machine; and the same as a shell command.
std::vector<std::string> program_argv(const std::string& name);
std::string program_command(const std::string& name);
// The emulator's words joined by spaces; empty for a native build.
std::string emulator();
