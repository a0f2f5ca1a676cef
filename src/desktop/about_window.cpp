#include "desktop/about_window.h"

#include "link/port_directory.h"
#include "link/probe.h"
#include "model/country_table.h"
#include "model/registration_record.h"
#include "platform/log_file.h"
#include "runtime/about_info.h"
#include "web/http_client.h"
#include "web/service_client.h"

#include <QDialogButtonBox>
#include <QFutureWatcher>
#include <QGridLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <QtConcurrent/QtConcurrentRun>

#include <chrono>

namespace tallybird {
namespace {

using namespace std::chrono_literals;

// The probe is a glance at the service: it gives up well before a session
// would, so closing the program never waits long for it.
constexpr HttpTimeouts kProbeTimeouts{3s, 8s, 8s};

QString ToQ(const std::string& text) {
    return QString::fromStdString(text);
}

QLabel* AddLabel(QVBoxLayout* layout, const char* name, const char* designText) {
    auto* label = new QLabel(QString::fromUtf8(designText));
    label->setObjectName(QString::fromUtf8(name));
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(label);
    return label;
}

QPushButton* AddButton(QDialogButtonBox* box, const char* name, const char* caption,
                       QDialogButtonBox::ButtonRole role) {
    QPushButton* button = box->addButton(QString::fromUtf8(caption), role);
    button->setObjectName(QString::fromUtf8(name));
    return button;
}

} // namespace

AboutWindow::AboutWindow(const SharedState& state, const Settings& settings, Dialogs& dialogs,
                         QWidget* parent, ServiceProbe probe)
    : QDialog(parent), state_(state), settings_(settings), dialogs_(dialogs),
      probe_(std::move(probe)) {
    setObjectName(QStringLiteral("frmAbout"));
    setWindowTitle(QStringLiteral("About Tallybird"));
    setModal(true);
    if (!probe_) {
        probe_ = [url = state.serverBaseUrl] {
            CurlHttpClient http(kProbeTimeouts);
            ServiceClient service(url, http);
            return ServiceAnswers(service);
        };
    }

    auto* layout = new QVBoxLayout(this);
    auto* heading = new QLabel(QStringLiteral("<b>Tallybird</b><br>Kivo Scanner companion"));
    heading->setObjectName(QStringLiteral("Image1"));
    layout->addWidget(heading);
    versionLabel_ = AddLabel(layout, "lblVersion", "Version");
    nameLabel_ = AddLabel(layout, "RegNameLabel", "Registered Name: Not Registered");
    serialLabel_ = AddLabel(layout, "lblSerialNumber", "Scanner S/N: Not Connected");
    scannerVersionLabel_ =
        AddLabel(layout, "lblScannerVersionLabel", "Scanner Version: Not Connected");
    countryLabel_ = AddLabel(layout, "CountryLabel", "Registration Country: United Kingdom");
    databaseLabel_ = AddLabel(layout, "lblDatabaseLabel", "Tallybird Database Offline");
    // How the keyboard wedge types, once it has run.
    const std::string keystrokes = state_.KeystrokePath();
    AddLabel(layout, "lblKeystrokes", "")
        ->setText(ToQ("Keyboard wedge keystrokes: " +
                      (keystrokes.empty() ? std::string("not used yet") : keystrokes)));
    // Where support finds what happened.
    AddLabel(layout, "lblLogFile", "")
        ->setText(QStringLiteral("Log: ") + ToQ(LogFile::DefaultFile().string()));

    auto* buttons = new QDialogButtonBox(this);
    QPushButton* ok = AddButton(buttons, "cmdOK", "OK", QDialogButtonBox::AcceptRole);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(AddButton(buttons, "cmdSysInfo", "&System Info...", QDialogButtonBox::ActionRole),
            &QPushButton::clicked, this, &AboutWindow::ShowSystemInfo);
    connect(AddButton(buttons, "RegistrationButton", "Change Registration",
                      QDialogButtonBox::ActionRole),
            &QPushButton::clicked, this, &AboutWindow::ChangeRegistration);
    layout->addWidget(buttons);

    probeWatcher_ = new QFutureWatcher<bool>(this);
    connect(probeWatcher_, &QFutureWatcher<bool>::finished, this, &AboutWindow::ProbeDone);
    Fill();
}

// A probe still under way finishes on its pool thread; nothing it returns
// reaches this window any more.
AboutWindow::~AboutWindow() = default;

void AboutWindow::Fill() {
    RegistrationRecord record = ReadRegistrationRecord(state_.dataFolder);
    ApplyRegistrationDefaults(record);
    AboutFacts facts = CollectAboutFacts(state_, record);
    facts.databaseOnline = online_;
    const AboutLines lines = AboutLinesFor(facts, BuildCountryTable());
    QLabel* const labels[] = {versionLabel_,        nameLabel_,    serialLabel_,
                              scannerVersionLabel_, countryLabel_, databaseLabel_};
    for (std::size_t i = 0; i < lines.size(); ++i) {
        labels[i]->setText(ToQ(lines[i]));
    }
    StartProbe();
}

void AboutWindow::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    Fill();
}

void AboutWindow::StartProbe() {
    if (probeWatcher_->isRunning()) {
        probeAgain_ = true; // one more once this one is back
        return;
    }
    probeWatcher_->setFuture(QtConcurrent::run(probe_));
}

void AboutWindow::ProbeDone() {
    online_ = probeWatcher_->result();
    databaseLabel_->setText(online_ ? QStringLiteral("Tallybird Database Online")
                                    : QStringLiteral("Tallybird Database Offline"));
    Q_EMIT ProbeAnswered(online_);
    if (probeAgain_) {
        probeAgain_ = false;
        StartProbe();
    }
}

void AboutWindow::ShowSystemInfo() {
    SystemInfoDialog info(settings_, this);
    info.exec();
}

void AboutWindow::ChangeRegistration() {
    if (dialogs_.Message(this, kApplicationTitle,
                         "Changing registration country will require the scanner to be reset, do "
                         "you want to continue?",
                         DialogIcon::Question, DialogButtons::YesNo) != DialogAnswer::Yes) {
        return;
    }
    changeRegistration_ = true;
    accept();
}

SystemInfoDialog::SystemInfoDialog(const Settings& settings, QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("SystemInfo"));
    setWindowTitle(QStringLiteral("System Info"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QStringLiteral(
        "Serial ports of this computer. Detection asks only the ports marked as probed "
        "whether a Kivo Scanner is there.")));
    auto* table = new QTreeWidget(this);
    table->setObjectName(QStringLiteral("PortTable"));
    table->setRootIsDecorated(false);
    table->setHeaderLabels({QStringLiteral("Port"), QStringLiteral("Device"),
                            QStringLiteral("Description"), QStringLiteral("Status"),
                            QStringLiteral("Probed")});
    PortDirectory directory = PortDirectory::FromSettings(settings);
    directory.Refresh();
    for (int port = kFirstPort; port <= kLastPort; ++port) {
        const PortStatus status = directory.Status(port);
        if (status == PortStatus::kAbsent) {
            continue;
        }
        const std::string description = directory.Description(port);
        table->addTopLevelItem(new QTreeWidgetItem(
            {QString::number(port), ToQ(directory.Path(port).string()), ToQ(description),
             QString::fromUtf8(PortStatusWord(status)),
             IsProbeCandidate(description) ? QStringLiteral("yes") : QStringLiteral("no")}));
    }
    if (table->topLevelItemCount() == 0) {
        layout->addWidget(new QLabel(QStringLiteral("No serial port is present.")));
    }
    table->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    layout->addWidget(table);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    resize(560, 320);
}

} // namespace tallybird
