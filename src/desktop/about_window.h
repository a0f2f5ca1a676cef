#pragma once

#include "desktop/dialogs.h"
#include "model/settings.h"
#include "model/shared_state.h"

#include <QDialog>

#include <functional>

class QLabel;
template <typename T> class QFutureWatcher;

namespace tallybird {

// The About window: the program's version, the owner, the scanner seen last,
// the registration country and whether the service answers. It fills itself
// when it opens and again on every resize; the service probe runs off the
// window's thread, so a service that does not answer never freezes it.
class AboutWindow final : public QDialog {
    Q_OBJECT

public:
    // Asks the service whether it answers; runs on a pool thread.
    using ServiceProbe = std::function<bool()>;

    // Without a probe, the service at the state's address is asked.
    AboutWindow(const SharedState& state, const Settings& settings, Dialogs& dialogs,
                QWidget* parent = nullptr, ServiceProbe probe = {});
    ~AboutWindow() override;

    // The labels from the record, the state and the probe's last answer; a
    // new probe starts (or follows the one under way).
    void Fill();
    // The user chose to change the registration: the window closed, and the
    // details page is due.
    bool ChangeRegistrationChosen() const { return changeRegistration_; }

Q_SIGNALS:
    // The probe answered and the database label shows it.
    void ProbeAnswered(bool online);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void StartProbe();
    void ProbeDone();
    void ShowSystemInfo();
    void ChangeRegistration();

    const SharedState& state_;
    const Settings& settings_;
    Dialogs& dialogs_;
    ServiceProbe probe_;
    QFutureWatcher<bool>* probeWatcher_ = nullptr;
    bool probeAgain_ = false;
    bool online_ = false;
    bool changeRegistration_ = false;

    QLabel* versionLabel_ = nullptr;
    QLabel* nameLabel_ = nullptr;
    QLabel* serialLabel_ = nullptr;
    QLabel* scannerVersionLabel_ = nullptr;
    QLabel* countryLabel_ = nullptr;
    QLabel* databaseLabel_ = nullptr;
};

// The port list in place of a device manager: every present port with its
// number, device, description, status, and whether detection probes it.
class SystemInfoDialog final : public QDialog {
    Q_OBJECT

public:
    explicit SystemInfoDialog(const Settings& settings, QWidget* parent = nullptr);
};

} // namespace tallybird
