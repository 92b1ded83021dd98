#include "app/OperatorGuide.h"

#include "app/Handler.h"

#include <QBoxLayout>
#include <QHash>
#include <QPushButton>
#include <QShortcut>
#include <QTabWidget>
#include <QTextBrowser>
#include <QTextDocument>

namespace {

const QString GuideRoot = QStringLiteral("qrc:/guide/");

} // namespace

OperatorGuide::OperatorGuide(QWidget* window, QTabWidget* tabs, QWidget* infoTab)
    : QObject(window), window_(window), tabs_(tabs)
{
    auto* shortcut = new QShortcut(QKeySequence(Qt::Key_F1), window);
    ConnectHandler(shortcut, &QShortcut::activated, this, [this] { ShowCurrentChapter(); });

    auto* button = new QPushButton(QStringLiteral("Справка"), infoTab);
    button->setObjectName(QStringLiteral("buHelp"));
    button->setToolTip(QStringLiteral("Руководство оператора (F1)"));
    if (auto* layout = qobject_cast<QBoxLayout*>(infoTab->layout()))
        layout->addWidget(button, 0, Qt::AlignLeft);
    ConnectHandler(button, &QPushButton::clicked, this, [this] { ShowCurrentChapter(); });
}

QUrl OperatorGuide::ChapterOf(const QString& tabName)
{
    static const QHash<QString, QString> chapters{
        {QStringLiteral("tsGISGMPPayment"), QStringLiteral("payment-gisgmp.md")},
        {QStringLiteral("tsGISGMPCharges"), QStringLiteral("charges-gisgmp.md")},
        {QStringLiteral("tsGISGKXPayment"), QStringLiteral("payment-gisgkx.md")},
        {QStringLiteral("tsGISGKXCharges"), QStringLiteral("charges-gisgkx.md")},
        {QStringLiteral("tsSettings"), QStringLiteral("settings.md")},
        {QStringLiteral("tsInfo"), QStringLiteral("info.md")},
        {QStringLiteral("tsJournal"), QStringLiteral("journal.md")},
    };
    return QUrl(GuideRoot + chapters.value(tabName, QStringLiteral("README.md")));
}

void OperatorGuide::ShowCurrentChapter()
{
    const QWidget* tab = tabs_->currentWidget();
    Show(ChapterOf(tab ? tab->objectName() : QString()));
}

void OperatorGuide::Show(const QUrl& chapter)
{
    if (!guideWindow_) {
        // A window of its own beside the main window, closed with it.
        guideWindow_ = new QWidget(window_, Qt::Window);
        guideWindow_->setObjectName(QStringLiteral("fmGuide"));
        guideWindow_->setWindowTitle(QStringLiteral("Руководство оператора"));
        guideWindow_->resize(900, 700);
        browser_ = new QTextBrowser(guideWindow_);
        browser_->setObjectName(QStringLiteral("tbGuide"));
        // Links lead only to other chapters of the guide; nothing is opened outside the program.
        browser_->setOpenExternalLinks(false);
        auto* back = new QPushButton(QStringLiteral("Назад"), guideWindow_);
        auto* contents = new QPushButton(QStringLiteral("Содержание"), guideWindow_);
        back->setEnabled(false);
        ConnectHandler(back, &QPushButton::clicked, browser_, [this] { browser_->backward(); });
        ConnectHandler(contents, &QPushButton::clicked, browser_, [this] {
            browser_->setSource(ChapterOf(QString()), QTextDocument::MarkdownResource);
        });
        ConnectHandler(browser_, &QTextBrowser::backwardAvailable, back,
                       [this, back] { back->setEnabled(browser_->isBackwardAvailable()); });
        auto* buttons = new QHBoxLayout;
        buttons->addWidget(back);
        buttons->addWidget(contents);
        buttons->addStretch();
        auto* layout = new QVBoxLayout(guideWindow_);
        layout->addLayout(buttons);
        layout->addWidget(browser_);
    }
    browser_->setSource(chapter, QTextDocument::MarkdownResource);
    guideWindow_->show();
    guideWindow_->raise();
    guideWindow_->activateWindow();
}
