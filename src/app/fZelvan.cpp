#include "app/fZelvan.h"

#include "app/ControlHelper.h"
#include "app/Dialogs.h"
#include "app/Handler.h"
#include "app/OperatorGuide.h"
#include "foundation/Clock.h"
#include "foundation/DataFolder.h"
#include "foundation/HttpClient.h"
#include "foundation/TextHelper.h"
#include "ui_fZelvan.h"

#include "app/DataTabs.h"
#include "ui_ChargesTab.h"
#include "ui_DocumentDetailsTab.h"
#include "ui_OrderTab.h"
#include "ui_PaymentTab.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QCompleter>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
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
const QString ProviderName = QStringLiteral("OpenSSL GOST engine (ГОСТ Р 34.10-2001 и 34.10-2012)");

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
    return {QCoreApplication::applicationFilePath(), QCoreApplication::arguments().mid(1),
            QProcessEnvironment::systemEnvironment()};
}

QString StartupOptions::dataOption() const
{
    const QString prefix = QStringLiteral("--data=");
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        if (arguments[i] == u"--data" && i + 1 < arguments.size())
            return arguments[i + 1];
        if (arguments[i].startsWith(prefix))
            return arguments[i].mid(prefix.size());
    }
    return {};
}

QString StartupOptions::dataFolder() const
{
    return LocateDataFolder(dataOption(), QFileInfo(executablePath).absolutePath(), environment);
}

TfmZelvan::TfmZelvan(const StartupOptions& options, QWidget* parent)
    : QMainWindow(parent), ui(std::make_unique<Ui::TfmZelvan>()), executablePath_(options.executablePath),
      arguments_(options.arguments), dataOption_(options.dataOption()), dataFolder_(options.dataFolder()),
      http_(std::make_unique<THttpClient>())
{
    ui->setupUi(this);
    CreateStatusPanels();
    CreateOperationControls();
    PrepareEditableCombos();
    FillFixedLists();
    ConnectFlows();
    ConnectHandler(ui->pcMain, &QTabWidget::currentChanged, this, [this] { pcMainChange(); });
    ConnectSettingsHandlers();
    ConnectPayerIdentifierButtons();
    ConnectFieldFileButtons();
    // F1 and the information tab's «Справка» open the guide at the chapter of the tab in use.
    new OperatorGuide(this, ui->pcMain, ui->tsInfo);

    // Until the window state says otherwise the window opens in the top left corner of the
    // screen, at the size of the form.
    if (const QScreen* screen = this->screen())
        move(screen->availableGeometry().topLeft());

    FormCreate();
}

TfmZelvan::~TfmZelvan()
{
    // Nothing is taken apart while the operation's thread may still report to the window.
    WaitForOperation();
    FormDestroy();
}

void TfmZelvan::FormCreate()
{
    // The steps run in this order; an error in one of them is shown and skips the rest, and the
    // window opens all the same.
    try {
        // The files are named after the executable, as they always were, but kept in the data folder.
        const QString base = QDir(dataFolder_).filePath(QFileInfo(executablePath_).fileName());
        iniFileName_ = ChangeFileExt(base, QStringLiteral(".ini"));
        propFileName_ = ChangeFileExt(iniFileName_, QStringLiteral(".pro"));
        appPath_ = QFileInfo(iniFileName_).path();
        if (!appPath_.endsWith(u'/'))
            appPath_ += u'/';

        debug_ = HasDebugSwitch(QStringLiteral("debug"));
        PrepareDataFolderOnStart();

        ui->gbProvider->setTitle(ProviderName);
        ui->tsGISGMPCharges->ui->cbChargeKind->view()->setMinimumWidth(ChargeKindDropDownWidth);

        ResetViews({ui->tsGISGMPCharges->ui->mmCharges, ui->cbContainer, ui->tsGISGMPPayment->ui->sbPayment,
                    ui->tsGISGMPCharges->ui->sbCharge, ui->tsGISGKXPayment->ui->sbOrder,
                    ui->tsGISGKXCharges->ui->sbDocumentDetails, ui->sbSettings});

        // The charges search fields match the search type from the start.
        ui->tsGISGMPCharges->cbChargeSearchTypeChange();

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

void TfmZelvan::PrepareDataFolderOnStart()
{
    // A folder that cannot be made or written was named to the operator at start; the window
    // opens all the same, on the defaults, and writes nothing there on closing.
    try {
        PrepareDataFolder(dataFolder_);
        dataFolderReady_ = true;
    } catch (...) {
        ShowException(std::current_exception());
        return;
    }
    if (const QString warning = KeyStoreExposureWarning(dataFolder_); !warning.isEmpty())
        ShowWarning(warning);
}

void TfmZelvan::FormDestroy()
{
    // Runs from the destructor, where nothing may escape.
    try {
        if (dataFolderReady_)
            SaveWindowState();
    } catch (...) {
        ShowException(std::current_exception());
    }
}

void TfmZelvan::pcMainChange()
{
    // A status text belongs to the tab it was made on.
    SetStatus(QString());
}

void TfmZelvan::SetStatus(const QString& text, bool repaint)
{
    statusPanels_[2]->setText(text);
    if (repaint)
        ui->sbMain->repaint();
}

QString TfmZelvan::StatusText() const
{
    return statusPanels_[2]->text();
}

bool TfmZelvan::HasDebugSwitch(const QString& name) const
{
    for (const QString& argument : arguments_) {
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
    for (std::size_t i = 0; i < statusPanels_.size(); ++i) {
        auto* panel = new QLabel(ui->sbMain);
        panel->setObjectName(QStringLiteral("sbMainPanel%1").arg(i + 1));
        panel->setTextFormat(Qt::PlainText);
        panel->setMinimumWidth(widths[i]);
        const bool last = i + 1 == statusPanels_.size();
        if (!last)
            panel->setFixedWidth(widths[i]);
        ui->sbMain->addWidget(panel, last ? 1 : 0);
        statusPanels_[i] = panel;
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

void TfmZelvan::FillFixedLists()
{
    for (const QString& name : FixedListNames()) {
        auto* list = findChild<QComboBox*>(name);
        if (!list)
            continue;
        list->addItems(ListItems(name, Now().date()));
        // Nothing is chosen until the field files have been read.
        list->setCurrentIndex(-1);
    }
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

QString TfmZelvan::InfoText() const
{
    QStringList lines{
        QStringLiteral("Версия: 1.2"),
        QString(),
        QStringLiteral("Обмен сообщениями с ГИС ГМП и ГИС ЖКХ через СМЭВ 2."),
        QStringLiteral("Подпись: ") + ProviderName + u'.',
        QStringLiteral("Папка данных: ") + QDir::toNativeSeparators(dataFolder_),
        QStringLiteral("Файл настроек: ") + iniFileName_,
    };
    if (debug_)
        lines << QStringLiteral("Режим отладки: запросы и ответы сохраняются в ") + appPath_;
    return lines.join(u'\n');
}
