#pragma once

#include "journal/Exchange.h"

#include <QDialog>
#include <QWidget>

#include <memory>

class Journal;
class JournalTableModel;

namespace Ui {
class JournalTab;
}

// The journal tab («Журнал», tsJournal): the recorded exchanges newest first, fetched a page at a
// time as the table scrolls, with filters, the exchange's exact bytes behind «Открыть», a CSV
// export of what the filters show, and a package-status request for a payment row.
class JournalTab final : public QWidget {
    Q_OBJECT

  public:
    explicit JournalTab(QWidget* parent = nullptr);
    ~JournalTab() override;

    // The journal shown; nullptr shows nothing. The caller keeps it alive while the tab shows it.
    void setJournal(const Journal* journal);
    // Reads the first page again, under the filters as they stand (after an exchange was recorded).
    void refresh();

    std::unique_ptr<Ui::JournalTab> ui;

  signals:
    // «Запросить статус» on a payment row: the package whose status the operator asks for.
    void packageStatusRequested(const QString& packageId);

  private:
    JournalFilter currentFilter() const;
    std::optional<ExchangeRecord> selectedRecord() const;
    void selectionChanged();
    void buOpenClick();
    void buJournalStatusClick();
    void buExportClick();

    const Journal* journal_ = nullptr;
    JournalTableModel* model_ = nullptr;
};

// One exchange: its request and reply as indented XML (or as the text they are, when they are not
// XML), and buttons that save the exact bytes.
class JournalExchangeDialog final : public QDialog {
    Q_OBJECT

  public:
    explicit JournalExchangeDialog(ExchangeRecord record, QWidget* parent = nullptr);

  private:
    ExchangeRecord record_;
};

// The text an exchange's bytes are shown as: indented XML when they parse, the bytes as UTF-8
// otherwise.
QString ReadableExchangeText(const QByteArray& bytes);
