#pragma once

#include "model/settings.h"
#include "model/shared_state.h"

#include <QDialog>

class QLineEdit;
class QSpinBox;

namespace tallybird {

// Keyboard Wedge Setup ("frmWedge"): the end character code typed after each
// chip, and beside it the pause between keystrokes in milliseconds. "OK"
// stores both ("WedgeEnd", "WedgeKeyDelay"); they count from the next chip.
class WedgeWindow final : public QDialog {
    Q_OBJECT

public:
    WedgeWindow(SharedState& state, Settings& settings, QWidget* parent = nullptr);

    // "OK": the entry read as a number, 13 when it is no usable code.
    void Accept();

private:
    SharedState& state_;
    Settings& settings_;
    QLineEdit* text1_ = nullptr;
    QSpinBox* keyDelay_ = nullptr;
};

} // namespace tallybird
