#pragma once
// The far ends that the serial port tests run against. Each one echoes what the port sends
// (a loop-back line), and can be unplugged while the port is open.
#include "announcement_files.h"
#include "tests/common/temp_dir.h"

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace serial_test {

using morlin_test::TempDir;

class EchoLink {
  public:
    virtual ~EchoLink() = default;
    // What SerialPort::open is given.
    virtual std::string port_name() const = 0;
    // The line goes away while the port is open.
    virtual void unplug() = 0;
    // Break changes the far end saw (on, off, ...), when it can tell.
    virtual bool sees_break() const { return false; }
    virtual std::vector<bool> breaks() const { return {}; }
    // Stops (true) or resumes taking in what the port sends, so that the buffers between fill
    // up and the port's writes wait; when it can.
    virtual void hold(bool) {}
};

// python3-serial's RFC 2217 server over a "loop://" port (tests/serial/rfc2217_loop_server.py).
std::unique_ptr<EchoLink> start_python_link();
// An RFC 2217 server in this process, built on the terminal simulator's session code.
std::unique_ptr<EchoLink> start_session_link();
// A pseudo-terminal whose other side echoes.
std::unique_ptr<EchoLink> start_pty_link();

} // namespace serial_test
