#include "app/fPayerIdentifier.h"

#include "ui_fPayerIdentifier.h"

#include "app/Handler.h"

#include "foundation/Exceptions.h"
#include "foundation/TextHelper.h"
#include "gisgmp/GisGmpCodes.h"

#include <QAbstractItemView>

TfmPayerIdentifier::TfmPayerIdentifier(QWidget* owner)
    : QDialog(owner), ui(std::make_unique<Ui::TfmPayerIdentifier>())
{
    ui->setupUi(this);
    // The document names are long; the list opens wider than the field.
    ui->cbDocType1->view()->setMinimumWidth(700);
    // Some names are longer than any screen is wide, so the field cuts them; the chosen one is
    // repeated whole, line-wrapped to the field's width, under it.
    ui->laDocTypeName1->setFixedWidth(ui->cbDocType1->sizeHint().width());
    ConnectHandler(ui->cbDocType1, &QComboBox::currentIndexChanged, this, [this] { cbDocType1Change(); });

    ConnectHandler(ui->cbFace, &QComboBox::currentIndexChanged, this, [this] { cbFaceChange(); });
    ConnectHandler(ui->buOk, &QPushButton::clicked, this, [this] { buOkClick(); });
    ConnectHandler(ui->buCancel, &QPushButton::clicked, this, [this] { reject(); });

    ui->cbFace->setCurrentIndex(0);
    ui->cbCountry1->setCurrentIndex(0);
    ui->cbDocType1->setCurrentIndex(0);
    cbDocType1Change();
    for (QLineEdit* edit : {ui->edDocNumber1, ui->edINN2, ui->edKPP2, ui->edKIO3, ui->edKPP3, ui->edINN4})
        edit->clear();
    cbFaceChange();
}

TfmPayerIdentifier::~TfmPayerIdentifier() = default;

bool TfmPayerIdentifier::Execute()
{
    return exec() == QDialog::Accepted;
}

void TfmPayerIdentifier::cbFaceChange()
{
    const QString page = ItemCode(ui->cbFace->currentText());
    for (int i = 0; i < ui->nbFace->count(); ++i) {
        if (ui->nbFace->widget(i)->windowTitle() == page) {
            ui->nbFace->setCurrentIndex(i);
            return;
        }
    }
}

void TfmPayerIdentifier::cbDocType1Change()
{
    // A word-wrapped label asks its layout for a guessed width; the height is set for the real one.
    ui->laDocTypeName1->setText(ui->cbDocType1->currentText());
    ui->laDocTypeName1->setFixedHeight(ui->laDocTypeName1->heightForWidth(ui->laDocTypeName1->width()));
}

void TfmPayerIdentifier::buOkClick()
{
    const QString kind = ItemCode(ui->cbFace->currentText());
    QString citizenship = ItemCode(ui->cbCountry1->currentText());
    if (citizenship.isEmpty())
        citizenship = ui->cbCountry1->currentText();
    if (citizenship.isEmpty())
        citizenship = QStringLiteral("643");

    QString identifiers;
    if (kind == u"1")
        identifiers = MakePayerIdentifiers(kind, QString(), QString(), citizenship, ui->edDocNumber1->text(),
                                           ItemCode(ui->cbDocType1->currentText()));
    else if (kind == u"2")
        identifiers = MakePayerIdentifiers(kind, ui->edINN2->text(), ui->edKPP2->text(), citizenship,
                                           QString(), QString());
    else if (kind == u"3")
        identifiers = MakePayerIdentifiers(kind, ui->edKIO3->text(), ui->edKPP3->text(), citizenship,
                                           QString(), QString());
    else if (kind == u"4")
        identifiers =
            MakePayerIdentifiers(kind, ui->edINN4->text(), QString(), citizenship, QString(), QString());
    else
        throw Exception(QStringLiteral("Тип лица не определен."));

    FPayerIdentifiers = identifiers.isEmpty() ? QStringList() : identifiers.split(u';');
    // The dialog stays open on every error so the operator can correct the data.
    if (FPayerIdentifiers.isEmpty())
        throw Exception(QStringLiteral("Невозможно вычислить идентификатор плательщика.\r"
                                       "Данные неполные или неверные."));
    accept();
}
