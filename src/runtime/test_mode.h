#pragma once

#include <string_view>

namespace tallybird {

struct SharedState;

// The code Tallybird support gives out for the hidden test mode.
inline constexpr double kTestModeAccessCode = 604173;

// Whether a typed answer is the access code, read as every typed number is:
// blanks ignored, reading stops at the first character that cannot continue
// a number ("604 173" and "604173x" are accepted, "" is not).
bool IsAccessCode(std::string_view answer);

// Switches the progress captions and the test mode together, on or off.
void ToggleTestMode(SharedState& state);

} // namespace tallybird
