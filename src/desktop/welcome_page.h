#pragma once

#include <QDialog>

namespace tallybird {

// The registration wizard's welcome page: thanks, terms, and "Next".
class WelcomePage final : public QDialog {
    Q_OBJECT

public:
    explicit WelcomePage(QWidget* parent = nullptr);
};

} // namespace tallybird
