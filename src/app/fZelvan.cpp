#include "app/fZelvan.h"

#include "app/Dialogs.h"
#include "ui_fZelvan.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QCompleter>
#include <QCoreApplication>
#include <QFileInfo>
#include <QLabel>
#include <QPlainTextEdit>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>

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
    connect(ui->pcMain, &QTabWidget::currentChanged, this, &TfmZelvan::pcMainChange);
    ConnectSettingsHandlers();
    ConnectPayerIdentifierButtons();

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
        // The charges search-type handler runs here, so the search fields match the search type.

        ui->mmInfo->setPlainText(InfoText());

        // A failure to list the containers is reported and creation goes on.
        ListKeyContainers();
        LoadSettings();
        LoadWindowState();
        // Then the four field files of the current folder.
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
        Charges.clear();
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
