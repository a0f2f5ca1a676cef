#include "desktop/update_window.h"

#include "web/http_client.h"
#include "web/service_client.h"

#include <QCloseEvent>
#include <QFutureWatcher>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>
#include <QtConcurrent/QtConcurrentRun>

#include <utility>

namespace tallybird {
namespace {

constexpr int kProgressInterval = 100; // ms

QString ToQ(const std::string& text) {
    return QString::fromStdString(text);
}

} // namespace

UpdateWindow::UpdateWindow(std::string serviceBaseUrl, std::filesystem::path dataFolder,
                           Dialogs& dialogs, QWidget* parent, bool selfUpdate,
                           InstallerStarter start)
    : QDialog(parent), serviceBaseUrl_(std::move(serviceBaseUrl)),
      dataFolder_(std::move(dataFolder)), dialogs_(dialogs), selfUpdate_(selfUpdate),
      start_(std::move(start)) {
    setObjectName(QStringLiteral("FrmUpdate"));
    setWindowTitle(QStringLiteral("Check for Updates"));
    setModal(true);

    auto* layout = new QVBoxLayout(this);
    versionLabel_ = new QLabel(ToQ("Current Version: " + RunningVersion().Text()), this);
    versionLabel_->setObjectName(QStringLiteral("VersionLabel"));
    availableLabel_ = new QLabel(QStringLiteral("Latest Version: "), this);
    availableLabel_->setObjectName(QStringLiteral("AvailableLabel"));
    noteLabel_ = new QLabel(QString::fromUtf8(kPackageManagerNote), this);
    noteLabel_->setObjectName(QStringLiteral("PackageManagerNote"));
    noteLabel_->setWordWrap(true);
    noteLabel_->setVisible(!selfUpdate_);
    progress_ = new QProgressBar(this);
    progress_->setObjectName(QStringLiteral("DownloadProgress"));
    progress_->setVisible(false);
    layout->addWidget(versionLabel_);
    layout->addWidget(availableLabel_);
    layout->addWidget(noteLabel_);
    layout->addWidget(progress_);

    auto* buttons = new QHBoxLayout;
    updateButton_ = new QPushButton(QStringLiteral("Update"), this);
    updateButton_->setObjectName(QStringLiteral("UpdateButton"));
    updateButton_->setEnabled(false);
    updateButton_->setVisible(selfUpdate_);
    cancelButton_ = new QPushButton(QStringLiteral("Exit"), this);
    cancelButton_->setObjectName(QStringLiteral("CancelButton"));
    buttons->addStretch(1);
    buttons->addWidget(updateButton_);
    buttons->addWidget(cancelButton_);
    layout->addLayout(buttons);
    connect(updateButton_, &QPushButton::clicked, this, &UpdateWindow::StartUpdate);
    connect(cancelButton_, &QPushButton::clicked, this, &QDialog::reject);

    progressTimer_ = new QTimer(this);
    progressTimer_->setInterval(kProgressInterval);
    connect(progressTimer_, &QTimer::timeout, this, &UpdateWindow::ShowDownloadProgress);

    checkWatcher_ = new QFutureWatcher<UpdateCheck>(this);
    connect(checkWatcher_, &QFutureWatcher<UpdateCheck>::finished, this, &UpdateWindow::ShowCheck);
    downloadWatcher_ = new QFutureWatcher<InstallOutcome>(this);
    connect(downloadWatcher_, &QFutureWatcher<InstallOutcome>::finished, this,
            &UpdateWindow::DownloadDone);

    checkWatcher_->setFuture(QtConcurrent::run([url = serviceBaseUrl_] {
        CurlHttpClient http;
        ServiceClient service(url, http);
        return CheckForUpdate(service, RunningVersion());
    }));
}

// A download under way is abandoned; its thread removes what it wrote.
UpdateWindow::~UpdateWindow() {
    if (download_) {
        download_->abandoned = true;
    }
}

void UpdateWindow::ShowCheck() {
    const UpdateCheck check = checkWatcher_->result();
    versionLabel_->setText(ToQ(check.currentLine));
    availableLabel_->setText(ToQ(check.latestLine));
    newerVersion_ = check.newerVersion;
    updateButton_->setEnabled(selfUpdate_ && newerVersion_.has_value());
    Q_EMIT Checked();
}

bool UpdateWindow::Downloading() const {
    return downloadWatcher_->isRunning();
}

void UpdateWindow::StartUpdate() {
    if (!selfUpdate_ || !newerVersion_ || Downloading()) {
        return;
    }
    updateButton_->setText(QStringLiteral("Please Wait"));
    updateButton_->setEnabled(false);
    progress_->setRange(0, 0); // busy until the size is known
    progress_->setVisible(true);
    download_ = std::make_shared<DownloadState>();
    progressTimer_->start();
    downloadWatcher_->setFuture(
        QtConcurrent::run([url = serviceBaseUrl_, folder = dataFolder_, version = *newerVersion_,
                           start = start_, shared = download_] {
            CurlHttpClient http;
            ServiceClient service(url, http);
            return DownloadAndStartInstaller(
                service, version, folder,
                [shared](std::uint64_t received, std::uint64_t total) {
                    shared->received = received;
                    shared->total = total;
                    return !shared->abandoned.load();
                },
                start);
        }));
}

void UpdateWindow::ShowDownloadProgress() {
    if (!download_) {
        return;
    }
    const std::uint64_t total = download_->total;
    if (total == 0) {
        return;
    }
    // Kilobytes keep the bar's int range for any installer size.
    progress_->setRange(0, static_cast<int>(total / 1024 + 1));
    progress_->setValue(static_cast<int>(download_->received / 1024));
}

void UpdateWindow::DownloadDone() {
    progressTimer_->stop();
    const InstallOutcome outcome = downloadWatcher_->result();
    if (outcome.started) {
        Q_EMIT InstallerStarted();
        accept();
        return;
    }
    progress_->setVisible(false);
    dialogs_.Message(this, "Error", "Unable to download new version", DialogIcon::Critical,
                     DialogButtons::Ok);
    updateButton_->setText(QStringLiteral("Update"));
    updateButton_->setEnabled(true);
}

void UpdateWindow::closeEvent(QCloseEvent* event) {
    if (download_) {
        download_->abandoned = true;
    }
    QDialog::closeEvent(event);
}

void UpdateWindow::reject() {
    if (download_) {
        download_->abandoned = true;
    }
    QDialog::reject();
}

} // namespace tallybird
