#pragma once
// A program file held open from the moment it was judged until it runs: what starts is exactly
// the file that was looked at, whatever happens to its name in between (a rename, a file put in
// its place). Started from the descriptor, never by name.
#include "platform/files/file_trust.h"
#include "platform/processes/proc_files.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace platform {

class HeldProgram {
  public:
    HeldProgram(HeldProgram&& other) noexcept;
    HeldProgram& operator=(HeldProgram&& other) noexcept;
    HeldProgram(const HeldProgram&) = delete;
    HeldProgram& operator=(const HeldProgram&) = delete;
    ~HeldProgram();

    // The program file at `path`, opened for running. Nothing, with the last error set (2 when
    // it is not there, 5 when it may not be read), when it cannot be opened.
    [[nodiscard]] static std::optional<HeldProgram> open(const std::string& path);
    // The program file of a running process (its /proc/<id>/exe); nothing, with the last error
    // set, once the process has ended or when its file may not be looked at.
    [[nodiscard]] static std::optional<HeldProgram> of_process(std::uint32_t id);

    // The path the file was found by (for a process: its program's path as the kernel names it).
    const std::string& path() const { return path_; }
    // The owner and mode of the file held (not of whatever now bears its name).
    const FileFacts& facts() const { return facts_; }

    int descriptor() const { return descriptor_; }
    // A script ("#!"): its interpreter reads it through the descriptor, which stays open for it.
    bool script() const { return script_; }

  private:
    HeldProgram(int descriptor, std::string path);

    int descriptor_ = -1;
    std::string path_;
    FileFacts facts_;
    bool script_ = false;
};

// How a held program is started.
struct StartOptions {
    std::string folder; // its current folder; empty: the caller's
    // Detached, as a program started on its own: a session of its own, /dev/null as standard
    // input, output and error, no other descriptor. Otherwise it shares the caller's standard
    // handles.
    bool detached = false;
    // The user and groups it runs as; nothing: the caller's.
    std::optional<ProcessCredentials> credentials;
};

// Starts `program` with `arguments` (the first being the name it is started by), this
// process's environment, no blocked signals and every signal's default action. The process
// id, or nothing with the last error set.
[[nodiscard]] std::optional<std::uint32_t> start_held_program(const HeldProgram& program,
                                                              std::vector<std::string> arguments,
                                                              const StartOptions& options);

} // namespace platform
