#include "app/JournalTab.h"

#include "ui_JournalTab.h"

#include "app/Dialogs.h"
#include "app/Handler.h"
#include "foundation/AtomicFileWriter.h"
#include "foundation/XmlDocument.h"
#include "foundation/XmlHelper.h"
#include "journal/Journal.h"
#include "journal/JournalExport.h"

#include <QAbstractTableModel>
#include <QColor>
#include <QDialogButtonBox>
#include <QFont>
#include <QFontDatabase>
#include <QGroupBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QSplitter>
#include <QVBoxLayout>

namespace {

constexpr int PageRows = 100;

enum Column {
    timeColumn,
    operationColumn,
    outcomeColumn,
    subjectColumn,
    amountColumn,
    packageColumn,
    signerColumn,
    columnCount
};

QString PackageText(const ExchangeRecord& record)
{
    return record.identifiers.packageId.isEmpty() ? record.identifiers.messageGuid
                                                  : record.identifiers.packageId;
}

} // namespace

// The rows the table has fetched so far: a page more each time the view scrolls to the end.
class JournalTableModel final : public QAbstractTableModel {
  public:
    using QAbstractTableModel::QAbstractTableModel;

    void reset(const Journal* journal, const JournalFilter& filter)
    {
        beginResetModel();
        journal_ = journal;
        filter_ = filter;
        rows_.clear();
        next_.reset();
        more_ = journal != nullptr;
        endResetModel();
        if (more_)
            fetchMore({});
    }

    const ExchangeRecord& record(int row) const { return rows_.at(row); }

    int rowCount(const QModelIndex& parent) const override
    {
        return parent.isValid() ? 0 : int(rows_.size());
    }
    int columnCount(const QModelIndex& parent) const override
    {
        return parent.isValid() ? 0 : Column::columnCount;
    }

    QVariant headerData(int section, Qt::Orientation orientation, int role) const override
    {
        if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
            return {};
        static const QStringList captions{QStringLiteral("Время"),    QStringLiteral("Операция"),
                                          QStringLiteral("Исход"),    QStringLiteral("УИН или распоряжение"),
                                          QStringLiteral("Сумма"),    QStringLiteral("Пакет или сообщение"),
                                          QStringLiteral("Подписант")};
        return captions.value(section);
    }

    QVariant data(const QModelIndex& index, int role) const override
    {
        if (!index.isValid() || index.row() >= rows_.size())
            return {};
        const ExchangeRecord& record = rows_.at(index.row());
        // A request that left without a known answer may have been taken: it must catch the eye.
        const bool unknown = record.outcome == ExchangeOutcome::unknown;
        switch (role) {
        case Qt::DisplayRole:
            return text(record, index.column());
        case Qt::ToolTipRole:
            if (index.column() == outcomeColumn)
                return QStringList{record.code, record.text}.join(u' ').trimmed();
            if (index.column() == signerColumn)
                return record.signer.certificateSubject;
            return {};
        case Qt::TextAlignmentRole:
            return index.column() == amountColumn ? QVariant(Qt::AlignRight | Qt::AlignVCenter) : QVariant();
        case Qt::BackgroundRole:
            return unknown ? QVariant(QColor(255, 214, 153)) : QVariant();
        case Qt::ForegroundRole:
            return unknown ? QVariant(QColor(Qt::black)) : QVariant();
        case Qt::FontRole:
            if (unknown) {
                QFont font;
                font.setBold(true);
                return font;
            }
            return {};
        default:
            return {};
        }
    }

    bool canFetchMore(const QModelIndex& parent) const override { return !parent.isValid() && more_; }

    void fetchMore(const QModelIndex& parent) override
    {
        if (parent.isValid() || !more_)
            return;
        JournalPage page;
        try {
            page = journal_->page(filter_, next_, PageRows);
        } catch (const EJournalError&) {
            // The view asks from inside its painting: the operator hears of it once that is over.
            more_ = false;
            QMetaObject::invokeMethod(
                this, [this, error = std::current_exception()] { ShowException(DialogsOf(this), error); },
                Qt::QueuedConnection);
            return;
        }
        if (!page.rows.isEmpty()) {
            beginInsertRows({}, int(rows_.size()), int(rows_.size() + page.rows.size() - 1));
            rows_ += page.rows;
            endInsertRows();
        }
        next_ = page.next;
        more_ = next_.has_value();
    }

  private:
    static QString text(const ExchangeRecord& record, int column)
    {
        switch (column) {
        case timeColumn:
            return JournalTimeText(record.started);
        case operationColumn:
            return OperationCaption(record.operation);
        case outcomeColumn:
            return OutcomeCaption(record.outcome);
        case subjectColumn:
            return JournalSubjectText(record);
        case amountColumn:
            return JournalAmountText(record.identifiers.amountKopecks);
        case packageColumn:
            return PackageText(record);
        case signerColumn:
            return record.signer.container;
        default:
            return {};
        }
    }

    const Journal* journal_ = nullptr;
    JournalFilter filter_;
    QList<ExchangeRecord> rows_;
    std::optional<JournalCursor> next_;
    bool more_ = false;
};

QString ReadableExchangeText(const QByteArray& bytes)
{
    if (bytes.isEmpty())
        return {};
    try {
        return QString::fromUtf8(XmlDocument::parse(bytes, {}, {}, XmlTreeSize::whole).toIndentedXml());
    } catch (const EXMLException&) {
        // A reply that is not XML (a proxy's page, a cut body) is shown as it came.
        return QString::fromUtf8(bytes);
    }
}

JournalTab::JournalTab(QWidget* parent)
    : QWidget(parent), ui(std::make_unique<Ui::JournalTab>()), model_(new JournalTableModel(this))
{
    ui->setupUi(this);
    ui->tvJournal->setModel(model_);
    const QDate today = QDate::currentDate();
    ui->deFrom->setDate(today.addMonths(-1));
    ui->deTo->setDate(today);
    ui->cbOperation->addItem(QStringLiteral("Все операции"));
    for (const QString& name : JournalOperationNames())
        ui->cbOperation->addItem(OperationCaption(name), name);
    ui->cbOutcome->addItem(QStringLiteral("Все исходы"));
    for (const ExchangeOutcome outcome :
         {ExchangeOutcome::accepted, ExchangeOutcome::refused, ExchangeOutcome::transport,
          ExchangeOutcome::unverified, ExchangeOutcome::cancelled, ExchangeOutcome::unknown,
          ExchangeOutcome::sending})
        ui->cbOutcome->addItem(OutcomeCaption(outcome), OutcomeName(outcome));

    ConnectHandler(ui->ckPeriod, &QCheckBox::toggled, this, [this] {
        ui->deFrom->setEnabled(ui->ckPeriod->isChecked());
        ui->deTo->setEnabled(ui->ckPeriod->isChecked());
        refresh();
    });
    ConnectHandler(ui->deFrom, &QDateEdit::dateChanged, this, [this] { refresh(); });
    ConnectHandler(ui->deTo, &QDateEdit::dateChanged, this, [this] { refresh(); });
    ConnectHandler(ui->cbOperation, &QComboBox::currentIndexChanged, this, [this] { refresh(); });
    ConnectHandler(ui->cbOutcome, &QComboBox::currentIndexChanged, this, [this] { refresh(); });
    ConnectHandler(ui->edSearch, &QLineEdit::returnPressed, this, [this] { refresh(); });
    ConnectHandler(ui->buFind, &QPushButton::clicked, this, [this] { refresh(); });
    ConnectHandler(ui->tvJournal, &QTableView::doubleClicked, this, [this] { buOpenClick(); });
    ConnectHandler(ui->tvJournal->selectionModel(), &QItemSelectionModel::selectionChanged, this,
                   [this] { selectionChanged(); });
    ConnectHandler(model_, &QAbstractItemModel::modelReset, this, [this] { selectionChanged(); });
    ConnectHandler(ui->buOpen, &QPushButton::clicked, this, [this] { buOpenClick(); });
    ConnectHandler(ui->buJournalStatus, &QPushButton::clicked, this, [this] { buJournalStatusClick(); });
    ConnectHandler(ui->buExport, &QPushButton::clicked, this, [this] { buExportClick(); });
    selectionChanged();
}

JournalTab::~JournalTab() = default;

void JournalTab::setJournal(const Journal* journal)
{
    journal_ = journal;
    refresh();
}

void JournalTab::refresh()
{
    const JournalFilter filter = currentFilter();
    model_->reset(journal_, filter);
    ui->tvJournal->resizeColumnsToContents();
    qint64 unknown = 0;
    if (journal_) {
        JournalFilter unknownOnly;
        unknownOnly.outcome = ExchangeOutcome::unknown;
        unknown = journal_->count(unknownOnly);
    }
    ui->laUnknown->setText(unknown ? QStringLiteral("Обменов с неизвестным исходом: %1").arg(unknown)
                                   : QString());
    ui->buExport->setEnabled(journal_ != nullptr);
}

JournalFilter JournalTab::currentFilter() const
{
    JournalFilter filter;
    if (ui->ckPeriod->isChecked()) {
        filter.from = QDateTime(ui->deFrom->date(), QTime(0, 0), Qt::LocalTime);
        filter.to = QDateTime(ui->deTo->date().addDays(1), QTime(0, 0), Qt::LocalTime);
    }
    filter.operation = ui->cbOperation->currentData().toString();
    filter.outcome = OutcomeFromName(ui->cbOutcome->currentData().toString());
    filter.search = ui->edSearch->text().trimmed();
    return filter;
}

std::optional<ExchangeRecord> JournalTab::selectedRecord() const
{
    const QModelIndexList rows = ui->tvJournal->selectionModel()->selectedRows();
    if (rows.isEmpty())
        return std::nullopt;
    return model_->record(rows.first().row());
}

void JournalTab::selectionChanged()
{
    const std::optional<ExchangeRecord> record = selectedRecord();
    ui->buOpen->setEnabled(record.has_value());
    ui->buJournalStatus->setEnabled(record && record->operation == u"payment" &&
                                    !record->identifiers.packageId.isEmpty());
}

void JournalTab::buOpenClick()
{
    const std::optional<ExchangeRecord> selected = selectedRecord();
    if (!selected || !journal_)
        return;
    std::optional<ExchangeRecord> record = journal_->exchange(selected->id);
    if (!record)
        throw Exception(
            QStringLiteral("Обмен %1 больше не в журнале: он перенесен в архив.").arg(selected->id));
    JournalExchangeDialog dialog(std::move(*record), this);
    dialog.exec();
}

void JournalTab::buJournalStatusClick()
{
    const std::optional<ExchangeRecord> record = selectedRecord();
    if (record && record->operation == u"payment" && !record->identifiers.packageId.isEmpty())
        emit packageStatusRequested(record->identifiers.packageId);
}

void JournalTab::buExportClick()
{
    if (!journal_)
        return;
    const QString fileName =
        AskSaveFileName(DialogsOf(this), QStringLiteral("Журнал.csv"), QStringLiteral("Файлы CSV|*.csv"));
    const qint64 count = ExportJournalCsv(*journal_, currentFilter(), fileName);
    ShowInfo(DialogsOf(this), QStringLiteral("Выгружено обменов: %1.").arg(count));
}

JournalExchangeDialog::JournalExchangeDialog(ExchangeRecord record, QWidget* parent)
    : QDialog(parent), record_(std::move(record))
{
    setWindowTitle(QStringLiteral("Обмен %1").arg(record_.id));
    resize(1000, 640);
    auto* layout = new QVBoxLayout(this);
    auto* heading = new QLabel(this);
    heading->setObjectName(QStringLiteral("laExchange"));
    heading->setTextInteractionFlags(Qt::TextSelectableByMouse);
    heading->setText(QStringList{JournalTimeText(record_.started), OperationCaption(record_.operation),
                                 OutcomeCaption(record_.outcome), record_.code, record_.text, record_.service}
                         .filter(QRegularExpression(QStringLiteral("\\S")))
                         .join(QStringLiteral(" · ")));
    heading->setWordWrap(true);
    layout->addWidget(heading);

    auto* splitter = new QSplitter(Qt::Horizontal, this);
    const auto addSide = [&](const QString& caption, const QString& memoName, const QString& buttonName,
                             const QString& buttonText, const QByteArray& bytes, const QString& proposed) {
        auto* box = new QGroupBox(caption, splitter);
        auto* boxLayout = new QVBoxLayout(box);
        auto* memo = new QPlainTextEdit(box);
        memo->setObjectName(memoName);
        memo->setReadOnly(true);
        memo->setLineWrapMode(QPlainTextEdit::NoWrap);
        memo->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
        memo->setPlainText(ReadableExchangeText(bytes));
        boxLayout->addWidget(memo);
        auto* button = new QPushButton(buttonText, box);
        button->setObjectName(buttonName);
        button->setEnabled(!bytes.isEmpty());
        boxLayout->addWidget(button, 0, Qt::AlignLeft);
        // The bytes as they were signed or received, not the text shown above them.
        ConnectHandler(button, &QPushButton::clicked, this, [this, bytes, proposed] {
            WriteFileAtomically(
                AskSaveFileName(DialogsOf(this), proposed, QStringLiteral("Файлы XML|*.xml|Все файлы|*")),
                bytes);
        });
    };
    addSide(QStringLiteral("Запрос"), QStringLiteral("mmRequest"), QStringLiteral("buSaveRequest"),
            QStringLiteral("Сохранить запрос…"), record_.request,
            QStringLiteral("Запрос %1.xml").arg(record_.id));
    addSide(QStringLiteral("Ответ"), QStringLiteral("mmReply"), QStringLiteral("buSaveReply"),
            QStringLiteral("Сохранить ответ…"), record_.reply,
            QStringLiteral("Ответ %1.xml").arg(record_.id));
    layout->addWidget(splitter, 1);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    ConnectHandler(buttons, &QDialogButtonBox::rejected, this, [this] { reject(); });
    layout->addWidget(buttons);
}
