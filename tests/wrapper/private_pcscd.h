#pragma once
// A private pcscd for the reader route: its own mount namespace with a temporary folder bound
// over /run/pcscd (Debian's pcscd keeps its socket there whatever the environment says), and
// a reader.conf with one entry per simulated reader, driven by ReaderSimIfd.so. The client
// library finds it through PCSCLITE_CSOCK_NAME. Never touches the machine's own pcscd.
#include "tests/common/temp_dir.h"

#include <chrono>
#include <csignal>
#include <filesystem>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace valdrun_test {

struct PcscdReader {
    std::string name;    // FRIENDLYNAME; pcscd appends " 00 00"
    std::string address; // the simulator's control address
};

class PrivatePcscd {
  public:
    // Starts pcscd and waits until its socket is there. started() tells whether it worked;
    // why_not() says why not (unshare refused, pcscd missing).
    explicit PrivatePcscd(const std::vector<PcscdReader>& readers) {
        // pcscd gives every reader of reader.conf the same logical unit number and loads a
        // library file once, so each reader gets a driver file of its own.
        std::string conf;
        for (std::size_t i = 0; i < readers.size(); ++i) {
            const auto driver = folder_.path() / ("ReaderSimIfd-" + std::to_string(i) + ".so");
            std::filesystem::copy_file(std::filesystem::path(MORLIN_BIN_DIR) / "ReaderSimIfd.so",
                                       driver);
            conf += "FRIENDLYNAME \"" + readers[i].name + "\"\nDEVICENAME " + readers[i].address +
                    "\nLIBPATH " + driver.string() + "\n\n";
        }
        morlin_test::write_text(folder_.path() / "reader.conf", conf);
        std::filesystem::create_directories(run_dir());
        const std::string script = "mkdir -p /run/pcscd && mount --bind '" + run_dir() +
                                   "' /run/pcscd && exec pcscd --foreground -c '" +
                                   (folder_.path() / "reader.conf").string() + "'";
        pid_ = ::fork();
        if (pid_ == 0) {
            const std::string log = (folder_.path() / "pcscd.log").string();
            std::freopen(log.c_str(), "w", stdout);
            std::freopen(log.c_str(), "a", stderr);
            ::execlp("unshare", "unshare", "-m", "sh", "-c", script.c_str(),
                     static_cast<char*>(nullptr));
            ::_exit(127);
        }
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (std::chrono::steady_clock::now() < deadline) {
            if (std::filesystem::exists(socket_path()))
                return;
            int status = 0;
            if (::waitpid(pid_, &status, WNOHANG) == pid_) {
                pid_ = -1;
                why_not_ =
                    "pcscd did not start: " + morlin_test::read_text(folder_.path() / "pcscd.log");
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        why_not_ = "pcscd made no socket";
    }
    ~PrivatePcscd() {
        if (pid_ > 0) {
            ::kill(pid_, SIGTERM);
            int status = 0;
            ::waitpid(pid_, &status, 0);
        }
    }
    PrivatePcscd(const PrivatePcscd&) = delete;
    PrivatePcscd& operator=(const PrivatePcscd&) = delete;

    bool started() const { return why_not_.empty() && pid_ > 0; }
    const std::string& why_not() const { return why_not_; }
    std::string socket_path() const { return run_dir() + "/pcscd.comm"; }

  private:
    std::string run_dir() const { return (folder_.path() / "run").string(); }

    morlin_test::TempDir folder_;
    pid_t pid_ = -1;
    std::string why_not_;
};

} // namespace valdrun_test
