#pragma once

#include "link/serial_port.h"
#include "platform/clock.h"

#include <filesystem>
#include <string>
#include <string_view>

namespace tallybird {

// What a Kivo Scanner's answer to "PA" contains.
bool IsKivoReply(std::string_view reply);

// Whether detection may open a port of this description to probe it.
bool IsProbeCandidate(std::string_view description);

// The detection probe of one port: a port whose description does not contain
// "USB Serial Port" is not opened. Otherwise: open the device, send "PA" and
// a CR, wait while fewer than 5 bytes have come and less than 1 second has
// passed, read the input; a reply that is not empty and holds no "Kivo" gets
// one more "PA" with a 2-second wait; close. Returns the reply text (bytes as
// characters, one to one); empty when nothing came or the port would not open.
std::string ProbePort(SerialPort& port, const std::filesystem::path& device,
                      std::string_view description, const Clock& clock);

} // namespace tallybird
