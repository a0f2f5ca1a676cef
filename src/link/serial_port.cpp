#include "link/serial_port.h"

#include <QSerialPort>

#include <algorithm>
#include <climits>

namespace tallybird {

namespace {

// The port's own receive buffer is bounded: a scanner that sends without end
// never makes it grow past this; the rest waits in the driver.
constexpr qint64 kReadBufferBytes = 256 * 1024;

// A command is a few bytes; the driver takes them at once, so a port that
// cannot take them within this time is broken.
constexpr int kWriteLimitMs = 2000;

int ClampMs(std::chrono::milliseconds limit) {
    return static_cast<int>(std::clamp<std::chrono::milliseconds::rep>(limit.count(), 0, INT_MAX));
}

} // namespace

QtSerialPort::QtSerialPort() : port_(std::make_unique<QSerialPort>()) {}

QtSerialPort::~QtSerialPort() {
    Close();
}

void QtSerialPort::SetDevice(const std::filesystem::path& device) {
    port_->setPortName(QString::fromStdString(device.string()));
}

bool QtSerialPort::Open() {
    if (port_->isOpen()) {
        return true;
    }
    port_->setReadBufferSize(kReadBufferBytes);
    if (!port_->open(QIODevice::ReadWrite)) {
        port_->clearError();
        return false;
    }
    // Part 2.4: "115200,n,8,1"; no flow control, DTR and RTS as the driver
    // leaves them.
    const bool configured =
        port_->setBaudRate(QSerialPort::Baud115200) && port_->setDataBits(QSerialPort::Data8) &&
        port_->setParity(QSerialPort::NoParity) && port_->setStopBits(QSerialPort::OneStop) &&
        port_->setFlowControl(QSerialPort::NoFlowControl);
    if (!configured) {
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

void QtSerialPort::Poll() {
    if (port_->isOpen() && port_->bytesAvailable() < kReadBufferBytes) {
        if (!port_->waitForReadyRead(0)) {
            CheckBroken();
        }
    }
}

std::size_t QtSerialPort::BytesWaiting() {
    Poll();
    return port_->isOpen() ? static_cast<std::size_t>(port_->bytesAvailable()) : 0;
}

std::size_t QtSerialPort::Read(std::span<std::uint8_t> into) {
    if (!port_->isOpen() || into.empty()) {
        return 0;
    }
    if (port_->bytesAvailable() == 0) {
        Poll();
    }
    const auto got =
        port_->read(reinterpret_cast<char*>(into.data()), static_cast<qint64>(into.size()));
    return got > 0 ? static_cast<std::size_t>(got) : 0;
}

WaitResult QtSerialPort::WaitForData(std::chrono::milliseconds limit) {
    if (!port_->isOpen()) {
        return WaitResult::kBroken;
    }
    if (port_->bytesAvailable() > 0) {
        return WaitResult::kData;
    }
    if (port_->waitForReadyRead(ClampMs(limit))) {
        return WaitResult::kData;
    }
    return CheckBroken() ? WaitResult::kBroken : WaitResult::kTimeout;
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
