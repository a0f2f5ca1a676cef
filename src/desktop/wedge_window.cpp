#include "desktop/wedge_window.h"

#include "runtime/keyboard_wedge.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>

namespace tallybird {

WedgeWindow::WedgeWindow(SharedState& state, Settings& settings, QWidget* parent)
    : QDialog(parent), state_(state), settings_(settings) {
    setObjectName(QStringLiteral("frmWedge"));
    setWindowTitle(QStringLiteral("Keyboard Wedge Setup"));

    auto* label = new QLabel(QStringLiteral("Wedge end character code"), this);
    label->setObjectName(QStringLiteral("Label1"));
    text1_ = new QLineEdit(QString::number(state_.wedgeEndChar.load()), this);
    text1_->setObjectName(QStringLiteral("Text1"));
    label->setBuddy(text1_);

    auto* delayLabel = new QLabel(QStringLiteral("Pause between keystrokes (ms)"), this);
    delayLabel->setObjectName(QStringLiteral("lblKeyDelay"));
    keyDelay_ = new QSpinBox(this);
    keyDelay_->setObjectName(QStringLiteral("txtKeyDelay"));
    keyDelay_->setRange(0, kMaxWedgeKeyDelayMs);
    keyDelay_->setValue(settings_.WedgeKeyDelay());
    keyDelay_->setToolTip(QStringLiteral("Raise it when a slow program misses keystrokes"));
    delayLabel->setBuddy(keyDelay_);

    auto* buttons = new QDialogButtonBox(this);
    QPushButton* ok = buttons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole);
    ok->setObjectName(QStringLiteral("OKButton"));
    ok->setDefault(true);
    QPushButton* cancel =
        buttons->addButton(QStringLiteral("Cancel"), QDialogButtonBox::RejectRole);
    cancel->setObjectName(QStringLiteral("CancelButton"));
    connect(ok, &QPushButton::clicked, this, &WedgeWindow::Accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

    auto* layout = new QGridLayout(this);
    layout->addWidget(label, 0, 0);
    layout->addWidget(text1_, 0, 1);
    layout->addWidget(delayLabel, 1, 0);
    layout->addWidget(keyDelay_, 1, 1);
    layout->addWidget(buttons, 2, 0, 1, 2);
}

void WedgeWindow::Accept() {
    const int code = WedgeEndCharFromEntry(text1_->text().toStdString());
    state_.wedgeEndChar = code;
    settings_.SetWedgeEnd(code);
    settings_.SetWedgeKeyDelay(keyDelay_->value());
    accept();
}

} // namespace tallybird
