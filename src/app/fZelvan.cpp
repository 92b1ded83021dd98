#include "app/fZelvan.h"

#include "app/ControlHelper.h"
#include "app/Dialogs.h"
#include "foundation/Clock.h"
#include "foundation/TextHelper.h"
#include "ui_fZelvan.h"
#include "values/ValueProvider.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QCompleter>
#include <QCoreApplication>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QTextDocument>

namespace {

// What stands behind every hash and signature here: OpenSSL with its GOST engine.
const QString ProviderName = QStringLiteral("OpenSSL GOST engine (ГОСТ Р 34.10-2001, ГОСТ Р 34.11-94)");

// The charge kinds are whole sentences; the list has to be wider than the field to show them.
constexpr int ChargeKindDropDownWidth = 550;

// The path with the extension of its file name replaced, or added when it has none.
QString ChangeFileExt(const QString& path, const QString& extension)
{
    const qsizetype nameStart = path.lastIndexOf(u'/') + 1;
    const qsizetype dot = path.lastIndexOf(u'.');
    const qsizetype stemEnd = dot >= nameStart ? dot : path.size();
    return path.left(stemEnd) + extension;
}

} // namespace

StartupOptions StartupOptions::fromApplication()
{
    return {QCoreApplication::applicationFilePath(), QCoreApplication::arguments().mid(1)};
}

TfmZelvan::TfmZelvan(const StartupOptions& options, QWidget* parent)
    : QMainWindow(parent), ui(std::make_unique<Ui::TfmZelvan>()), FExecutablePath(options.executablePath),
      FArguments(options.arguments)
{
    ui->setupUi(this);
    CreateStatusPanels();
    PrepareEditableCombos();
    PrepareYearLists();
    ConnectDependentFields();
    ConnectFlows();
    connect(ui->pcMain, &QTabWidget::currentChanged, this, &TfmZelvan::pcMainChange);
    ConnectSettingsHandlers();
    ConnectPayerIdentifierButtons();
    ConnectFieldFileButtons();

    // Until the window state says otherwise the window opens in the top left corner of the
    // screen, at the size of the form.
    if (const QScreen* screen = this->screen())
        move(screen->availableGeometry().topLeft());

    FormCreate();
}

TfmZelvan::~TfmZelvan()
{
    FormDestroy();
}

void TfmZelvan::FormCreate()
{
    // The steps run in this order; an error in one of them is shown and skips the rest, and the
    // window opens all the same.
    try {
        FIniFileName = ChangeFileExt(FExecutablePath, QStringLiteral(".ini"));
        FPropFileName = ChangeFileExt(FIniFileName, QStringLiteral(".pro"));
        FAppPath = QFileInfo(FIniFileName).path();
        if (!FAppPath.endsWith(u'/'))
            FAppPath += u'/';

        FDebug = HasDebugSwitch(QStringLiteral("debug"));

        ui->gbProvider->setTitle(ProviderName);
        ui->cbChargeKind->view()->setMinimumWidth(ChargeKindDropDownWidth);

        ResetViews({ui->mmCharges, ui->cbContainer, ui->sbPayment, ui->sbCharge, ui->sbOrder,
                    ui->sbDocumentDetails, ui->sbSettings});

        // The charges search fields match the search type from the start.
        cbChargeSearchTypeChange();

        ui->mmInfo->setPlainText(InfoText());

        // A failure to list the containers is reported and creation goes on.
        ListKeyContainers();
        LoadSettings();
        LoadWindowState();
        // The four data tabs from their files in the current folder.
        LoadFieldFiles();
    } catch (...) {
        ShowException(std::current_exception());
    }
}

void TfmZelvan::FormDestroy()
{
    // Runs from the destructor, where nothing may escape. The window state is stored first,
    // then the charges are let go.
    try {
        SaveWindowState();
        ClearCharges();
    } catch (...) {
        ShowException(std::current_exception());
    }
}

void TfmZelvan::pcMainChange(int /*index*/)
{
    // A status text belongs to the tab it was made on.
    SetStatus(QString());
}

void TfmZelvan::SetStatus(const QString& text, bool repaint)
{
    FStatusPanels[2]->setText(text);
    if (repaint)
        ui->sbMain->repaint();
}

QString TfmZelvan::StatusText() const
{
    return FStatusPanels[2]->text();
}

bool TfmZelvan::HasDebugSwitch(const QString& name) const
{
    for (const QString& argument : FArguments) {
        if (argument.size() < 2 || (argument[0] != u'-' && argument[0] != u'/'))
            continue;
        if (QStringView(argument).mid(1).compare(name, Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

void TfmZelvan::ResetViews(const QList<QWidget*>& controls)
{
    for (QWidget* control : controls) {
        if (auto* memo = qobject_cast<QPlainTextEdit*>(control)) {
            memo->clear();
        } else if (auto* box = qobject_cast<QScrollArea*>(control)) {
            box->horizontalScrollBar()->setValue(0);
            box->verticalScrollBar()->setValue(0);
        } else if (auto* combo = qobject_cast<QComboBox*>(control)) {
            combo->clear();
        }
    }
}

void TfmZelvan::CreateStatusPanels()
{
    // Three panels; the last one takes the rest of the bar, since it carries the status texts.
    const std::array<int, 3> widths{100, 50, 50};
    for (std::size_t i = 0; i < FStatusPanels.size(); ++i) {
        auto* panel = new QLabel(ui->sbMain);
        panel->setObjectName(QStringLiteral("sbMainPanel%1").arg(i + 1));
        panel->setTextFormat(Qt::PlainText);
        panel->setMinimumWidth(widths[i]);
        const bool last = i + 1 == FStatusPanels.size();
        if (!last)
            panel->setFixedWidth(widths[i]);
        ui->sbMain->addWidget(panel, last ? 1 : 0);
        FStatusPanels[i] = panel;
    }
}

void TfmZelvan::PrepareEditableCombos()
{
    // An editable combo box takes whatever the operator types and only offers its items. Qt's
    // default completion would finish "0" into "00.00.0000" in place, or turn "пд" into "ПД"
    // when the field is left, so the suggestions are shown in a list and chosen on purpose.
    const QList<QComboBox*> combos = findChildren<QComboBox*>();
    for (QComboBox* combo : combos) {
        if (!combo->isEditable() || !combo->completer())
            continue;
        combo->completer()->setCompletionMode(QCompleter::PopupCompletion);
        combo->completer()->setCaseSensitivity(Qt::CaseSensitive);
    }
}

void TfmZelvan::PrepareYearLists()
{
    // The lists began in 2016 and must reach the current period whenever the client runs, and
    // the next year for payments made ahead. Field files keep the year as text, so older files
    // still find their items.
    const int lastYear = Now().date().year() + 1;
    for (QComboBox* years : {ui->cbYear, ui->cbYear2}) {
        bool ok = false;
        int year = years->itemText(years->count() - 1).toInt(&ok);
        while (ok && year < lastYear)
            years->addItem(QString::number(++year));
    }
}

void TfmZelvan::ConnectDependentFields()
{
    connect(ui->cbChargeSearchType, &QComboBox::currentIndexChanged, this,
            &TfmZelvan::cbChargeSearchTypeChange);
    connect(ui->cbChargeSearchType2, &QComboBox::currentIndexChanged, this,
            &TfmZelvan::cbChargeSearchType2Change);
    connect(ui->cbOrderType, &QComboBox::currentIndexChanged, this, &TfmZelvan::cbOrderTypeChange);
    connect(ui->cbChangeStatus2, &QComboBox::currentIndexChanged, this, &TfmZelvan::cbChangeStatus2Change);
}

void TfmZelvan::cbChargeSearchTypeChange()
{
    const int k = SelectedIndex(ui->cbChargeSearchType->currentIndex(), 0);
    SetControlsEnabled({ui->edSupplierBillID}, k == 0 || k == 1);
    SetControlsEnabled({ui->edPayerIdentifiers, ui->buAddIdentifier}, k == 0 || k == 2);
}

void TfmZelvan::cbChargeSearchType2Change()
{
    const int k = SelectedIndex(ui->cbChargeSearchType2->currentIndex(), 0);
    SetControlsEnabled({ui->edPaymentDocumentID}, k == 0 || k == 1);
    SetControlsEnabled({ui->cbYear, ui->cbMonth}, k == 0 || k == 2 || k == 3 || k == 4);
    SetControlsEnabled({ui->edUnifiedAccountNumber}, k == 0 || k == 2);
    SetControlsEnabled({ui->edFIASHouseGuid, ui->edPaymentDocumentNumber, ui->edAccountNumber},
                       k == 0 || k == 3);
    SetControlsEnabled({ui->edServiceID}, k == 0 || k == 4);
}

void TfmZelvan::cbOrderTypeChange()
{
    // A cancellation needs only the order identifier; the order type does not matter then.
    if (ui->cbChangeStatus2->currentIndex() == 1)
        return;
    const int k = SelectedIndex(ui->cbOrderType->currentIndex(), 0);
    SetControlsEnabled({ui->cbPaymentDocumentID}, k == 0 || k == 1);
    SetControlsEnabled({ui->cbYear2, ui->cbMonth2}, k == 0 || k == 2 || k == 4 || k == 5 || k == 6);
    SetControlsEnabled({ui->edUnifiedAccountNumber2}, k == 0 || k == 2);
    SetControlsEnabled({ui->edPaymentDocumentNumber2}, k == 0 || k == 3);
    SetControlsEnabled({ui->edAccountNumber2}, k == 0 || k == 4);
    SetControlsEnabled({ui->edServiceID2}, k == 0 || k == 5);
    SetControlsEnabled({ui->gbConsumer}, k == 0 || k == 6);
}

void TfmZelvan::cbChangeStatus2Change()
{
    const bool cancel = ui->cbChangeStatus2->currentIndex() == 1;
    // The order identifier is made of the order date, number and subsystem code.
    SetControlsEnabled({ui->gbOrder, ui->gbPaymentRecipient, ui->gbSupplier, ui->gbConsumer, ui->gbExecutor},
                       !cancel, {ui->edOrderDate, ui->edOrderNum, ui->edSubSystem2});
    SetControlsEnabled({ui->edChangeStatusReason2}, cancel);
    cbOrderTypeChange();
}

QWidget* TfmZelvan::Control(const QString& name) const
{
    auto* control = findChild<QWidget*>(name);
    if (!control)
        throw Exception(QStringLiteral("Нет поля <") + name + u'>');
    return control;
}

QString TfmZelvan::ControlText(const QString& name) const
{
    QWidget* control = Control(name);
    if (auto* edit = qobject_cast<QLineEdit*>(control))
        return edit->text();
    if (auto* combo = qobject_cast<QComboBox*>(control))
        return combo->currentText();
    if (auto* memo = qobject_cast<QPlainTextEdit*>(control)) {
        // The raw text, since the plain-text view turns a non-breaking space into an ordinary one
        // and the operator's text must reach the file and the message as typed. A memo's lines are
        // separated by CR LF, as the messages have always carried them; a line broken with
        // Shift+Enter is a line like any other.
        QString text = memo->document()->toRawText();
        text.replace(QChar::ParagraphSeparator, u'\n').replace(QChar::LineSeparator, u'\n');
        return text.replace(u'\n', QStringLiteral("\r\n"));
    }
    throw Exception(QStringLiteral("Поле <") + name + QStringLiteral("> не содержит текста"));
}

int TfmZelvan::ControlIndex(const QString& name) const
{
    if (auto* combo = qobject_cast<QComboBox*>(Control(name)))
        return combo->currentIndex();
    throw Exception(QStringLiteral("Поле <") + name + QStringLiteral("> не является списком"));
}

QString TfmZelvan::GetFieldValue(const QString& name)
{
    return ::GetFieldValue(
        name, *this,
        TValuesState{FValuesType, FExecuteDateTime, FPagingPageLength, FPagingPageNumber, Now().date()});
}

QString TfmZelvan::InfoText() const
{
    QStringList lines{
        QStringLiteral("Версия: 1.2"),
        QString(),
        QStringLiteral("Обмен сообщениями с ГИС ГМП и ГИС ЖКХ через СМЭВ 2."),
        QStringLiteral("Подпись: ") + ProviderName + u'.',
        QStringLiteral("Файл настроек: ") + FIniFileName,
    };
    if (FDebug)
        lines << QStringLiteral("Режим отладки: запросы и ответы сохраняются в ") + FAppPath;
    return lines.join(u'\n');
}
