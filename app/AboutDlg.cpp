#include "app/AboutDlg.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/TovinMainDlg.h"
#include "util/Version.h"

CAboutDlg::CAboutDlg(QWidget* parent) : CTovinDialog(parent), m_product(new QLabel(this))
{
    setWindowTitle(QStringLiteral("ZENT I2C About Sentrix I2C Utility"));
    auto* icon = new QLabel(this);
    icon->setPixmap(ApplicationIcon().pixmap(48, 48));
    icon->setAlignment(Qt::AlignTop);

    m_product->setText(QString::asprintf("%s Version %s", "Sentrix II I2C", ProgramVersion()));
    auto* text = new QVBoxLayout;
    text->addWidget(m_product);
    text->addWidget(new QLabel(QStringLiteral("Copyright (C) Norvane Semiconductor Corporation"), this));
    text->addWidget(new QLabel(QStringLiteral("Evaluation utility for the Sentrix II power, thermal and\n"
                                              "control plane management device family."),
                               this));
    auto* row = new QHBoxLayout;
    row->addWidget(icon);
    row->addLayout(text, 1);

    auto* buttons = new QDialogButtonBox(this);
    buttons->addButton(QStringLiteral("&OK"), QDialogButtonBox::AcceptRole)->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &CAboutDlg::accept);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(row);
    layout->addWidget(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

QString CAboutDlg::ProductLine() const
{
    return m_product->text();
}
