#include "desktop/welcome_page.h"

#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace tallybird {

WelcomePage::WelcomePage(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("FrmStartup"));
    setWindowTitle(QStringLiteral("Kivo Registration"));
    setModal(true);

    auto* layout = new QVBoxLayout(this);
    auto* label = new QLabel(this);
    label->setObjectName(QStringLiteral("Label1"));
    label->setWordWrap(true);
    QFont font = label->font();
    font.setPointSize(14);
    label->setFont(font);
    label->setText(QStringLiteral(
        "Thank you for your purchase and installing the Kivo Scanner.\n\n"
        "By clicking next you are confirming that you have read and agreed to the terms and "
        "conditions on the use of this software. A copy of the term and conditions is available "
        "on the website.\n\n"
        "To complete the installation and to register the scanner for the warranty, please "
        "click 'Next'"));
    layout->addWidget(label);

    auto* next = new QPushButton(QStringLiteral("Next"), this);
    next->setObjectName(QStringLiteral("Command1"));
    next->setDefault(true);
    connect(next, &QPushButton::clicked, this, &QDialog::accept);
    layout->addWidget(next, 0, Qt::AlignRight);
    resize(560, 360);
}

} // namespace tallybird
