#include "link/serial_port.h"

#include <QSerialPort>

#include <algorithm>
#include <cerrno>
#include <climits>

#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace tallybird {

namespace {

// The port's own receive buffer is bounded: a scanner that sends without end
// never makes it grow past this; the rest waits in the driver.
constexpr qint64 kReadBufferBytes = qint64{256} * 1024;

// A command is a few bytes; the driver takes them at once, so a port that
// cannot take them within this time is broken.
constexpr int kWriteLimitMs = 2000;

int ClampMs(std::chrono::milliseconds limit) {
    return static_cast<int>(std::clamp<std::chrono::milliseconds::rep>(limit.count(), 0, INT_MAX));
}

// Qt reports a lock held by another program, a device opened exclusively
// and a device the user may not open alike as a permission error: only the
// last is the user's permission, and only access() tells them apart.
OpenError OpenErrorOf(QSerialPort::SerialPortError error, const std::filesystem::path& device) {
    switch (error) {
    case QSerialPort::PermissionError:
        return ::access(device.c_str(), R_OK | W_OK) != 0 && errno == EACCES
                   ? OpenError::kPermission
                   : OpenError::kBusy;
    case QSerialPort::DeviceNotFoundError:
        return OpenError::kAbsent;
    case QSerialPort::NoError:
        return OpenError::kNone;
    default:
        return OpenError::kOther;
    }
}

} // namespace

QtSerialPort::QtSerialPort() : port_(std::make_unique<QSerialPort>()) {}

QtSerialPort::~QtSerialPort() {
    Close();
}

void QtSerialPort::SetDevice(const std::filesystem::path& device) {
    device_ = device;
    port_->setPortName(QString::fromStdString(device.string()));
}

bool QtSerialPort::Open() {
    if (port_->isOpen()) {
        return true;
    }
    openFailure_ = {};
    port_->setReadBufferSize(kReadBufferBytes);
    if (!port_->open(QIODevice::ReadWrite)) {
        openFailure_ = {OpenErrorOf(port_->error(), device_),
                        device_.string() + ": " + port_->errorString().toStdString()};
        port_->clearError();
        return false;
    }
    // The scanner's line: "115200,n,8,1"; no flow control, DTR and RTS as the driver
    // leaves them.
    const bool configured =
        port_->setBaudRate(QSerialPort::Baud115200) && port_->setDataBits(QSerialPort::Data8) &&
        port_->setParity(QSerialPort::NoParity) && port_->setStopBits(QSerialPort::OneStop) &&
        port_->setFlowControl(QSerialPort::NoFlowControl);
    if (!configured) {
        openFailure_ = {OpenError::kOther, device_.string() + ": the line settings were refused (" +
                                               port_->errorString().toStdString() + ")"};
        Close();
        return false;
    }
    return true;
}

void QtSerialPort::Close() {
    if (port_->isOpen()) {
        port_->close();
    }
    port_->clearError();
}

bool QtSerialPort::IsOpen() const {
    return port_->isOpen();
}

bool QtSerialPort::Write(ByteView bytes) {
    if (!port_->isOpen()) {
        return false;
    }
    const auto written = port_->write(reinterpret_cast<const char*>(bytes.data()),
                                      static_cast<qint64>(bytes.size()));
    if (written != static_cast<qint64>(bytes.size())) {
        CheckBroken();
        return false;
    }
    while (port_->bytesToWrite() > 0) {
        if (!port_->waitForBytesWritten(kWriteLimitMs)) {
            CheckBroken();
            return false;
        }
    }
    return true;
}

std::size_t QtSerialPort::BytesWaiting() {
    if (!port_->isOpen()) {
        return 0;
    }
    int inDriver = 0;
    if (::ioctl(static_cast<int>(port_->handle()), FIONREAD, &inDriver) != 0) {
        inDriver = 0;
    }
    return static_cast<std::size_t>(port_->bytesAvailable()) + static_cast<std::size_t>(inDriver);
}

std::size_t QtSerialPort::Read(std::span<std::uint8_t> into) {
    if (!port_->isOpen() || into.empty()) {
        return 0;
    }
    // Bytes that QSerialPort took itself (only when an event loop ran on
    // this thread) are older than those in the driver: they come first.
    if (port_->bytesAvailable() > 0) {
        const auto got =
            port_->read(reinterpret_cast<char*>(into.data()), static_cast<qint64>(into.size()));
        return got > 0 ? static_cast<std::size_t>(got) : 0;
    }
    // Straight from the device into the caller's buffer: one read is one
    // received chunk, with no copy and no allocation on the way.
    const ssize_t got = ::read(static_cast<int>(port_->handle()), into.data(), into.size());
    if (got > 0) {
        return static_cast<std::size_t>(got);
    }
    // 0: nothing waiting (a raw terminal with VMIN 0 reads 0, not EAGAIN).
    if (got < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
        Close(); // the device went away (a pty whose other side closed reads EIO)
    }
    return 0;
}

WaitResult QtSerialPort::WaitForData(std::chrono::milliseconds limit) {
    if (!port_->isOpen()) {
        return WaitResult::kBroken;
    }
    if (port_->bytesAvailable() > 0) {
        return WaitResult::kData;
    }
    pollfd fd{static_cast<int>(port_->handle()), POLLIN, 0};
    const int ready = ::poll(&fd, 1, ClampMs(limit));
    if (ready < 0) {
        return errno == EINTR ? WaitResult::kTimeout : (Close(), WaitResult::kBroken);
    }
    if (ready == 0) {
        return WaitResult::kTimeout;
    }
    if ((fd.revents & (POLLHUP | POLLERR | POLLNVAL)) == 0) {
        return WaitResult::kData;
    }
    // The device hung up or failed. Bytes it sent before are read first;
    // then it is gone.
    int inDriver = 0;
    if ((fd.revents & POLLIN) != 0 && ::ioctl(fd.fd, FIONREAD, &inDriver) == 0 && inDriver > 0) {
        return WaitResult::kData;
    }
    Close();
    return WaitResult::kBroken;
}

bool QtSerialPort::CheckBroken() {
    const auto error = port_->error();
    if (error == QSerialPort::NoError || error == QSerialPort::TimeoutError) {
        port_->clearError();
        return false;
    }
    // The device went away or failed: release it, as Qt advises for
    // ResourceError; every later call fails at once.
    Close();
    return true;
}

} // namespace tallybird
