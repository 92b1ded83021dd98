#pragma once

#include <QDialog>
#include <QStringList>

#include <memory>

namespace Ui {
class TfmPayerIdentifier;
}

// The small modal dialog in which the operator enters the kind of payer and its tax number or
// identity document and gets the GIS GMP payer identifier back.
class TfmPayerIdentifier final : public QDialog {
    Q_OBJECT

  public:
    explicit TfmPayerIdentifier(QWidget* owner);
    ~TfmPayerIdentifier() override;

    // True when the operator pressed "Да" and an identifier could be computed.
    bool Execute();

    // The computed identifiers, one per entry.
    const QStringList& PayerIdentifiers() const { return FPayerIdentifiers; }

  private slots:
    void cbFaceChange();
    void cbDocType1Change();
    void buOkClick();

  private:
    std::unique_ptr<Ui::TfmPayerIdentifier> ui;
    QStringList FPayerIdentifiers;
};
