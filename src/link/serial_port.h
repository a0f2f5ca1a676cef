#pragma once

#include "base/bytes.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>
#include <string>

class QSerialPort;

namespace tallybird {

// What a wait for received bytes ended with.
enum class WaitResult {
    kData,    // bytes are waiting to be read
    kTimeout, // the time limit passed without a byte
    kBroken,  // the device failed or went away; the port has been closed
};

// Why the last Open failed: the kind matters to detection (a port refused
// for lack of permission is reported with its remedy), the text to the log.
enum class OpenError {
    kNone,
    kPermission, // the user may not open the device (not in dialout, no udev rule)
    kBusy,       // another program holds it, or its lock file
    kAbsent,     // the device is not there
    kOther,      // anything else (not a terminal, a setting refused)
};

struct OpenFailure {
    OpenError kind = OpenError::kNone;
    std::string text; // the system's own words, with the device
};

// The serial port control behind an interface: every port runs at
// 115200 baud, 8 data bits, no parity, 1 stop bit, no flow control. One
// object per role (session, detection, wedge). An object is used from one
// thread only, and all waiting blocks that thread on the device (no event
// loop and no busy loop needed).
class SerialPort {
public:
    SerialPort() = default;
    virtual ~SerialPort() = default;
    SerialPort(const SerialPort&) = delete;
    SerialPort& operator=(const SerialPort&) = delete;

    // The device the next Open uses (a port number is resolved by the port
    // directory first).
    virtual void SetDevice(const std::filesystem::path& device) = 0;
    virtual bool Open() = 0;
    // Releases the device; harmless when not open.
    virtual void Close() = 0;
    virtual bool IsOpen() const = 0;
    // Why the last Open failed; kind kNone after one that succeeded.
    virtual OpenFailure LastOpenFailure() const { return {}; }

    // Sends the bytes in order and returns once the driver has them.
    virtual bool Write(ByteView bytes) = 0;
    // Received bytes not yet read.
    virtual std::size_t BytesWaiting() = 0;
    // Moves up to into.size() received bytes into `into` (no allocation);
    // returns how many. One call is one received chunk.
    virtual std::size_t Read(std::span<std::uint8_t> into) = 0;
    // Blocks until bytes are waiting, the limit passes or the device fails.
    virtual WaitResult WaitForData(std::chrono::milliseconds limit) = 0;
};

// The real port: QSerialPort on a device path (a USB serial device, or the
// pseudo-terminal of `tallybird-sim scanner`). QSerialPort opens, locks,
// configures and closes the device and writes; waiting and reading go to its
// descriptor directly (poll and read), so a reply lands in the caller's
// buffer without copies and no event loop is needed. Create and use it on the
// thread that runs the commands; tallybird-cli uses its main thread.
class QtSerialPort final : public SerialPort {
public:
    QtSerialPort();
    ~QtSerialPort() override;

    void SetDevice(const std::filesystem::path& device) override;
    bool Open() override;
    void Close() override;
    bool IsOpen() const override;
    OpenFailure LastOpenFailure() const override { return openFailure_; }
    bool Write(ByteView bytes) override;
    std::size_t BytesWaiting() override;
    std::size_t Read(std::span<std::uint8_t> into) override;
    WaitResult WaitForData(std::chrono::milliseconds limit) override;

private:
    // Closes the port after a device error (the device vanished).
    bool CheckBroken();

    std::unique_ptr<QSerialPort> port_;
    std::filesystem::path device_;
    OpenFailure openFailure_;
};

} // namespace tallybird
