#include "app/test_mode.h"

#include "app/leading_number.h"
#include "app/shared_state.h"

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
