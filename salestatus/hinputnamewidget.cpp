#include "hinputnamewidget.h"
#include "ui_hinputnamewidget.h"

#include "translatestring.h"

HInputNameWidget::HInputNameWidget(QString name, QWidget *parent)
    : QDialog(parent)
    , name(std::move(name))
    , ui(new Ui::HInputNameWidget)
{
    ui->setupUi(this);
    connect(ui->buttonBox, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(ui->buttonBox, &QDialogButtonBox::rejected, this, &QDialog::reject);
    // The layout moves from the designer's container onto the dialog so that the row and the
    // buttons follow the dialog's size.
    ui->verticalLayout->setContentsMargins(10, 10, 10, 10);
    setLayout(ui->verticalLayout);

    ui->label_name->setText(TranslateString(QStringLiteral("Name")));
    ui->lineEdit_name->setText(this->name);
    setWindowTitle(TranslateString(QStringLiteral("Input Brand Name")));
}

HInputNameWidget::~HInputNameWidget()
{
    delete ui;
}

void HInputNameWidget::on_buttonBox_accepted()
{
    const QString text = ui->lineEdit_name->text();
    if (!text.isEmpty())
        name = text;
}
