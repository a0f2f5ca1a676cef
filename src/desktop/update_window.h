#pragma once

#include "desktop/dialogs.h"
#include "runtime/software_update.h"

#include <QDialog>

#include <atomic>
#include <filesystem>
#include <memory>
#include <string>

class QLabel;
class QProgressBar;
class QPushButton;
class QTimer;
template <typename T> class QFutureWatcher;

namespace tallybird {

// Check for Updates: the running and the latest version, and for a newer
// one the download and start of its installer. The check and the download
// run off the window's thread; the window shows the download's progress and
// never freezes. A build for a distribution package shows both versions and
// leaves the update to the package manager.
class UpdateWindow final : public QDialog {
    Q_OBJECT

public:
    UpdateWindow(std::string serviceBaseUrl, std::filesystem::path dataFolder, Dialogs& dialogs,
                 QWidget* parent = nullptr, bool selfUpdate = kSelfUpdateBuild,
                 InstallerStarter start = StartInstallerDetached);
    ~UpdateWindow() override;

    // "Update": the download, then the installer's start.
    void StartUpdate();

Q_SIGNALS:
    // The service's answer is shown.
    void Checked();
    // The installer runs: the program must end now.
    void InstallerStarted();

protected:
    void closeEvent(QCloseEvent* event) override;
    void reject() override;

private:
    // What the window and the download thread share; it outlives the window
    // when a download is abandoned.
    struct DownloadState {
        std::atomic<bool> abandoned{false};
        std::atomic<std::uint64_t> received{0};
        std::atomic<std::uint64_t> total{0};
    };

    void ShowCheck();
    void DownloadDone();
    void ShowDownloadProgress();
    bool Downloading() const;

    std::string serviceBaseUrl_;
    std::filesystem::path dataFolder_;
    Dialogs& dialogs_;
    bool selfUpdate_;
    InstallerStarter start_;
    std::optional<std::string> newerVersion_;
    std::shared_ptr<DownloadState> download_;

    QLabel* versionLabel_ = nullptr;
    QLabel* availableLabel_ = nullptr;
    QLabel* noteLabel_ = nullptr;
    QProgressBar* progress_ = nullptr;
    QPushButton* updateButton_ = nullptr;
    QPushButton* cancelButton_ = nullptr;
    QTimer* progressTimer_ = nullptr;
    QFutureWatcher<UpdateCheck>* checkWatcher_ = nullptr;
    QFutureWatcher<InstallOutcome>* downloadWatcher_ = nullptr;
};

} // namespace tallybird
