#include "runtime/test_mode.h"

#include "base/leading_number.h"
#include "model/shared_state.h"

namespace tallybird {

bool IsAccessCode(std::string_view answer) {
    return LeadingNumber(answer) == kTestModeAccessCode;
}

void ToggleTestMode(SharedState& state) {
    const bool on = !state.showProgress;
    state.showProgress = on;
    state.testMode = on;
}

} // namespace tallybird
